#pragma once
// The drum set: the one document of the program. It holds data only (the sample pool, the 128
// sounds with their five velocity layers, the velocity layer schemes); the view owns every voice.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "Limits.h"
#include "RelaxedInt.h"
#include "SetExtras.h"
#include "StringList.h"

namespace zumbel {

// Addresses one pool sample: entry `entry` of group `group`'s list. (-1, -1) is none.
struct SampleRef {
  int32_t group = kNone;
  int32_t entry = kNone;

  bool isSet() const { return group != kNone && entry != kNone; }
  friend bool operator==(const SampleRef&, const SampleRef&) = default;
};

inline constexpr SampleRef kNoSample{};

// Positions in a sound's settings record, in file order.
enum SoundSetting : int {
  kCutNote = 0,
  kVelocityScheme = 1,
  kCompress = 2,
  kPan = 3,
  kFormatMarker = 4,
  kPlaybackRate = 5,
  kReserved0 = 6,  // 6..9 travel with the file and are never interpreted
};

struct Sound {
  std::array<SampleRef, kLayerCount> refs{};
  // sources[k]: the layer whose voice plays velocity band k; -1 in all five = empty sound.
  std::array<RelaxedInt, kLayerCount> sources{};
  std::array<RelaxedInt, kSoundSettingCount> settings{};
  RelaxedInt noteOffEnabled;
  RelaxedInt looping;
  RelaxedInt externalPitchBend;

  bool isEmpty() const;
  bool hasOwnSample(int layer) const { return sources[layer] == layer; }
  int32_t cutNote() const { return settings[kCutNote]; }
  int32_t velocityScheme() const { return settings[kVelocityScheme]; }
  int32_t compress() const { return settings[kCompress]; }
  int32_t pan() const { return settings[kPan]; }
  int32_t playbackRate() const { return settings[kPlaybackRate]; }

  friend bool operator==(const Sound&, const Sound&);
};

using ThresholdRow = std::array<RelaxedInt, kThresholdsPerScheme>;
using GroupList = StringList;

// Everything a ".drums" file holds. Strings are UTF-8.
struct DrumSetContent {
  int32_t headerValue = 0;
  std::vector<std::string> groupNames;                  // its length is the group count
  std::array<GroupList, kGroupListSlots> groupLists{};  // only 0..count-1 are in use
  std::array<Sound, kSoundCount> sounds{};
  std::array<ThresholdRow, kSchemeCount> thresholds{};

  friend bool operator==(const DrumSetContent&, const DrumSetContent&);
};

// Told, after the drum set changed, about every layer that played a sample of its own and no
// longer does, so the view can stop and release exactly those voices.
using LayerClearedFn = std::function<void(int sound, int layer)>;

struct FileOutcome;

class CKitbeatDoc {
 public:
  CKitbeatDoc();

  // New drum set: also the state the application starts with.
  void OnNewDocument();

  // Document state.
  bool IsModified() const { return modified_; }
  void SetModifiedFlag(bool modified = true) {
    if (modified == modified_) return;
    modified_ = modified;
    if (modifiedChanged_) modifiedChanged_();
  }
  // Told whenever SetModifiedFlag changes the flag, so the title can show it. New, Open and Save
  // set it without telling; their callers redraw the title anyway.
  void setModifiedListener(std::function<void()> listener) { modifiedChanged_ = std::move(listener); }
  const std::string& GetPathName() const { return pathName_; }
  const std::string& GetTitle() const { return title_; }
  void SetPathName(const std::string& path);  // the title becomes the file's name
  void SetTitle(const std::string& title) { title_ = title; }
  // The set's folder with its trailing separator; empty for a set never saved or opened.
  std::string folder() const;

  // Saving and loading. A failed load leaves the drum set as it was; a failed save leaves the
  // file on disk as it was. Both keep the path from the root. A set saved into another folder
  // stores the full path of each sample it found through its old folder (PoolPaths.h), so it
  // still finds them there; saved in its own folder with no change, it is the same file.
  FileOutcome OnOpenDocument(const std::string& path);
  FileOutcome OnSaveDocument(const std::string& path);

  const DrumSetContent& content() const { return c_; }
  // Takes over a loaded set whole; path, title and the modified flag are the caller's business.
  void replaceContent(const DrumSetContent& content) { c_ = content; }
  void replaceContent(DrumSetContent&& content) { c_ = std::move(content); }

