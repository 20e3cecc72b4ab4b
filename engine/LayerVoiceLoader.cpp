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

bool LayerVoiceLoader::buildVoice(const std::string& used, DecodedSample sample, int n, int j, int group, int entry,
                                  bool setReference, SoundRate rate) {
  if (sample.status == DecodedSample::Status::kCannotOpen && prompts_) {
    prompts_->showMessage(kCouldNotOpenFile, kAppCaption);
  }
  if (sample.status == DecodedSample::Status::kNoMemory &&
      std::find(outOfMemory_.begin(), outOfMemory_.end(), used) == outOfMemory_.end()) {
    outOfMemory_.push_back(used);
  }
  if (sample.status != DecodedSample::Status::kOk) return false;
  sample = cache_.remember(std::move(sample));
  // Voices replaced a moment ago may still hold slots until the audio thread has moved on.
  if (engine_.mixer().freeSlotCount() < kSoundVoiceBuffers) engine_.voices().waitForReclaim(std::chrono::milliseconds(kReclaimWaitMs));
  Sound& s = doc_.sound(n);
  const auto fileRate = static_cast<int32_t>(sample.samplesPerSec);
  if (rate == SoundRate::kFromFile && s.playbackRate() == 0 && fileRate != kOutputRate && fileRate >= kMinFrequency &&
      fileRate <= kMaxFrequency) {
    s.settings[kPlaybackRate] = fileRate;
  }
  auto voice = std::make_unique<SampleVoice>(prompts_, engine_.mixer(), std::move(sample.pcm), kSoundVoiceBuffers, used,
                                             s.pan(), s.looping, s.externalPitchBend, s.playbackRate());
  applyExtras(*voice, doc_.soundExtras(n), j);
  engine_.voices().publish(n, j, std::move(voice));
  if (setReference) doc_.sound(n).refs[static_cast<std::size_t>(j)] = SampleRef{group, entry};
  return true;
}

bool LayerVoiceLoader::LoadLayerVoice(const std::string& path, int n, int j, int group, int entry, bool setReference,
                                      SoundRate rate) {
  outOfMemory_.clear();
  if (n < 0 || n >= kSoundCount || j < 0 || j >= kLayerCount) return false;
  const std::optional<std::string> used = locate(path);
  if (!used) return false;
  return buildVoice(*used, obtain(*used), n, j, group, entry, setReference, rate);
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
                          false, SoundRate::kKeep);
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
