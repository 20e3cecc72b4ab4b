#include "SetEditor.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DrumEngine.h"
#include "EditHistory.h"
#include "EngineConfig.h"
#include "KitbeatDoc.h"
#include "LayerVoiceLoader.h"
#include "Prompts.h"
#include "SampleProbe.h"
#include "SampleVoice.h"
#include "SoundParameter.h"
#include "SoundParameterUpdate.h"
#include "VoiceExtras.h"
#include "WaveReader.h"

namespace zumbel {

namespace {

constexpr const char* kReplaceQuestion = "There already is a sound in this layer! \nReplace?";
constexpr const char* kReplaceCaption = "Replace sound?";
constexpr const char* kDeleting = "Deleting";
constexpr const char* kTrashEntryQuestion = "This will remove sample from list and Drumset.\nProceed?";
constexpr const char* kTrashGroupQuestion =
    "This will remove all samples belonging to the group (also from sounds!).\nProceed?";
constexpr const char* kDeleteGroupQuestion =
    "This will remove all samples belonging to the group \n(also from sounds!). Proceed?";
constexpr const char* kTrashSoundQuestion = "This will remove all samples belonging to the sound.\nProceed?";
constexpr const char* kTrashLayerQuestion = "This will remove sample From sound %d layer %d.\nProceed?";
constexpr const char* kTrashAlternatesQuestion =
    "This will remove the %d alternates of sound %d layer %d.\nIts own sample stays. Proceed?";
constexpr const char* kNoAlternates = "Sound %d layer %d has no alternates to remove.";
constexpr const char* kNoOwnSample =
    "Sound %d layer %d has no sample of its own yet.\nDrop a sample on it without Ctrl first; "
    "with Ctrl held, later drops add alternates to it.";
constexpr const char* kTooManyAlternates = "Sound %d layer %d already has %d alternates, as many as a layer can play.";
constexpr const char* kNotAnAlternate = "This sample's path cannot be kept as an alternate.";
const std::string kAlternateNotLoaded = "This sample could not be loaded as an alternate:\n";
const std::string kPadKeptItsSample = "The pad keeps what it had: the sample\n";
constexpr const char* kLayerNotReloaded =
    "The sample of sound %d layer %d could not be loaded again, so no alternate was added.";

// The file each layer of sound n plays in `c`: what decides whether its voice must be rebuilt.
std::array<std::optional<std::string>, kLayerCount> layerFiles(const CKitbeatDoc& doc, int n) {
  std::array<std::optional<std::string>, kLayerCount> files;
  const Sound& s = doc.sound(n);
  for (int j = 0; j < kLayerCount; ++j) {
    if (!s.hasOwnSample(j)) continue;
    if (const auto path = doc.samplePath(s.refs[static_cast<std::size_t>(j)])) files[static_cast<std::size_t>(j)] = std::string(*path);
  }
  return files;
}

template <typename... Args>
std::string format(const char* pattern, Args... args) {
  char text[256];
  std::snprintf(text, sizeof text, pattern, args...);
  return text;
}

}  // namespace

SetEditor::SetEditor(CKitbeatDoc& doc, DrumEngine& engine, LayerVoiceLoader& loader, WaveReader& reader,
                     Prompts& prompts)
    : doc_(doc), engine_(engine), loader_(loader), reader_(reader), prompts_(prompts) {}

void SetEditor::dropVoice(int s, int L) {
  if (SampleVoice* v = engine_.voices().voice(s, L)) v->Stop();
  engine_.voices().release(s, L);
}

void SetEditor::ClearLayer(int s, int L) {
  if (s < 0 || s >= kSoundCount || L < 0 || L >= kLayerCount) return;
  doc_.ClearLayer(s, L, [this](int n, int k) { dropVoice(n, k); });
  if (L == 0) {
    // An empty sound plays nothing, whatever voices a damaged file's sources left behind.
    for (int k = 0; k < kLayerCount; ++k) dropVoice(s, k);
  }
}

std::array<std::string, kLayerCount> SetEditor::playedFiles(int n) const {
  std::array<std::string, kLayerCount> files;
  for (int j = 0; j < kLayerCount; ++j) {
    if (const SampleVoice* v = engine_.voices().voice(n, j)) files[static_cast<std::size_t>(j)] = v->path();
  }
  return files;
}

void SetEditor::rebuildSoundVoices(int n, const std::array<std::string, kLayerCount>& played) {
  if (n < 0 || n >= kSoundCount) return;
  const Sound& sound = doc_.sound(n);
  for (int j = 0; j < kLayerCount; ++j) {
    const SampleRef ref = sound.refs[static_cast<std::size_t>(j)];
    const bool own = sound.sources[0] != kNone && sound.hasOwnSample(j) && doc_.samplePath(ref);
    bool made = own && loader_.ReloadLayerVoice(n, j, false);
    const std::string& before = played[static_cast<std::size_t>(j)];
    if (own && !made && !before.empty()) {
      // A file the user once pointed at is still where the sound's old voice found it.
      if (const std::optional<std::string> found = loader_.find(before)) {
        made = loader_.LoadLayerVoice(*found, n, j, ref.group, ref.entry, false);
      }
    }
    // A file that is gone leaves the layer silent rather than playing what it played before.
    if (!made) dropVoice(n, j);
  }
}

void SetEditor::restoreState(SetState state) {
  struct Before {
    Sound sound;
    SoundExtras extras;
    std::array<std::optional<std::string>, kLayerCount> files;
  };
  std::vector<Before> before(kSoundCount);
  // The file each pool path plays now: one the user once pointed at is found there again.
  std::map<std::string, std::string> played;
  for (int n = 0; n < kSoundCount; ++n) {
    Before& was = before[static_cast<std::size_t>(n)];
    was = Before{doc_.sound(n), doc_.soundExtras(n), layerFiles(doc_, n)};
    for (int j = 0; j < kLayerCount; ++j) {
      const SampleVoice* v = engine_.voices().voice(n, j);
      const auto& pool = was.files[static_cast<std::size_t>(j)];
      if (v && pool && !v->path().empty()) played.emplace(*pool, v->path());
    }
  }
  doc_.replaceContent(std::move(state.content));
  doc_.replaceExtras(std::move(state.extras));
  for (int n = 0; n < kSoundCount; ++n) {
    const Before& was = before[static_cast<std::size_t>(n)];
    const Sound& s = doc_.sound(n);
    const SoundExtras& x = doc_.soundExtras(n);
    if (was.sound == s && was.extras == x && was.files == layerFiles(doc_, n)) continue;
    // A rate of 0 plays each file at its own rate, which only a voice built anew knows.
    const bool rateFromFile = was.sound.playbackRate() != s.playbackRate() && (was.sound.playbackRate() == 0 || s.playbackRate() == 0);
    if (rateFromFile || was.sound.sources != s.sources || was.extras.alternates != x.alternates ||
        was.files != layerFiles(doc_, n)) {
      const auto files = layerFiles(doc_, n);
      std::array<std::string, kLayerCount> found;
      for (int j = 0; j < kLayerCount; ++j) {
        const auto k = static_cast<std::size_t>(j);
        if (files[k]) {
          if (const auto it = played.find(*files[k]); it != played.end()) found[k] = it->second;
        }
        // A layer that now plays another file must not be found through the voice it replaces.
        if (files[k] != was.files[k]) dropVoice(n, j);
      }
      rebuildSoundVoices(n, found);
      continue;
    }
    // The same samples: the voices take the settings they were built with, in the order that
    // keeps a rate from being read as a bend.
    VoiceTable* voices = &engine_.voices();
    if (was.sound.pan() != s.pan()) ApplySoundParameter(doc_, voices, n, kSoundPan, s.pan());
    if (was.sound.externalPitchBend != s.externalPitchBend) {
      ApplySoundParameter(doc_, voices, n, kSoundPitchBend, switchValue(s.externalPitchBend != 0));
    }
    if (was.sound.playbackRate() != s.playbackRate()) ApplySoundParameter(doc_, voices, n, kSoundRate, s.playbackRate());
    if (was.sound.looping != s.looping) ApplySoundParameter(doc_, voices, n, kSoundLooping, switchValue(s.looping != 0));
    applySoundExtras(*voices, x, n);
  }
}

bool SetEditor::MoveSound(int from, int to, SoundMove how) {
  if (from < 0 || from >= kSoundCount || to < 0 || to >= kSoundCount || from == to) return false;
  const std::array<std::string, kLayerCount> fromFiles = playedFiles(from);
  const std::array<std::string, kLayerCount> toFiles = playedFiles(to);
  bool changed = false;
  switch (how) {
    case SoundMove::kMove: changed = doc_.MoveSound(from, to); break;
    case SoundMove::kCopy: changed = doc_.CopySound(from, to); break;
    case SoundMove::kSwap: changed = doc_.SwapSounds(from, to); break;
  }
  if (!changed) return false;
  const bool fromChanged = how != SoundMove::kCopy;
  // Both notes fall silent at once. The source's voices stay in the table until the new note's
  // are built, so those share the samples already read instead of reading the files again; the
  // target's go first, so that no rebuilt layer finds its file through the sound that was there.
  for (int j = 0; j < kLayerCount; ++j) {
    if (SampleVoice* v = engine_.voices().voice(from, j); v && fromChanged) v->Stop();
    dropVoice(to, j);
  }
  rebuildSoundVoices(to, fromFiles);
  if (fromChanged) {
    for (int j = 0; j < kLayerCount; ++j) dropVoice(from, j);
    rebuildSoundVoices(from, how == SoundMove::kSwap ? toFiles : std::array<std::string, kLayerCount>{});
  }
  return true;
}

void SetEditor::playConfirmation(int s, int L) {
  if (SampleVoice* v = engine_.voices().voice(s, L)) {
    v->SetVolume(kPreviewVolume);
    v->Play();
  }
}

SetEditor::Drop SetEditor::DropEntryOnPad(int s, int L, int g, int e) {
  if (s < 0 || s >= kSoundCount || L < 0 || L >= kLayerCount) return Drop::kFailed;
  const std::optional<std::string_view> stored = doc_.samplePath(SampleRef{g, e});
  if (!stored) return Drop::kFailed;
  const std::string path(*stored);
  Sound& sound = doc_.sound(s);
  const bool empty = sound.sources[0] == kNone;
  // An empty sound takes the sample in layer 0, whichever pad was hit.
  const int layer = empty ? 0 : L;
  if (!empty && sound.hasOwnSample(L) && !prompts_.askOkCancel(kReplaceQuestion, kReplaceCaption)) {
    return Drop::kDeclined;
  }
  if (beforeLoading_) beforeLoading_();
  // The new voice replaces the old one in a single publish, so a replaced layer keeps sounding
  // its old sample until the new one is ready, and keeps it when the new one cannot be read.
  const auto rate = empty ? LayerVoiceLoader::SoundRate::kFromFile : LayerVoiceLoader::SoundRate::kKeep;
  if (!loader_.LoadLayerVoice(path, s, layer, g, e, false, rate)) {
    tellDropFailed(path);
    return Drop::kFailed;
  }
  doc_.AssignSample(s, layer, SampleRef{g, e});
  playConfirmation(s, layer);
  return Drop::kAssigned;
}

void SetEditor::tellDropFailed(const std::string& stored) {
  using Failure = LayerVoiceLoader::Failure;
  switch (loader_.lastFailure()) {
    case Failure::kNotFound: prompts_.showMessage(kPadKeptItsSample + stored + "\ncould not be found.", kAppCaption); break;
    case Failure::kNotSound: {
      const std::string file = AbsolutePath(loader_.failedFile());
      std::string problem = SampleFileProblem(file);
      if (problem.empty()) problem = "could not be read";  // it changed since it was read
      prompts_.showMessage(kPadKeptItsSample + file + "\n" + problem + ".", kAppCaption);
      break;
    }
    case Failure::kNoMemory: prompts_.showMessage(NotEnoughMemoryText(loader_.outOfMemory()), kAppCaption); break;
    // "Could not OpenFile" has said it already.
    case Failure::kCannotOpen:
    case Failure::kLoaded: break;
  }
}

SetEditor::Drop SetEditor::AddAlternate(int s, int L, int g, int e) {
  if (s < 0 || s >= kSoundCount || L < 0 || L >= kLayerCount) return Drop::kFailed;
  const std::optional<std::string_view> stored = doc_.samplePath(SampleRef{g, e});
  if (!stored) return Drop::kFailed;
  if (!doc_.sound(s).hasOwnSample(L)) {
    prompts_.showMessage(format(kNoOwnSample, s, L + 1), kAppCaption);
    return Drop::kDeclined;
  }
  std::vector<std::string>& takes = doc_.soundExtras(s).alternates[static_cast<std::size_t>(L)];
  if (takes.size() >= static_cast<std::size_t>(kMaxAlternates)) {
    prompts_.showMessage(format(kTooManyAlternates, s, L + 1, kMaxAlternates), kAppCaption);
    return Drop::kDeclined;
  }
  if (!IsAlternatePath(*stored)) {
    prompts_.showMessage(kNotAnAlternate, kAppCaption);
    return Drop::kFailed;
  }
  if (beforeLoading_) beforeLoading_();
  // The rebuilt voice replaces the old one in a single publish: the layer keeps playing its
  // takes so far until the new set of them is ready.
  const std::string path(*stored);
  takes.push_back(path);
  const bool rebuilt = loader_.ReloadLayerVoice(s, L);
  const std::vector<std::string>& left = loader_.missingAlternates();
  if (rebuilt && std::find(left.begin(), left.end(), path) == left.end()) return Drop::kAssigned;
  // A take that cannot play is not kept. The layer plays what it played before either way: a
  // rebuilt voice has the other takes, and a failed rebuild leaves the old voice in place.
  takes.pop_back();
  if (!loader_.outOfMemory().empty()) {
    prompts_.showMessage(NotEnoughMemoryText(loader_.outOfMemory()), kAppCaption);
  } else if (rebuilt) {
    // The loader leaves an alternate out without a word; the user asked for this one.
    prompts_.showMessage(kAlternateNotLoaded + path, kAppCaption);
  } else {
    prompts_.showMessage(format(kLayerNotReloaded, s, L + 1), kAppCaption);
  }
  return Drop::kFailed;
}

bool SetEditor::trashAlternates(int s, int L) {
  if (s < 0 || s >= kSoundCount || L < 0 || L >= kLayerCount) return false;
  std::vector<std::string>& takes = doc_.soundExtras(s).alternates[static_cast<std::size_t>(L)];
  if (takes.empty()) {
    prompts_.showMessage(format(kNoAlternates, s, L + 1), kAppCaption);
    return false;
  }
  if (!prompts_.askOkCancel(format(kTrashAlternatesQuestion, static_cast<int>(takes.size()), s, L + 1), kDeleting)) {
    return false;
  }
  takes.clear();
  doc_.SetModifiedFlag();
  // The layer's own sample alone; should it no longer load, the layer is silent rather than
  // still playing the takes just removed.
  if (!loader_.ReloadLayerVoice(s, L)) dropVoice(s, L);
  return true;
}

bool SetEditor::trashEntry(int g, int e) {
  if (!prompts_.askOkCancel(kTrashEntryQuestion, kDeleting)) return false;
  doc_.RemoveSampleFromGroup(g, e, [this](int n, int k) { dropVoice(n, k); });
  return true;
}

void SetEditor::deleteGroup(int c, int& current) {
  current = doc_.DeleteGroup(c, [this](int n, int k) { dropVoice(n, k); });
}

bool SetEditor::trashGroup(int c, int& current) {
  if (c < 0 || c >= doc_.groupCount()) return false;
  if (!prompts_.askOkCancel(kTrashGroupQuestion, kDeleting)) return false;
  deleteGroup(c, current);
  return true;
}

bool SetEditor::DeleteGroup(int c, int& current) {
  // With no group there is nothing to delete, so nothing is asked either.
  if (c < 0 || c >= doc_.groupCount()) return false;
  if (!prompts_.askOkCancel(kDeleteGroupQuestion, kDeleting)) return false;
  deleteGroup(c, current);
  return true;
}

bool SetEditor::trashPad(int s, int L) {
  if (s < 0 || s >= kSoundCount || L < 0 || L >= kLayerCount) return false;
  // Asking about it already counts as a change, even when the answer is Cancel.
  doc_.SetModifiedFlag();
  char text[128];
  if (L == 0) {
    std::snprintf(text, sizeof text, "%s", kTrashSoundQuestion);
  } else {
    std::snprintf(text, sizeof text, kTrashLayerQuestion, s, L + 1);
  }
  if (!prompts_.askOkCancel(text, kDeleting)) return false;
  ClearLayer(s, L);
  return true;
}

bool SetEditor::startPreview(const std::string& path) {
  stopPreview();
  if (beforeLoading_) beforeLoading_();
  if (reader_.ReadWave(path) != 0) {
    reader_.release();
    return false;
  }
  auto voice = std::make_unique<SampleVoice>(&prompts_, engine_.mixer(), reader_.takeBlock(), kPreviewVoiceBuffers, path,
                                             0, 0, 0, 0);
  engine_.voices().setPreview(std::move(voice));
  if (SampleVoice* v = engine_.voices().preview()) {
    v->SetVolume(kPreviewVolume);
    v->Play();
  }
  return true;
}

void SetEditor::stopPreview() { engine_.voices().releasePreview(); }

}  // namespace zumbel