  // What the ".drums" file cannot hold: names, levels, outputs, layer gains (SetExtras.h).
  const SetExtras& extras() const { return extras_; }
  SetExtras& extras() { return extras_; }
  const SoundExtras& soundExtras(int n) const { return extras_.sounds[static_cast<std::size_t>(n)]; }
  SoundExtras& soundExtras(int n) { return extras_.sounds[static_cast<std::size_t>(n)]; }
  void replaceExtras(SetExtras extras) { extras_ = std::move(extras); }

  // Sounds and schemes. Callers keep sound indices in 0..127 and layers in 0..4.
  Sound& sound(int n) { return c_.sounds[static_cast<std::size_t>(n)]; }
  const Sound& sound(int n) const { return c_.sounds[static_cast<std::size_t>(n)]; }
  int32_t headerValue() const { return c_.headerValue; }
  int32_t threshold(int scheme, int i) const;
  // The velocity band 0..4 (0 loudest) a velocity falls in under a scheme. A scheme outside
  // 0..4 (a file may hold one) is read as the default scheme rather than indexing past the table.
  int velocityBand(int32_t scheme, int velocity) const;

  // The sample pool.
  int groupCount() const { return static_cast<int>(c_.groupNames.size()); }
  const std::string& groupName(int g) const { return c_.groupNames[static_cast<std::size_t>(g)]; }
  const GroupList& groupList(int g) const { return c_.groupLists[static_cast<std::size_t>(g)]; }
  int groupSize(int g) const { return static_cast<int>(groupList(g).size()); }
  // The path a reference names, or nothing when it points outside the pool. The view lasts until
  // the group's list changes.
  std::optional<std::string_view> samplePath(SampleRef ref) const;
  // Gives entries of group g new paths in one pass; `changes` holds (entry, path) pairs.
  void replaceSamplePaths(int g, const std::vector<std::pair<int, std::string>>& changes);
  void renameGroup(int g, const std::string& name);
  void appendSample(int g, const std::string& path);

  // Appends an empty group and returns its index, or -1 when there are already kMaxGroups.
  // Callers check the limit first and show their own message.
  int appendGroup(const std::string& name);
  // Deletes group c with every layer use of its samples; references into later groups follow.
  // Marks the set modified and returns the group that becomes current.
  int DeleteGroup(int c, const LayerClearedFn& cleared = {});
  // Removes one pool entry with every layer use of it; references behind it follow.
  void RemoveSampleFromGroup(int g, int e, const LayerClearedFn& cleared = {});
  // Drops entries whose files are gone: forgets each, then removes them, renumbering the
  // references behind them. Does not mark the set modified.
  void DropPoolEntries(int g, std::vector<int> entries);

  // Clears layer j of sound n as the window's trash does (layer 0 empties the whole sound; a
  // layer that only borrows is left alone), marks the set modified when it changed, and tells
  // `cleared` which layers lost their own sample.
  void ClearLayer(int n, int j, const LayerClearedFn& cleared = {});

  // Layer operations; they change only the drum set.
  void AssignSample(int n, int layer, SampleRef ref);
  void RemoveSample(int n, int layer);
  void ForgetSample(SampleRef ref);

  // Whole sounds: the layers with their pool references, the settings (pan, compress, scheme,
  // cut note, rate, note-off, looping, pitch bend and the reserved words) and the extras (name,
  // level, output, layer gains, choke group, round robin, alternates). A move leaves `from` as
  // a new set's empty sound with default extras; a copy leaves it as it was; a swap exchanges
  // the two. The sound at `to` is replaced whatever it held. Indices outside 0..127 and a sound
  // onto itself do nothing. Each returns whether the set changed, and marks it modified if so.
  // Cut notes are sound numbers. Within the sounds carried, a cut of one of the two notes goes
  // with them: a sound that cut itself still does, and a swapped pair of hats still cut each
  // other. Other sounds' cut notes stay as they are (SoundOps.cpp).
  bool MoveSound(int from, int to);
  bool CopySound(int from, int to);
  bool SwapSounds(int a, int b);

 private:
  void resetSounds(int32_t reservedDefaults);
  static void makeEmpty(Sound& s, int32_t reservedDefaults);
  // Puts a whole sound at n; true when that changed it.
  bool putSound(int n, const Sound& sound, const SoundExtras& extras);
  void setDefaultThresholds();
  // What forgetting a sample does to one layer that uses it.
  void forgetLayer(Sound& s, int j);
  // Removes the given entries (ascending, in range) of group g; references behind them follow.
  void removeEntries(int g, const std::vector<int>& sortedEntries);

  DrumSetContent c_;
  SetExtras extras_;
  std::string pathName_;
  std::string title_;
  bool modified_ = false;
  std::function<void()> modifiedChanged_;
};

}  // namespace zumbel
