#include "LayerVoiceLoader.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "DrumEngine.h"
#include "EngineConfig.h"
#include "FileNames.h"
#include "Prompts.h"
#include "SampleProbe.h"
#include "SampleReadAhead.h"
#include "VoiceExtras.h"

namespace zumbel {

LayerVoiceLoader::LayerVoiceLoader(CKitbeatDoc& doc, DrumEngine& engine, Prompts* prompts)
    : doc_(doc), engine_(engine), prompts_(prompts), readThreads_(SampleReadAhead::machineThreads()) {}

std::optional<std::string> LayerVoiceLoader::find(const std::string& storedPath) const {
  return ProbeSamplePath(storedPath, doc_.folder(), lastLocatedFolder_);
}

std::optional<std::string> LayerVoiceLoader::locate(const std::string& path) {
  if (auto found = find(path)) return found;
  if (!locate_ || declined_.contains(path)) return std::nullopt;
  auto chosen = locate_(lastLocatedFolder_ + FileNamePart(path));
  if (chosen) lastLocatedFolder_ = LocalFolderPart(*chosen);
  return chosen;
}

DecodedSample LayerVoiceLoader::obtain(const std::string& used) {
  FileIdentity identity;
  if (StatFileIdentity(used, identity)) {
    if (std::optional<DecodedSample> held = cache_.find(identity)) return std::move(*held);
  }
  try {
    return DecodeSampleFile(used);
  } catch (const std::bad_alloc&) {
    DecodedSample failed;  // too large for the memory left: no voice, and the user is told why
    failed.status = DecodedSample::Status::kNoMemory;
    return failed;
  }
}

void LayerVoiceLoader::alternateMissing(const std::string& path) {
  if (std::find(missingAlternates_.begin(), missingAlternates_.end(), path) == missingAlternates_.end()) {
    missingAlternates_.push_back(path);
  }
}

int LayerVoiceLoader::slotsFor(int n, int j) const {
  const auto listed = static_cast<int>(
      std::min(doc_.soundExtras(n).alternates[static_cast<std::size_t>(j)].size(), static_cast<std::size_t>(kMaxAlternates)));
  return kSoundVoiceBuffers + listed * alternateBufferCount(1 + listed);
}

void LayerVoiceLoader::addAlternates(SampleVoice& voice, int n, int j, SampleReadAhead* reads) {
  const std::vector<std::string>& paths = doc_.soundExtras(n).alternates[static_cast<std::size_t>(j)];
  struct Take {
    const std::string* stored;
    std::string used;
    DecodedSample sample;
  };
  std::vector<Take> takes;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::string& stored = paths[i];
    // The extras file is bounded when read; a list edited past the bounds still plays no more.
    if (i >= static_cast<std::size_t>(kMaxAlternates) || !IsAlternatePath(stored)) {
      alternateMissing(stored);
      continue;
    }
    std::optional<std::string> used = find(stored);
    if (!used) {
      alternateMissing(stored);
      continue;
    }
    const DecodedSample* ahead = reads ? reads->take(*used) : nullptr;
    DecodedSample sample = ahead ? *ahead : obtain(*used);
    if (sample.status != DecodedSample::Status::kOk) {
      alternateMissing(stored);
      continue;
    }
    takes.push_back({&stored, std::move(*used), cache_.remember(std::move(sample))});
  }
  // Buffers are shared out among the takes that are there, not those the list names.
  const int buffers = alternateBufferCount(1 + static_cast<int>(takes.size()));
  const Sound& s = doc_.sound(n);
  for (Take& t : takes) {
    // No prompts: an alternate without a slot is counted, not announced one message at a time.
    auto take = std::make_unique<SampleVoice>(nullptr, engine_.mixer(), std::move(t.sample.pcm), buffers,
                                              std::move(t.used), s.pan(), s.looping, s.externalPitchBend,
                                              s.playbackRate());
    if (!voice.addAlternate(std::move(take))) alternateMissing(*t.stored);
  }
}

