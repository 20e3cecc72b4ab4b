#pragma once
// A set keeps each sample's path as its file stored it, and a sample found through the set's own
// folder (a relative path, or a file beside the set) is left that way: the set and its samples
// move together, and a set saved with no change is the same file, wherever the program was
// started. Once the set is saved into another folder, or a path leaves it for a sample list that
// any set may load, such a path would find nothing there, or another file: it becomes the full
// path of the file it found.

#include <string>
#include <vector>

#include "KitbeatDoc.h"

namespace zumbel {

struct PoolPathChange {
  int group = 0;
  int entry = 0;
  std::string path;

  friend bool operator==(const PoolPathChange&, const PoolPathChange&) = default;
};

// The entries whose file, found for the set in `fromFolder`, a set in `toFolder` would not find
// the same way (none there, or another file), each with that file's absolute path. Entries found
// nowhere stay as they are. Nothing changes between two spellings of one folder.
std::vector<PoolPathChange> PathsForNewFolder(const DrumSetContent& set, const std::string& fromFolder,
                                              const std::string& toFolder);

// Gives the entries their new paths; the set is not marked modified.
void ApplyPathChanges(CKitbeatDoc& doc, const std::vector<PoolPathChange>& changes);

// A pool path for use outside the set: the stored path when it names its file by itself (an
// absolute path that opens) or when nothing is found; otherwise the full path of the file found
// through the set's folder.
std::string PathOutsideSet(const std::string& storedPath, const std::string& setFolder);

}  // namespace zumbel
