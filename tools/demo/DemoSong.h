#pragma once
// The demo song: about a minute of drums for the demo kit, as a Standard MIDI File (format 1: a
// tempo track and a drum track on channel 1). Built from fixed patterns and a fixed seed, so it
// comes out byte for byte the same every time.

#include <cstdint>
#include <vector>

namespace zumbel::demo {

std::vector<uint8_t> demoSongImage();

}  // namespace zumbel::demo
