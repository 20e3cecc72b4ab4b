#pragma once
// A ".drums" set built from a plain-text plan, so a kit made for another program can be played
// by Zumbel over the very same sample files. The plan (tab-separated, one record a line, '#'
// starts a comment):
//   kit         NAME                       the pool group's name
//   thresholds  T1 T2 T3 T4                optional: velocities above which the four louder
//                                          layers play, loudest first (strictly falling, 0..127)
//   note        NOTE  INSTRUMENT  FILE...  a MIDI note's files, loudest first, one per layer
// A note below the first sound plays that sound, so it must name the same files as the note of
// the first sound.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "KitbeatDoc.h"

namespace zumbel::bench {

struct BenchKitNote {
  int note = 0;
  std::string instrument;
  std::vector<std::string> files;  // loudest first
};

struct BenchKitPlan {
  std::string name;
  std::optional<std::array<int, kThresholdsPerScheme>> thresholds;
  std::vector<BenchKitNote> notes;
};

struct BenchKitPlanResult {
  BenchKitPlan plan;
  std::string error;  // "line N: why"; empty on success
};

BenchKitPlanResult parseBenchKitPlan(std::string_view text);

// Fills `doc` (made new first): one pool group with every file once, and for each note a sound
// whose layers 0, 1, ... hold its files loudest first (the quieter layers left over borrow the
// softest). Sounds keep the default scheme, which takes the plan's thresholds. Returns an error
// message, or an empty string.
std::string buildBenchKit(const BenchKitPlan& plan, CKitbeatDoc& doc);

}  // namespace zumbel::bench
