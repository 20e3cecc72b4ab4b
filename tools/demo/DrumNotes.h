#pragma once
// The General MIDI drum notes the demo kit answers and the demo song plays.

namespace zumbel::demo::gm {

inline constexpr int kKick = 36;
inline constexpr int kSideStick = 37;
inline constexpr int kSnare = 38;
inline constexpr int kClap = 39;
inline constexpr int kClosedHat = 42;
inline constexpr int kPedalHat = 44;
inline constexpr int kLowTom = 45;
inline constexpr int kOpenHat = 46;
inline constexpr int kMidTom = 47;
inline constexpr int kCrash = 49;
inline constexpr int kHighTom = 50;
inline constexpr int kRide = 51;

}  // namespace zumbel::demo::gm