bool LayerVoiceLoader::buildVoice(const std::string& used, DecodedSample sample, int n, int j, int group, int entry,
                                  bool setReference, SoundRate rate, SampleReadAhead* reads) {
  if (sample.status == DecodedSample::Status::kCannotOpen && prompts_) {
    prompts_->showMessage(kCouldNotOpenFile, kCouldNotOpenFileCaption);
  }
  if (sample.status == DecodedSample::Status::kNoMemory &&
      std::find(outOfMemory_.begin(), outOfMemory_.end(), used) == outOfMemory_.end()) {
    outOfMemory_.push_back(used);
  }
  if (sample.status != DecodedSample::Status::kOk) return false;
  sample = cache_.remember(std::move(sample));
  // Voices replaced a moment ago may still hold slots until the audio thread has moved on.
  if (engine_.mixer().freeSlotCount() < slotsFor(n, j)) {
    engine_.voices().waitForReclaim(std::chrono::milliseconds(kReclaimWaitMs));
  }
  Sound& s = doc_.sound(n);
  const auto fileRate = static_cast<int32_t>(sample.samplesPerSec);
  if (rate == SoundRate::kFromFile && s.playbackRate() == 0 && fileRate != kOutputRate && fileRate >= kMinFrequency &&
      fileRate <= kMaxFrequency) {
    s.settings[kPlaybackRate] = fileRate;
  }
  auto voice = std::make_unique<SampleVoice>(prompts_, engine_.mixer(), std::move(sample.pcm), kSoundVoiceBuffers, used,
                                             s.pan(), s.looping, s.externalPitchBend, s.playbackRate());
  // The layer's own sample first: alternates never take the slots it needs.
  if (voice->buffer(0) != kNoSlot) addAlternates(*voice, n, j, reads);
  applyExtras(*voice, doc_.soundExtras(n), j);
  engine_.voices().publish(n, j, std::move(voice));
  if (setReference) doc_.sound(n).refs[static_cast<std::size_t>(j)] = SampleRef{group, entry};
  return true;
}

bool LayerVoiceLoader::LoadLayerVoice(const std::string& path, int n, int j, int group, int entry, bool setReference,
                                      SoundRate rate) {
  outOfMemory_.clear();
  missingAlternates_.clear();
  failure_ = Failure::kLoaded;
  failedFile_.clear();
  if (n < 0 || n >= kSoundCount || j < 0 || j >= kLayerCount) return false;
  const std::optional<std::string> used = locate(path);
  if (!used) {
    failure_ = Failure::kNotFound;
    return false;
  }
  DecodedSample sample = obtain(*used);
  switch (sample.status) {
    case DecodedSample::Status::kOk: break;
    case DecodedSample::Status::kCannotOpen: failure_ = Failure::kCannotOpen; break;
    case DecodedSample::Status::kNotSound: failure_ = Failure::kNotSound; break;
    case DecodedSample::Status::kNoMemory: failure_ = Failure::kNoMemory; break;
  }
  if (failure_ != Failure::kLoaded) failedFile_ = *used;
  return buildVoice(*used, std::move(sample), n, j, group, entry, setReference, rate);
}

bool LayerVoiceLoader::ReloadLayerVoice(int n, int j, bool mayLocate) {
  outOfMemory_.clear();
  missingAlternates_.clear();
  if (n < 0 || n >= kSoundCount || j < 0 || j >= kLayerCount) return false;
  const SampleRef ref = doc_.sound(n).refs[static_cast<std::size_t>(j)];
  const std::optional<std::string_view> pool = ref.isSet() ? doc_.samplePath(ref) : std::nullopt;
  if (!pool) return false;
  const std::string path(*pool);
  std::optional<std::string> used = find(path);
  // A file the user pointed at in a folder other than the last one is still where the voice
  // found it: no need to ask again.
  if (const SampleVoice* current = engine_.voices().voice(n, j); !used && current && !current->path().empty()) {
    used = find(current->path());
  }
  if (!used && mayLocate) used = locate(path);
  if (!used) return false;
  return buildVoice(*used, obtain(*used), n, j, ref.group, ref.entry, false, SoundRate::kKeep);
}

