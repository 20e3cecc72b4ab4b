#include "PoolPaths.h"

#include <sys/stat.h>

#include <optional>

#include "SampleProbe.h"

namespace zumbel {

namespace {

bool sameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

}  // namespace

std::vector<PoolPathChange> PathsForNewFolder(const DrumSetContent& set, const std::string& fromFolder,
                                              const std::string& toFolder) {
  std::vector<PoolPathChange> changes;
  if (fromFolder == toFolder) return changes;
  for (std::size_t g = 0; g < set.groupNames.size() && g < set.groupLists.size(); ++g) {
    const GroupList& list = set.groupLists[g];
    for (std::size_t e = 0; e < list.size(); ++e) {
      const std::string stored(list[e]);
      const std::optional<std::string> before = FindSampleBesideSet(stored, fromFolder);
      if (!before) continue;
      const std::optional<std::string> after = FindSampleBesideSet(stored, toFolder);
      if (after && sameFile(*before, *after)) continue;
      changes.push_back({static_cast<int>(g), static_cast<int>(e), AbsolutePath(*before)});
    }
  }
  return changes;
}

void ApplyPathChanges(CKitbeatDoc& doc, const std::vector<PoolPathChange>& changes) {
  for (int g = 0; g < doc.groupCount(); ++g) {
    std::vector<std::pair<int, std::string>> moved;
    for (const PoolPathChange& c : changes) {
      if (c.group == g) moved.emplace_back(c.entry, c.path);
    }
    doc.replaceSamplePaths(g, moved);
  }
}

std::string PathOutsideSet(const std::string& storedPath, const std::string& setFolder) {
  const std::optional<std::string> found = FindSampleBesideSet(storedPath, setFolder);
  return found ? AbsolutePath(*found) : storedPath;
}

}  // namespace zumbel
