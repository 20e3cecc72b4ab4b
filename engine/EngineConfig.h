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
// An alternate take of a layer shares the layer's overlap with the other takes, but keeps at
// least this many buffers (SampleVoice.h, alternateBufferCount).
inline constexpr int kMinAlternateVoiceBuffers = 2;
// Round robin at random draws from a generator seeded with this on every new engine, so the
// same song renders the same takes every time.
inline constexpr uint32_t kRoundRobinSeed = 0x9E3779B9u;

// The range of frequencies a buffer accepts; anything else is refused and keeps the old rate.
inline constexpr int32_t kMinFrequency = 100;
inline constexpr int32_t kMaxFrequency = 100000;

// Volumes and pans in hundredths of a decibel.
inline constexpr int32_t kSilentVolume = -10000;
inline constexpr int32_t kFullVolume = 0;
inline constexpr int32_t kPanLeft = -10000;
inline constexpr int32_t kPanRight = 10000;

// A sound's level and a layer's gain together lift a voice by at most this much (hundredths of a
// dB), and take it down to silence at most as far as the volume law can.
inline constexpr int32_t kMaxTrim = 2400;
inline constexpr int32_t kMinTrim = kSilentVolume;

// Stereo output pairs the mixer renders; pair 0 is the main one, where every slot routed to a pair
// the caller did not ask for plays.
inline constexpr int kMixerOutputPairs = 8;

// Pitch-bend values run 0..16256 (d1 + 127 * d2); the frequency is base rate + value - this.
inline constexpr int32_t kPitchBendOffset = 8000;

// Playback slots the mixer owns. Every voice of a full set (640 × 16) plus the preview fits twice,
// so a set can be rebuilt while the voices it replaces are still being retired. Alternate takes
// draw on the same pool; one that finds no slot is left out, never the layer's own voice.
inline constexpr int kMaxSlots = 2 * (128 * 5 * kSoundVoiceBuffers + 16);

// A stop or a cut fades out over this long instead of clicking.
inline constexpr double kStopRampSeconds = 0.003;

// Callback times are counted in buckets of a microsecond up to this many; longer ones share the
// last. A 64-frame period lasts 1451 us at 44.1 kHz.
inline constexpr int kCycleTimeBuckets = 2048;

// The largest block the mixer renders in one piece; callers split longer ones.
inline constexpr int kMaxBlockFrames = 4096;
// Slot changes (a start, a stop, a new volume...) one span of a block keeps with their frames
// before it mixes what it has so far and goes on; a note-on makes one or two.
inline constexpr int kMaxSpanEvents = 2048;

// Channel messages one audio cycle can carry to the engine (the ALSA path's ring, offline
// rendering's per-block batch).
inline constexpr std::size_t kMaxEventsPerCycle = 4096;

// A WAV file longer than this many frames is refused rather than read into memory (about 100
// minutes at 44.1 kHz; 1 GiB of 16-bit stereo).
inline constexpr int64_t kMaxSampleFrames = int64_t{1} << 28;

// MIDI files. Hostile ones are refused or cut short at these bounds instead of exhausting
// memory or time.
inline constexpr std::size_t kMaxMidiFileBytes = std::size_t{64} << 20;
// Channel messages and tempo changes together: hours of the densest drumming. With the sort's
// buffer and the file itself a hostile file at the cap costs a few hundred MiB at most.
inline constexpr std::size_t kMaxMidiFileEvents = std::size_t{2} << 20;
// Ticks stay below this, so a tempo (below 2^24 µs per quarter) times a tick count fits 64 bits.
inline constexpr uint64_t kMaxMidiFileTick = uint64_t{1} << 40;
// Warnings kept one by one; any beyond are only counted in a last line.
inline constexpr std::size_t kMaxMidiFileWarnings = 100;

