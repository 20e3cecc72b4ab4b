#pragma once
// Turns a synthesised sound into the samples of a file: no DC, the dead tail cut, a fade so the
// last sample is silent, the peak set to the layer's level, rounded to 16 bits.

#include <cstdint>
#include <vector>

namespace zumbel::demo {

// `maxSeconds` bounds the result; `peakDb` is the level of its loudest sample in dBFS (below 0).
std::vector<int16_t> master(std::vector<double> sound, double maxSeconds, double peakDb);

}  // namespace zumbel::demo
