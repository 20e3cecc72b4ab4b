#pragma once
// Every fixed size and limit of the engine, in one place.

#include <cstddef>
#include <cstdint>

namespace zumbel {

// The output format every voice is created in: 16-bit stereo, 44100 Hz.
inline constexpr int kOutputRate = 44100;
inline constexpr int kOutputChannels = 2;
inline constexpr int kOutputBitsPerSample = 16;
inline constexpr int kOutputBlockAlign = kOutputChannels * kOutputBitsPerSample / 8;  // 4
inline constexpr int kOutputBytesPerSecond = kOutputRate * kOutputBlockAlign;        // 176400

// Playback copies per voice: quick repeated hits of one layer overlap up to this many times.
inline constexpr int kSoundVoiceBuffers = 16;
inline constexpr int kPreviewVoiceBuffers = 1;

// The range of frequencies a buffer accepts; anything else is refused and keeps the old rate.
inline constexpr int32_t kMinFrequency = 100;
inline constexpr int32_t kMaxFrequency = 100000;

// Volumes and pans in hundredths of a decibel.
inline constexpr int32_t kSilentVolume = -10000;
inline constexpr int32_t kFullVolume = 0;
inline constexpr int32_t kPanLeft = -10000;
inline constexpr int32_t kPanRight = 10000;

// Pitch-bend values run 0..16256 (d1 + 127 * d2); the frequency is base rate + value - this.
inline constexpr int32_t kPitchBendOffset = 8000;

// Playback slots the mixer owns. Every voice of a full set (640 × 16) plus the preview fits twice,
// so a set can be rebuilt while the voices it replaces are still being retired.
inline constexpr int kMaxSlots = 2 * (128 * 5 * kSoundVoiceBuffers + 16);

// A stop or a cut fades out over this long instead of clicking.
inline constexpr double kStopRampSeconds = 0.003;

// The largest block the mixer renders in one piece; callers split longer ones.
inline constexpr int kMaxBlockFrames = 4096;

// Channel messages one audio cycle can carry to the engine (the ALSA path's ring, offline
// rendering's per-block batch).
inline constexpr std::size_t kMaxEventsPerCycle = 4096;

// A WAV file longer than this many frames is refused rather than read into memory (about 100
// minutes at 44.1 kHz; 1 GiB of 16-bit stereo).
inline constexpr int64_t kMaxSampleFrames = int64_t{1} << 28;

}  // namespace zumbel
