// Operations that add or remove groups and pool entries. Layers address samples by index, so
// every removal renumbers the references that point behind the removed position.

#include <algorithm>
#include <array>
#include <tuple>

#include "KitbeatDoc.h"

namespace zumbel {

namespace {

// A layer that refers into the group being edited, in the order the edits visit them: by entry,
// then by sound, then by layer.
struct Use {
  int32_t entry;
  int sound;
  int layer;
  friend bool operator<(const Use& a, const Use& b) {
    return std::tie(a.entry, a.sound, a.layer) < std::tie(b.entry, b.sound, b.layer);
  }
};

}  // namespace

int CKitbeatDoc::appendGroup(const std::string& name) {
  if (groupCount() >= kMaxGroups) return -1;
  c_.groupNames.push_back(name);
  const int index = groupCount() - 1;
  c_.groupLists[static_cast<std::size_t>(index)].clear();
  return index;
}

void CKitbeatDoc::ClearLayer(int n, int j, const LayerClearedFn& cleared) {
  Sound& s = sound(n);
  if (j > 0 && !s.hasOwnSample(j) && !s.refs[j].isSet()) return;
  SetModifiedFlag();
  std::array<bool, kLayerCount> owned{};
  for (int k = 0; k < kLayerCount; ++k) owned[k] = s.hasOwnSample(k);
  const std::array<SampleRef, kLayerCount> before = s.refs;
  RemoveSample(n, j);
  if (!cleared) return;
  // With sources as a file may hold them, a layer can keep "its own sample" while its reference
  // is gone; its voice must go all the same.
  for (int k = 0; k < kLayerCount; ++k) {
    if (owned[k] && (!s.hasOwnSample(k) || s.refs[k] != before[k])) cleared(n, k);
  }
}

int CKitbeatDoc::DeleteGroup(int c, const LayerClearedFn& cleared) {
  const int count = groupCount();
  if (c < 0 || c >= count) return 0;
  SetModifiedFlag();

  // Every layer that uses the group goes, entry by entry. That includes references past the end
  // of its list (a file may hold them): they must not slide into the group that moves up.
  std::vector<Use> uses;
  for (int n = 0; n < kSoundCount; ++n) {
    for (int j = 0; j < kLayerCount; ++j) {
      if (sound(n).refs[j].group == c) uses.push_back(Use{sound(n).refs[j].entry, n, j});
    }
  }
  std::sort(uses.begin(), uses.end());
  for (const Use& u : uses) {
    // Clearing layer 0 clears the whole sound, so a later use may already be gone.
    if (sound(u.sound).refs[u.layer].group == c) ClearLayer(u.sound, u.layer, cleared);
  }

  for (int g = c; g < count - 1; ++g) {
    c_.groupLists[static_cast<std::size_t>(g)] = std::move(c_.groupLists[static_cast<std::size_t>(g) + 1]);
  }
  c_.groupLists[static_cast<std::size_t>(count) - 1].clear();  // also empties slot 0 when no group is left
  c_.groupNames.erase(c_.groupNames.begin() + c);

  for (Sound& s : c_.sounds) {
    for (SampleRef& r : s.refs) {
      if (r.group > c) --r.group;
    }
  }
  return std::max(c - 1, 0);
}

void CKitbeatDoc::RemoveSampleFromGroup(int g, int e, const LayerClearedFn& cleared) {
  if (g < 0 || g >= groupCount() || e < 0 || e >= groupSize(g)) return;
  SetModifiedFlag();
  const SampleRef gone{g, e};
  for (int n = 0; n < kSoundCount; ++n) {
    for (int j = 0; j < kLayerCount; ++j) {
      if (sound(n).refs[j] == gone) ClearLayer(n, j, cleared);
    }
  }
  removeEntries(g, {e});
}

void CKitbeatDoc::DropPoolEntries(int g, std::vector<int> entries) {
  if (g < 0 || g >= groupCount()) return;
  const int size = groupSize(g);
  std::erase_if(entries, [size](int e) { return e < 0 || e >= size; });
  std::sort(entries.begin(), entries.end());
  entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
  if (entries.empty()) return;

  // Forget the dropped samples one entry after the other, as forgetting each in turn would,
  // but visiting only the layers that use them.
  std::vector<Use> uses;
  for (int n = 0; n < kSoundCount; ++n) {
    for (int j = 0; j < kLayerCount; ++j) {
      const SampleRef r = sound(n).refs[j];
      if (r.group == g && std::binary_search(entries.begin(), entries.end(), r.entry)) {
        uses.push_back(Use{r.entry, n, j});
      }
    }
  }
  std::sort(uses.begin(), uses.end());
  for (const Use& u : uses) forgetLayer(sound(u.sound), u.layer);
  removeEntries(g, entries);
}

void CKitbeatDoc::removeEntries(int g, const std::vector<int>& sortedEntries) {
  GroupList& list = c_.groupLists[static_cast<std::size_t>(g)];
  GroupList kept;
  kept.reserve(list.size() - sortedEntries.size());
  auto dropped = sortedEntries.begin();
  for (std::size_t e = 0; e < list.size(); ++e) {
    if (dropped != sortedEntries.end() && *dropped == static_cast<int>(e)) {
      ++dropped;
    } else {
      kept.push_back(list[e]);
    }
  }
  list = std::move(kept);

  // A reference moves down by the number of removed entries before it.
  for (Sound& s : c_.sounds) {
    for (SampleRef& r : s.refs) {
      if (r.group != g || r.entry < 0) continue;
      r.entry -= static_cast<int32_t>(std::lower_bound(sortedEntries.begin(), sortedEntries.end(), r.entry) -
                                      sortedEntries.begin());
    }
  }
}

}  // namespace zumbel
