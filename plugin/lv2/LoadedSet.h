#pragma once
// A drum set made ready to play inside a plugin: the set, and an engine at the host's rate with
// every voice built. Made and freed off the audio thread; the audio thread only plays it.

#include <cstdint>
#include <memory>
#include <string>

#include "DrumEngine.h"
#include "KitbeatDoc.h"

namespace zumbel {

struct LoadedSet {
  std::string path;
  // Both null for a set restored from a session that did not open: it is still the set chosen,
  // and plays nothing.
  std::unique_ptr<CKitbeatDoc> doc;
  std::unique_ptr<DrumEngine> engine;
  // Which restored state the set belongs to: a set chosen before a later restore never plays.
  uint32_t generation = 0;
  // Sets the audio thread has let go of wait for the worker in a list through this field, which
  // costs that thread nothing however many there are.
  LoadedSet* nextToFree = nullptr;
};

struct SetLoadResult {
  std::unique_ptr<LoadedSet> set;  // null when the file is no drum set Zumbel can open
  // One line per problem: why the set did not open, or each sample that stays silent.
  std::string problems;
};

// Opens the set at `path` and builds its voices for an engine at `rate`, asking nobody: a sample
// no probe finds stays silent and is named in the problems.
SetLoadResult loadSet(const std::string& path, int rate);

}  // namespace zumbel
