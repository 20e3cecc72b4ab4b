#pragma once
// Pitch as the Sound Properties dialog shows it: a semitone index into RateTable (36 is 44100 Hz,
// no transposition) and a cents offset, turned into the playback rate in Hz that a sound stores,
// and back. Plain C++, no Qt.

#include <array>
#include <cstdint>

namespace zumbel {

inline constexpr int kRateTableSize = 50;
// The semitone spin's range; index 36 plays the sample as recorded.
inline constexpr int kMinSemitoneIndex = 1;
inline constexpr int kMaxSemitoneIndex = 48;
inline constexpr int kUntransposedIndex = 36;
inline constexpr int kMinCents = -100;
inline constexpr int kMaxCents = 100;

// RateTable[i] = 5512.5 x 2^(i/12), truncated: 5512 Hz at 0, 44100 at 36, 93444 at 49.
const std::array<int32_t, kRateTableSize>& RateTable();

struct Pitch {
  int semitoneIndex = kUntransposedIndex;
  int cents = 0;
  friend bool operator==(const Pitch&, const Pitch&) = default;
};

// The rate of a semitone index and a cents offset, interpolating to the neighbouring semitone in
// the direction of the cents. Both are taken inside the spin's and the slider's ranges.
int32_t PitchToRate(int semitoneIndex, int cents) noexcept;

// The nearest semitone and the cents from it that give `rate`; 0 reads as no transposition.
// Every result lies inside the spin's and the slider's ranges, so what the dialog shows can be
// turned back into the same rate.
Pitch RateToPitch(int32_t rate) noexcept;

}  // namespace zumbel
