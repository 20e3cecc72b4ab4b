#pragma once
// What makes the program an instrument: each short MIDI message decides which voice starts, how
// loud, which voices fall silent, and which lamps light. It runs on the audio thread at the
// message's own frame; it allocates nothing, takes no lock and reads every value that comes from
// a file through a bounds check.

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>

#include "EngineConfig.h"
#include "KitbeatDoc.h"
#include "RelaxedInt.h"

namespace zumbel {

class Indicators;
class VoiceTable;

inline constexpr int kMidiChannels = 16;
inline constexpr int32_t kDefaultNoteOnStatus = 0x90;  // channel 1
inline constexpr int32_t kDefaultChannelVolume = 127;
inline constexpr int kChannelVolumeController = 7;
inline constexpr int kAllSoundOffController = 120;
inline constexpr int kAllNotesOffController = 123;

class NoteTriggerEngine {
 public:
  NoteTriggerEngine(const CKitbeatDoc& doc, const VoiceTable& voices, Indicators& indicators);

  void HandleShortMessage(uint32_t message) noexcept;

  // The selected channel as a note-on status, 0x90 + channel 0..15.
  void setNoteOnStatus(int32_t status) noexcept { noteOnStatus_ = status; }
  int32_t noteOnStatus() const noexcept { return noteOnStatus_; }
  // Channel 1..16 as people count them; anything else is taken as the nearest of those.
  void setMidiChannel(int channel) noexcept { noteOnStatus_ = 0x8F + std::clamp(channel, 1, kMidiChannels); }

  // The sound shown on the first key of the left keyboard: 0, 24 or 48. The window keeps it
  // where its octave buttons write it and the lamps follow that one field (null: the engine's
  // own, which setFirstShownSound writes). The field must outlive the engine or be unhooked.
  void followFirstShownSound(const RelaxedInt* shown) noexcept {
    firstShown_.store(shown ? shown : &ownFirstShown_, std::memory_order_release);
  }
  void setFirstShownSound(int32_t sound) noexcept { ownFirstShown_ = sound; }
  int32_t firstShownSound() const noexcept { return firstShown_.load(std::memory_order_acquire)->load(); }

  int32_t channelVolume(int channel) const noexcept;

  // The volume law: how loud a hit of `velocity` is, in hundredths of a decibel, for a sound
  // whose softest hit is `compress` and a channel volume of `channelVolume`.
  static int32_t hitVolume(int32_t compress, int channelVolume, int velocity) noexcept;

 private:
  int selectedChannel() const noexcept;
  void noteOn(int note, int velocity) noexcept;
  void noteOff(int note) noexcept;
  // Every voice of sound `e` fades out over the stop ramp.
  void silenceSound(int e) noexcept;
  // Which of `takes` takes (more than one) of layer j of sound e plays this hit.
  int pickTake(int e, int j, int takes) noexcept;
  // The other sounds of sound e's choke group fall silent.
  void chokeOthers(int e) noexcept;
  void polyAftertouch(int note, int pressure) noexcept;
  void allSoundOff() noexcept;
  void allNotesOff() noexcept;
  void pitchBend(int32_t value) noexcept;

  const CKitbeatDoc& doc_;
  const VoiceTable& voices_;
  Indicators& indicators_;
  RelaxedInt noteOnStatus_{kDefaultNoteOnStatus};
  RelaxedInt ownFirstShown_{0};
  std::atomic<const RelaxedInt*> firstShown_{&ownFirstShown_};
  std::array<RelaxedInt, kMidiChannels> channelVolumes_;
  // Round robin, audio thread only: the take each layer played last (kNoTake before its first
  // hit with alternates), and the generator for picks at random, the same from every new engine.
  static constexpr uint8_t kNoTake = 0xFF;
  std::array<uint8_t, kSoundCount * kLayerCount> lastTake_;
  uint32_t random_ = kRoundRobinSeed;
};

}  // namespace zumbel
