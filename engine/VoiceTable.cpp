#include "VoiceTable.h"

#include <algorithm>
#include <thread>

#include "Mixer.h"

namespace zumbel {

namespace {
std::size_t indexOf(int sound, int layer) {
  return static_cast<std::size_t>(sound) * kLayerCount + static_cast<std::size_t>(layer);
}
bool inTable(int sound, int layer) { return sound >= 0 && sound < kSoundCount && layer >= 0 && layer < kLayerCount; }
}  // namespace

VoiceTable::VoiceTable(Mixer& mixer) : mixer_(mixer) {
  for (auto& entry : table_) entry.store(nullptr, std::memory_order_relaxed);
  retired_.reserve(2 * table_.size() + 2);
}

VoiceTable::~VoiceTable() {
  ReleaseAllVoices();
  mixer_.applyCommandsWhileStopped();
  retired_.clear();
}

SampleVoice* VoiceTable::voice(int sound, int layer) const noexcept {
  if (!inTable(sound, layer)) return nullptr;
  return table_[indexOf(sound, layer)].load(std::memory_order_seq_cst);
}

void VoiceTable::publish(int sound, int layer, std::unique_ptr<SampleVoice> voice) {
  if (!inTable(sound, layer)) return;
  retire(table_[indexOf(sound, layer)].exchange(voice.release(), std::memory_order_seq_cst));
  collect();
}

void VoiceTable::release(int sound, int layer) {
  if (!inTable(sound, layer)) return;
  retire(table_[indexOf(sound, layer)].exchange(nullptr, std::memory_order_seq_cst));
  collect();
}

void VoiceTable::setPreview(std::unique_ptr<SampleVoice> voice) {
  retire(preview_.exchange(voice.release(), std::memory_order_seq_cst));
  collect();
}

void VoiceTable::releasePreview() {
  SampleVoice* old = preview_.exchange(nullptr, std::memory_order_seq_cst);
  if (old) old->Stop();
  retire(old);
  collect();
}

void VoiceTable::ReleaseAllVoices() {
  releasePreview();
  for (auto& entry : table_) retire(entry.exchange(nullptr, std::memory_order_seq_cst));
  collect();
}

int VoiceTable::voiceCount() const noexcept {
  return static_cast<int>(std::count_if(table_.begin(), table_.end(),
                                        [](const auto& e) { return e.load(std::memory_order_relaxed) != nullptr; }));
}

int VoiceTable::soundingCount() const noexcept {
  const auto sounding = [](const SampleVoice* v) { return v != nullptr && !v->isSilent(); };
  int count = sounding(preview_.load(std::memory_order_relaxed)) ? 1 : 0;
  for (const auto& e : table_) count += sounding(e.load(std::memory_order_relaxed)) ? 1 : 0;
  for (const Retired& r : retired_) count += sounding(r.voice.get()) ? 1 : 0;
  return count;
}

void VoiceTable::retire(SampleVoice* voice) {
  if (!voice) return;
  // Room first: should that fail, the voice leaks instead of being freed under the audio thread.
  if (retired_.size() == retired_.capacity()) retired_.reserve(2 * retired_.capacity() + 1);
  voice->detach();
  // Read after the slots were released: a cycle numbered above this one sees the release.
  retired_.push_back(Retired{std::unique_ptr<SampleVoice>(voice), mixer_.cyclesStarted()});
}

void VoiceTable::collect() {
  if (retired_.empty()) return;
  if (!mixer_.running()) {
    // No audio thread: let the mixer forget the slots now and free everything.
    mixer_.applyCommandsWhileStopped();
    retired_.clear();
    return;
  }
  const uint64_t finished = mixer_.cyclesFinished();
  // Past the cycle that saw the release, and done fading out.
  std::erase_if(retired_, [finished](const Retired& r) { return finished > r.cycle && r.voice->isSilent(); });
}

bool VoiceTable::waitForReclaim(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  collect();
  while (!retired_.empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::microseconds(500));
    collect();
  }
  return retired_.empty();
}

}  // namespace zumbel
