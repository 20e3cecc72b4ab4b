#include "SetEditor.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "DrumEngine.h"
#include "EngineConfig.h"
#include "KitbeatDoc.h"
#include "LayerVoiceLoader.h"
#include "Prompts.h"
#include "SampleProbe.h"
#include "SampleVoice.h"
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

void SetEditor::rebuildSoundVoices(int n) {
  if (n < 0 || n >= kSoundCount) return;
  const Sound& sound = doc_.sound(n);
  for (int j = 0; j < kLayerCount; ++j) {
    const bool own = sound.sources[0] != kNone && sound.hasOwnSample(j) && doc_.samplePath(sound.refs[static_cast<std::size_t>(j)]);
    // A file that is gone leaves the layer silent rather than playing what it played before.
    if (!own || !loader_.ReloadLayerVoice(n, j, false)) dropVoice(n, j);
  }
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
