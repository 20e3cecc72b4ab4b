#include "KitbeatDoc.h"

#include <algorithm>

#include "FileNames.h"

namespace zumbel {

namespace {

constexpr int32_t kDefaultThresholds[kSchemeCount][kThresholdsPerScheme] = {
    {90, 50, 30, 10}, {100, 65, 40, 20}, {110, 80, 50, 25}, {115, 95, 60, 30}, {120, 105, 75, 40},
};

constexpr const char* kNewTitle = "New Drumset (Not Saved)";

}  // namespace

bool operator==(const Sound& a, const Sound& b) {
  return a.refs == b.refs && a.sources == b.sources && a.settings == b.settings &&
         a.noteOffEnabled == b.noteOffEnabled && a.looping == b.looping &&
         a.externalPitchBend == b.externalPitchBend;
}

bool Sound::isEmpty() const {
  for (const RelaxedInt& s : sources) {
    if (s != kNone) return false;
  }
  return true;
}

bool operator==(const DrumSetContent& a, const DrumSetContent& b) {
  if (a.headerValue != b.headerValue || a.groupNames != b.groupNames ||
      a.groupLists != b.groupLists || a.thresholds != b.thresholds) {
    return false;
  }
  for (int n = 0; n < kSoundCount; ++n) {
    if (!(a.sounds[n] == b.sounds[n])) return false;
  }
  return true;
}

CKitbeatDoc::CKitbeatDoc() {
  c_.headerValue = 0;
  resetSounds(0);
  setDefaultThresholds();
}

void CKitbeatDoc::OnNewDocument() {
  c_.headerValue = 1;
  c_.groupNames.clear();
  for (GroupList& list : c_.groupLists) list.clear();
  resetSounds(1);
  extras_ = SetExtras{};
  title_ = kNewTitle;
  setDefaultThresholds();
  pathName_.clear();
  modified_ = false;
}

void CKitbeatDoc::resetSounds(int32_t reservedDefaults) {
  for (Sound& s : c_.sounds) makeEmpty(s, reservedDefaults);
}

void CKitbeatDoc::makeEmpty(Sound& s, int32_t reservedDefaults) {
  // Reserved fields hold (4, -4000, 0, 1) after New and zeros after construction; both are
  // what older sets carry and must survive a save unchanged.
  const int32_t reserved[4] = {reservedDefaults ? 4 : 0, reservedDefaults ? kDefaultCompress : 0,
                               0, reservedDefaults ? 1 : 0};
  s.settings[kCutNote] = kNone;
  s.settings[kVelocityScheme] = kDefaultScheme;
  s.settings[kCompress] = kDefaultCompress;
  s.settings[kPan] = 0;
  s.settings[kFormatMarker] = 1;
  s.settings[kPlaybackRate] = 0;
  for (int i = 0; i < 4; ++i) s.settings[kReserved0 + i] = reserved[i];
  s.noteOffEnabled = 0;
  s.looping = 0;
  s.externalPitchBend = 0;
  for (int k = 0; k < kLayerCount; ++k) {
    s.refs[k] = kNoSample;
    s.sources[k] = kNone;
  }
}

void CKitbeatDoc::setDefaultThresholds() {
  for (int s = 0; s < kSchemeCount; ++s) {
    for (int i = 0; i < kThresholdsPerScheme; ++i) c_.thresholds[s][i] = kDefaultThresholds[s][i];
  }
}

void CKitbeatDoc::SetPathName(const std::string& path) {
  pathName_ = path;
  title_ = path.substr(LocalFolderPart(path).size());
}

std::string CKitbeatDoc::folder() const { return LocalFolderPart(pathName_); }

int32_t CKitbeatDoc::threshold(int scheme, int i) const {
  return c_.thresholds[static_cast<std::size_t>(scheme)][static_cast<std::size_t>(i)];
}

int CKitbeatDoc::velocityBand(int32_t scheme, int velocity) const {
  if (scheme < 0 || scheme >= kSchemeCount) scheme = kDefaultScheme;
  const ThresholdRow& row = c_.thresholds[static_cast<std::size_t>(scheme)];
  for (int band = 0; band < kThresholdsPerScheme; ++band) {
    if (velocity > row[band]) return band;
  }
  return kThresholdsPerScheme;
}

std::optional<std::string_view> CKitbeatDoc::samplePath(SampleRef ref) const {
  if (ref.group < 0 || ref.group >= groupCount() || ref.entry < 0) return std::nullopt;
  const GroupList& list = groupList(ref.group);
  if (ref.entry >= static_cast<int32_t>(list.size())) return std::nullopt;
  return list[static_cast<std::size_t>(ref.entry)];
}

void CKitbeatDoc::replaceSamplePaths(int g, const std::vector<std::pair<int, std::string>>& changes) {
  if (changes.empty()) return;
  std::vector<std::pair<int, std::string>> sorted = changes;
  std::sort(sorted.begin(), sorted.end());
  GroupList& list = c_.groupLists[static_cast<std::size_t>(g)];
  GroupList rebuilt;
  rebuilt.reserve(list.size());
  auto change = sorted.begin();
  for (std::size_t e = 0; e < list.size(); ++e) {
    while (change != sorted.end() && change->first < static_cast<int>(e)) ++change;
    const bool replaced = change != sorted.end() && change->first == static_cast<int>(e);
    rebuilt.push_back(replaced ? std::string_view(change->second) : list[e]);
  }
  list = std::move(rebuilt);
}

void CKitbeatDoc::renameGroup(int g, const std::string& name) {
  c_.groupNames[static_cast<std::size_t>(g)] = name;
}

void CKitbeatDoc::appendSample(int g, const std::string& path) {
  c_.groupLists[static_cast<std::size_t>(g)].push_back(path);
}

// ---- Layer operations -------------------------------------------------------------------

void CKitbeatDoc::AssignSample(int n, int layer, SampleRef ref) {
  Sound& s = sound(n);
  if (s.isEmpty()) {
    // A fresh sound starts in layer 0 whatever layer was aimed at. References left behind by
    // forgetting an earlier layer-0 sample are dropped, so no layer keeps a sample it never plays.
    s.refs.fill(kNoSample);
    s.refs[0] = ref;
    for (RelaxedInt& src : s.sources) src = 0;
    return;
  }
  s.refs[layer] = ref;
  if (s.hasOwnSample(layer)) return;
  for (int k = layer; k < kLayerCount && s.sources[k] != k; ++k) s.sources[k] = layer;
}

void CKitbeatDoc::RemoveSample(int n, int layer) {
  Sound& s = sound(n);
  if (layer == 0) {
    s.refs.fill(kNoSample);
    for (RelaxedInt& src : s.sources) src = kNone;
    return;
  }
  const bool own = s.hasOwnSample(layer);
  s.refs[layer] = kNoSample;
  // A layer that only borrows has nothing to re-point; a reference it kept is simply dropped.
  if (!own) return;
  s.sources[layer] = s.sources[layer - 1];
  for (int k = layer + 1; k < kLayerCount && s.sources[k] != k; ++k) {
    s.sources[k] = s.sources[k - 1];
    s.refs[k] = kNoSample;
  }
}

void CKitbeatDoc::forgetLayer(Sound& s, int j) {
  s.refs[j] = kNoSample;
  if (j == 0) {
    for (RelaxedInt& src : s.sources) src = kNone;
    s.settings[kCutNote] = kNone;
    s.settings[kVelocityScheme] = kDefaultScheme;
    s.settings[kCompress] = kDefaultCompress;
  } else if (s.sources[j] == j) {
    const int32_t louder = s.sources[j - 1];
    for (int k = j; k < kLayerCount && (k == j || s.sources[k] != k); ++k) s.sources[k] = louder;
  }
}

void CKitbeatDoc::ForgetSample(SampleRef ref) {
  for (Sound& s : c_.sounds) {
    for (int j = 0; j < kLayerCount; ++j) {
      if (s.refs[j] == ref) forgetLayer(s, j);
    }
  }
}

}  // namespace zumbel
