#pragma once
// The General MIDI drum notes: the demo kit answers the first twelve named here; the benchmark's
// dense song plays the rest too.

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

inline constexpr int kAcousticKick = 35;
inline constexpr int kRimSnare = 40;
inline constexpr int kLowFloorTom = 41;
inline constexpr int kHighFloorTom = 43;
inline constexpr int kHighMidTom = 48;
inline constexpr int kChina = 52;
inline constexpr int kRideBell = 53;
inline constexpr int kSplash = 55;
inline constexpr int kCowbell = 56;
inline constexpr int kCrash2 = 57;
inline constexpr int kRide2 = 59;

}  // namespace zumbel::demo::gm
