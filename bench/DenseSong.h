#pragma once
// A dense drum song for timing offline renders: five minutes of sixteenth-note hats under kick
// and snare grooves with ghost notes, a second cymbal line, percussion, tom fills and crashes,
// about 24 notes a second on MIDI channel 1. It opens with a snare roll whose velocities climb
// through every value from 1 to 127, so each velocity layer of any kit is reached. The bytes are
// the same on every run and every machine.

#include <cstdint>
#include <vector>

namespace zumbel::bench {

inline constexpr int kDenseTicksPerQuarter = 480;
inline constexpr double kDenseTempo = 160.0;  // beats per minute, all through
// 4/4 bars: 200 of them at 160 beats per minute last exactly 300 seconds.
inline constexpr int kDenseBars = 200;
inline constexpr double kDenseSeconds = kDenseBars * 4 * 60.0 / kDenseTempo;
inline constexpr int kDenseChannel = 0;  // MIDI channel 1
// The General MIDI drum notes the song plays lie in this range.
inline constexpr int kDenseLowestNote = 35;
inline constexpr int kDenseHighestNote = 59;

// A format 1 Standard MIDI File: a tempo track and one drum track.
std::vector<uint8_t> denseSongImage();

}  // namespace zumbel::bench
