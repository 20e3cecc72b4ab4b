#pragma once
// Every fixed size of the drum set and its files, in one place.

#include <cstddef>
#include <cstdint>

namespace zumbel {

inline constexpr int kSoundCount = 128;        // sound n answers MIDI note n + kFirstNote
inline constexpr int kFirstNote = 36;
inline constexpr int kLayerCount = 5;          // velocity layers per sound
inline constexpr int kSchemeCount = 5;         // velocity layer schemes
inline constexpr int kThresholdsPerScheme = 4;
inline constexpr int kDefaultScheme = 4;
inline constexpr int kSoundSettingCount = 10;
inline constexpr int kMaxGroups = 16;          // group names the window can show
inline constexpr int kGroupListSlots = 20;     // list slots the drum set keeps
inline constexpr int kMaxGroupNameLength = 50; // names typed in the Create Group dialog

inline constexpr int32_t kDefaultCompress = -4000;
inline constexpr int32_t kNone = -1;

// The set's extras: levels and gains in hundredths of a decibel, stereo outputs counted from 0
// (the main pair). A level may also be off: the sound is silent.
inline constexpr int32_t kMinLevel = -6000;
inline constexpr int32_t kMaxLevel = 1200;
inline constexpr int32_t kLevelOff = INT32_MIN;
inline constexpr int32_t kMinLayerGain = -6000;
inline constexpr int32_t kMaxLayerGain = 1200;
inline constexpr int kOutputPairs = 8;
// Polyphonic aftertouch at or above this grabs (chokes) the sound of its note; 0 never grabs.
inline constexpr int32_t kDefaultGrabThreshold = 127;
inline constexpr int32_t kGrabOff = 0;
inline constexpr std::size_t kMaxSoundNameBytes = 256;
// Sounds in one choke group silence each other; 0 is no group.
inline constexpr int32_t kNoChokeGroup = 0;
inline constexpr int32_t kMaxChokeGroups = 32;
// A layer plays its own sample and up to this many alternates, in turn or at random.
inline constexpr int kMaxAlternates = 15;
inline constexpr int kMaxTakes = kMaxAlternates + 1;
inline constexpr std::size_t kMaxAlternatePathBytes = 4096;
inline constexpr int32_t kRoundRobinTurn = 0;
inline constexpr int32_t kRoundRobinRandom = 1;
// An extras file is a few kilobytes; anything far larger is not one of ours. Nesting is bounded
// before parsing, so a hostile file cannot exhaust the parser's stack.
inline constexpr std::size_t kMaxExtrasFileBytes = std::size_t{4} << 20;
inline constexpr int kMaxExtrasDepth = 64;

// Undo keeps this many steps; each holds a whole copy of the set (tens of kilobytes), so a long
// session stays within a few megabytes.
inline constexpr int kMaxUndoSteps = 200;

// ".drums" file layout
inline constexpr std::size_t kLayerBlockBytes = kSoundCount * kLayerCount * 4 * 4;      // 10240
inline constexpr std::size_t kThresholdBlockBytes = kSchemeCount * kThresholdsPerScheme * 4; // 80
inline constexpr int kSoundExtensionInts = 8;
inline constexpr std::size_t kExtensionBlockBytes = kSoundCount * kSoundExtensionInts * 4; // 4096

}  // namespace zumbel
