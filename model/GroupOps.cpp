// Operations that add or remove groups and pool entries. Layers address samples by index, so
// every removal renumbers the references that point behind the removed position.

#include <algorithm>

#include "KitbeatDoc.h"

namespace zumbel {

int CKitbeatDoc::appendGroup(const std::string& name) {
  if (groupCount() >= kMaxGroups) return -1;
  c_.groupNames.push_back(name);
  const int index = groupCount() - 1;
  c_.groupLists[static_cast<std::size_t>(index)].clear();
  return index;
}

void CKitbeatDoc::clearLayersUsing(SampleRef ref, const LayerClearedFn& cleared) {
  for (int n = 0; n < kSoundCount; ++n) {
    for (int j = 0; j < kLayerCount; ++j) {
      if (sound(n).refs[j] != ref) continue;
      RemoveSample(n, j);
      if (cleared) cleared(n, j);
    }
  }
}

int CKitbeatDoc::DeleteGroup(int c, const LayerClearedFn& cleared) {
  const int count = groupCount();
  if (c < 0 || c >= count) return 0;
  SetModifiedFlag();

  const int size = groupSize(c);
  for (int i = 0; i < size; ++i) clearLayersUsing(SampleRef{c, i}, cleared);
  // A file may hold references into this group past the end of its list; they must not slide
  // into the group that moves up, so they go too.
  for (int n = 0; n < kSoundCount; ++n) {
    for (int j = 0; j < kLayerCount; ++j) {
      if (sound(n).refs[j].group != c) continue;
      RemoveSample(n, j);
      if (cleared) cleared(n, j);
    }
  }

  for (int g = c; g < count - 1; ++g) {
    c_.groupLists[static_cast<std::size_t>(g)] = std::move(c_.groupLists[static_cast<std::size_t>(g) + 1]);
  }
  c_.groupLists[static_cast<std::size_t>(count) - 1].clear();
  c_.groupNames.erase(c_.groupNames.begin() + c);

  for (Sound& s : c_.sounds) {
    for (SampleRef& r : s.refs) {
      if (r.group > c) --r.group;
    }
  }
  if (groupCount() == 0) c_.groupLists[0].clear();
  return std::max(c - 1, 0);
}

void CKitbeatDoc::RemoveSampleFromGroup(int g, int e, const LayerClearedFn& cleared) {
  if (g < 0 || g >= groupCount() || e < 0 || e >= groupSize(g)) return;
  SetModifiedFlag();
  clearLayersUsing(SampleRef{g, e}, cleared);
  for (Sound& s : c_.sounds) {
    for (SampleRef& r : s.refs) {
      if (r.group == g && r.entry > e) --r.entry;
    }
  }
  GroupList& list = c_.groupLists[static_cast<std::size_t>(g)];
  list.erase(static_cast<std::size_t>(e));
}

void CKitbeatDoc::DropPoolEntries(int g, std::vector<int> entries) {
  if (g < 0 || g >= groupCount()) return;
  GroupList& list = c_.groupLists[static_cast<std::size_t>(g)];
  const int size = static_cast<int>(list.size());
  std::erase_if(entries, [size](int e) { return e < 0 || e >= size; });
  std::sort(entries.begin(), entries.end());
  entries.erase(std::unique(entries.begin(), entries.end()), entries.end());

  for (int e : entries) ForgetSample(SampleRef{g, e});
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    const int e = *it;
    list.erase(static_cast<std::size_t>(e));
    for (Sound& s : c_.sounds) {
      for (SampleRef& r : s.refs) {
        if (r.group == g && r.entry > e) --r.entry;
      }
    }
  }
}

}  // namespace zumbel
