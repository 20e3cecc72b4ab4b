#include "LayerVoiceLoader.h"

#include <chrono>

#include "DrumEngine.h"
#include "EngineConfig.h"
#include "FileNames.h"
#include "SampleProbe.h"
#include "WaveReader.h"

namespace zumbel {

LayerVoiceLoader::LayerVoiceLoader(CKitbeatDoc& doc, DrumEngine& engine, WaveReader& reader, Prompts* prompts)
    : doc_(doc), engine_(engine), reader_(reader), prompts_(prompts) {}

bool LayerVoiceLoader::LoadLayerVoice(const std::string& path, int n, int j, int group, int entry, bool setReference,
                                      SoundRate rate) {
  if (n < 0 || n >= kSoundCount || j < 0 || j >= kLayerCount) return false;
  std::string used;
  if (auto found = ProbeSamplePath(path, doc_.folder(), lastLocatedFolder_)) {
    used = std::move(*found);
  } else {
    if (!locate_ || declined_.contains(path)) return false;
    auto chosen = locate_(lastLocatedFolder_ + FileNamePart(path));
    if (!chosen) return false;
    used = std::move(*chosen);
    lastLocatedFolder_ = LocalFolderPart(used);
  }
  if (reader_.ReadWave(used) != 0) {
    reader_.release();
    return false;
  }
  // Voices replaced a moment ago may still hold slots until the audio thread has moved on.
  if (engine_.mixer().freeSlotCount() < kSoundVoiceBuffers) engine_.voices().waitForReclaim(std::chrono::milliseconds(kReclaimWaitMs));
  Sound& s = doc_.sound(n);
  const auto fileRate = static_cast<int32_t>(reader_.samplesPerSec);
  if (rate == SoundRate::kFromFile && s.playbackRate() == 0 && fileRate != kOutputRate && fileRate >= kMinFrequency &&
      fileRate <= kMaxFrequency) {
    s.settings[kPlaybackRate] = fileRate;
  }
  auto voice = std::make_unique<SampleVoice>(prompts_, engine_.mixer(), reader_.data().data(), reader_.length(),
                                             kSoundVoiceBuffers, used, s.pan(), s.looping, s.externalPitchBend,
                                             s.playbackRate());
  reader_.release();
  engine_.voices().publish(n, j, std::move(voice));
  if (setReference) doc_.sound(n).refs[static_cast<std::size_t>(j)] = SampleRef{group, entry};
  return true;
}

int LayerVoiceLoader::loadAllVoices() {
  int total = 0;
  for (int n = 0; n < kSoundCount; ++n) {
    for (const SampleRef& ref : doc_.sound(n).refs) total += ref.isSet() ? 1 : 0;
  }
  bool goOn = !progress_ || progress_(0, total);
  int failed = 0;
  int done = 0;
  for (int n = 0; n < kSoundCount && goOn; ++n) {
    for (int j = 0; j < kLayerCount && goOn; ++j) {
      const SampleRef ref = doc_.sound(n).refs[static_cast<std::size_t>(j)];
      if (!ref.isSet()) continue;
      const std::optional<std::string_view> path = doc_.samplePath(ref);
      // A reference outside the pool (a damaged file) has nothing to load.
      if (!path || !LoadLayerVoice(std::string(*path), n, j, ref.group, ref.entry, false)) ++failed;
      ++done;
      if (progress_) goOn = progress_(done, total);
    }
  }
  if (done < total) {
    failed += total - done;
    if (progress_) progress_(total, total);
  }
  return failed;
}

}  // namespace zumbel