int LayerVoiceLoader::loadAllVoices() {
  struct Layer {
    int n, j;
    SampleRef ref;
    std::optional<std::string> path;   // the pool's; none for a reference outside the pool
    std::optional<std::string> found;  // where a probe found it before the load began
    std::string probedWith;            // the last located folder that probe used
  };
  outOfMemory_.clear();
  missingAlternates_.clear();
  std::vector<Layer> layers;
  for (int n = 0; n < kSoundCount; ++n) {
    for (int j = 0; j < kLayerCount; ++j) {
      const SampleRef ref = doc_.sound(n).refs[static_cast<std::size_t>(j)];
      if (!ref.isSet()) continue;
      // A reference outside the pool (a damaged file) has nothing to load.
      const std::optional<std::string_view> path = doc_.samplePath(ref);
      layers.push_back({n, j, ref, path ? std::optional<std::string>(*path) : std::nullopt, std::nullopt, {}});
    }
  }
  const int total = static_cast<int>(layers.size());
  bool goOn = !progress_ || progress_(0, total);

  // Every file a probe finds now is queued for the readers, in the order of the layers, unless a
  // voice already plays it. After the user points at a folder, the layers it may hold are probed
  // again. The layers themselves are still made one by one below, in order, with every question
  // and message where a one-file-at-a-time load would have them.
  SampleReadAhead reads(readThreads_);
  auto readAhead = [&](std::size_t from) {
    for (std::size_t i = from; i < layers.size(); ++i) {
      Layer& layer = layers[i];
      if (!layer.path || (layer.found && layer.probedWith == lastLocatedFolder_)) continue;
      layer.found = ProbeSamplePath(*layer.path, doc_.folder(), lastLocatedFolder_);
      layer.probedWith = lastLocatedFolder_;
      FileIdentity identity;
      if (layer.found && !(StatFileIdentity(*layer.found, identity) && cache_.find(identity))) reads.request(*layer.found);
      // Its alternates are read with it; a list past its bound is left to addAlternates to refuse.
      if (!layer.found) continue;
      const std::vector<std::string>& alternates = doc_.soundExtras(layer.n).alternates[static_cast<std::size_t>(layer.j)];
      for (std::size_t a = 0; a < alternates.size() && a < static_cast<std::size_t>(kMaxAlternates); ++a) {
        if (!IsAlternatePath(alternates[a])) continue;
        const std::optional<std::string> alternate = find(alternates[a]);
        if (alternate && !(StatFileIdentity(*alternate, identity) && cache_.find(identity))) reads.request(*alternate);
      }
    }
    if (readThreads_ > 1) reads.start();
  };
  if (goOn) readAhead(0);

  int failed = 0;
  int done = 0;
  for (std::size_t i = 0; i < layers.size() && goOn; ++i) {
    const Layer& layer = layers[i];
    bool made = false;
    if (layer.path) {
      const std::string folderBefore = lastLocatedFolder_;
      const std::optional<std::string> used =
          layer.found && layer.probedWith == lastLocatedFolder_ ? layer.found : locate(*layer.path);
      if (lastLocatedFolder_ != folderBefore) readAhead(i + 1);
      if (used) {
        const DecodedSample* ahead = reads.take(*used);
        made = buildVoice(*used, ahead ? *ahead : obtain(*used), layer.n, layer.j, layer.ref.group, layer.ref.entry,
                          false, SoundRate::kKeep, &reads);
      }
    }
    if (!made) ++failed;
    ++done;
    if (progress_) goOn = progress_(done, total);
  }
  if (done < total) {
    // Cancelled: the files the readers have begun end at their next step rather than at their end.
    reads.stop();
    failed += total - done;
    if (progress_) progress_(total, total);
  }
  return failed;
}

}  // namespace zumbel