// WAV files. An MPEG stream's frame count is only what its header claims; no encoding a WAV
// file can carry packs more frames into a byte than this (the lowest MPEG bit rates come to
// about 24), so a block is never sized beyond what the file could hold.
inline constexpr int64_t kMaxFramesPerFileByte = 64;
// Samples (not frames) decoded per pass when a file of many channels or of floats goes through
// a scratch buffer, so it costs a bounded amount of memory beyond the block itself.
inline constexpr std::size_t kReaderScratchSamples = 16384;
// Frames decoded per step straight into a block; a stopped load ends a long file's read at the
// next step (about a millisecond's work) rather than at its end.
inline constexpr int64_t kReaderStepFrames = int64_t{1} << 16;
// PCM memory: mappings start on huge-page boundaries; blocks up to this size share one.
inline constexpr std::size_t kPcmHugePageBytes = std::size_t{2} << 20;
inline constexpr std::size_t kPcmSharedBlockMaxBytes = std::size_t{512} << 10;
// Files a message names one by one; it counts the rest.
inline constexpr std::size_t kMaxFilesNamed = 12;
// Threads reading a set's samples at once: one per core, up to this many.
inline constexpr int kMaxSampleReadThreads = 16;

// Offline rendering: the cycle size, and how long a render without a fixed tail may ring on
// after the song (a looping sound would ring for ever).
inline constexpr int kRenderBlockFrames = 256;
// While the song surely goes on, cycles of this many frames (a whole number of the above, so the
// ending is found at the same frame): a sounding slot is visited a quarter as often.
inline constexpr int kRenderSongBlockFrames = 4 * kRenderBlockFrames;
inline constexpr double kMaxAutoTailSeconds = 10.0;
// Frames per buffer the file writer's thread takes at a time while a render goes on.
inline constexpr int kWriteBehindFrames = 16384;
// How long that thread waits awake for the next buffer before it sleeps (where there is a core
// to spare): a render hands one over every few tens of microseconds.
inline constexpr int kWriteBehindSpinMicroseconds = 200;

// How long loading a voice may wait for the audio thread to let go of replaced voices' slots:
// a few audio cycles even at long periods.
inline constexpr int kReclaimWaitMs = 200;

// Live output. A device is opened at the output rate when it allows, otherwise at its own rate
// within these bounds (the mixer scales every step); no device offers more than this many entries.
inline constexpr int kMinDeviceRate = 8000;
inline constexpr int kMaxDeviceRate = 384000;
inline constexpr int kMaxAudioDevices = 20;
// The period asked of a device whose period the program chooses (not JACK: the server sets it).
inline constexpr int kDefaultPeriodFrames = 256;
inline constexpr int kMinPeriodFrames = 16;
inline constexpr int kMaxPeriodFrames = 8192;

// The LV2 plugin. Sounds of a set the host replaced ring on this long, then fade over the stop
// ramp. A path longer than the system's own limit names no file, and refusing it keeps worker
// messages small enough for any host's ring.
inline constexpr double kSetHandoverSeconds = 10.0;
inline constexpr std::size_t kMaxSetPathBytes = 4096;

// The program's name on the JACK graph and the ALSA sequencer, and its ports.
inline constexpr const char* kClientName = "Zumbel";
inline constexpr const char* kJackLeftPort = "out_left";
inline constexpr const char* kJackRightPort = "out_right";
inline constexpr const char* kJackMidiPort = "midi_in";
// The output pairs after the first are "out2_left", "out2_right", ... "out8_right": this prefix,
// the pair's number counted from 1, then these endings. How many a JACK client registers is a
// setting (1 by default: the two ports above and nothing more), at most kMixerOutputPairs.
inline constexpr const char* kJackPairPortPrefix = "out";
inline constexpr const char* kJackPairLeftEnding = "_left";
inline constexpr const char* kJackPairRightEnding = "_right";
inline constexpr int kDefaultJackOutputPairs = 1;
inline constexpr const char* kAlsaMidiPort = "MIDI in";

}  // namespace zumbel
