#pragma once
// The voices of a drum set: one per sound and layer that plays its own sample, plus the preview
// voice. The audio thread looks voices up while the user-interface thread replaces them, so an
// entry is published only once its voice is complete, and a voice taken out of the table is kept
// alive until every audio cycle that might have seen it has finished.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "Limits.h"
#include "SampleVoice.h"

namespace zumbel {

class Mixer;

class VoiceTable {
 public:
  explicit VoiceTable(Mixer& mixer);
  // Needs the mixer stopped (or the voices already released and reclaimed).
  ~VoiceTable();
  VoiceTable(const VoiceTable&) = delete;
  VoiceTable& operator=(const VoiceTable&) = delete;

  // Any thread. Null for an empty entry and for indices outside the table.
  SampleVoice* voice(int sound, int layer) const noexcept;
  SampleVoice* preview() const noexcept { return preview_.load(std::memory_order_seq_cst); }

  // --- user-interface thread ---
  // Replaces the entry; a voice already there is retired.
  void publish(int sound, int layer, std::unique_ptr<SampleVoice> voice);
  void release(int sound, int layer);
  void setPreview(std::unique_ptr<SampleVoice> voice);
  void releasePreview();
  // Stops and releases the preview voice and empties every entry.
  void ReleaseAllVoices();
  int voiceCount() const noexcept;
  // Voices with a buffer in the mix: the table's, the preview and those retired but not yet freed.
  int soundingCount() const noexcept;

  // Frees retired voices that no audio cycle can still reach. Cheap; call it freely.
  void collect();
  std::size_t retiredCount() const noexcept { return retired_.size(); }
  // Waits (polling) until every retired voice is freed, at most `timeout`. A rebuild calls it
  // so a set can be replaced without running out of mixer slots.
  bool waitForReclaim(std::chrono::milliseconds timeout);

 private:
  void retire(SampleVoice* voice);

  struct Retired {
    std::unique_ptr<SampleVoice> voice;
    uint64_t cycle;  // cycles started when it was retired
  };

  Mixer& mixer_;
  std::array<std::atomic<SampleVoice*>, kSoundCount * kLayerCount> table_{};
  std::atomic<SampleVoice*> preview_{nullptr};
  std::vector<Retired> retired_;
};

}  // namespace zumbel
