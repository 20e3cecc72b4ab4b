#pragma once
// Every fixed number of the bundled demo kit and song, in one place.

#include <cstdint>

namespace zumbel::demo {

// What the generator writes into its folder, beside the samples.
inline constexpr const char* kSetFileName = "Demo.drums";
inline constexpr const char* kSongFileName = "Demo Song.mid";

// The samples: 44.1 kHz 16-bit mono; the sample reader widens mono to stereo.
inline constexpr int kSampleRate = 44100;
inline constexpr int kBitsPerSample = 16;
inline constexpr int kChannels = 1;

// Longest sample of each kind; a sound is cut earlier once its tail has died away.
inline constexpr double kMaxDrumSeconds = 1.0;
inline constexpr double kMaxOpenHatSeconds = 1.4;
inline constexpr double kMaxCymbalSeconds = 2.5;
// Where a tail counts as gone, below the file's peak.
inline constexpr double kTailFloorDb = -60.0;
// Every file ends in a fade this long (at least), or this share of its length for long tails.
inline constexpr double kMinFadeSeconds = 0.005;
inline constexpr double kFadeShare = 0.12;
// The DC blocker's corner: far below the lowest kick fundamental.
inline constexpr double kDcBlockHz = 8.0;

// Peak level of each velocity layer. The engine scales by velocity too, so the soft layers are
// only moderately quieter; their timbre carries most of the difference. The loudest layer leaves
// 7 dB of headroom so that a kick, a snare and a crash landing together do not clip.
inline constexpr double kHardPeakDb = -7.0;
inline constexpr double kMediumPeakDb = -10.0;
inline constexpr double kSoftPeakDb = -13.5;
inline constexpr double kGhostPeakDb = -16.0;

// Fixed seeds: the same bytes on every run (the synthesis uses the maths library, so another
// machine's libm may differ in the last bit).
inline constexpr uint64_t kSynthSeed = 0x5A0B'E1D7'2024'0001ULL;
inline constexpr uint64_t kSongSeed = 0x5A0B'E1D7'2024'0002ULL;

// The demo song.
inline constexpr int kTicksPerQuarter = 480;
inline constexpr int kSongChannel = 0;        // MIDI channel 1, the program's default
inline constexpr int kNoteOffTicks = 60;      // a short gate: drum pads ignore note-offs anyway
inline constexpr double kIntroTempo = 100.0;  // beats per minute
inline constexpr double kMainTempo = 104.0;
inline constexpr double kOutroTempo = 98.0;

}  // namespace zumbel::demo
