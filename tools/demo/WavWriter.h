#pragma once
// A canonical 44-byte-header RIFF WAVE image of 16-bit PCM samples, little-endian throughout.

#include <cstdint>
#include <vector>

namespace zumbel::demo {

std::vector<uint8_t> wavImage(const std::vector<int16_t>& samples, int sampleRate, int channels);

}  // namespace zumbel::demo
