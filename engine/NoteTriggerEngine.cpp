#include "NoteTriggerEngine.h"

#include <algorithm>
#include <bit>

#include "EngineConfig.h"
#include "Indicators.h"
#include "ShortMessage.h"
#include "VoiceTable.h"

namespace zumbel {

NoteTriggerEngine::NoteTriggerEngine(const CKitbeatDoc& doc, const VoiceTable& voices, Indicators& indicators)
    : doc_(doc), voices_(voices), indicators_(indicators) {
  for (RelaxedInt& v : channelVolumes_) v = kDefaultChannelVolume;
  lastTake_.fill(kNoTake);
}

int NoteTriggerEngine::selectedChannel() const noexcept {
  return std::clamp<int32_t>(noteOnStatus_ - 0x90, 0, kMidiChannels - 1);
}

int32_t NoteTriggerEngine::channelVolume(int channel) const noexcept {
  if (channel < 0 || channel >= kMidiChannels) return 0;
  return channelVolumes_[static_cast<std::size_t>(channel)];
}

int32_t NoteTriggerEngine::hitVolume(int32_t compress, int channelVolume, int velocity) noexcept {
  // Integer divisions truncating toward zero, as the law is defined; 64 bits so that a compress
  // value from a damaged file cannot overflow.
  const int64_t c = compress;
  const int64_t volume = c - (int64_t{channelVolume} * velocity / 128) * (c / 128 + 1);
  return static_cast<int32_t>(std::clamp<int64_t>(volume, INT32_MIN, INT32_MAX));
}

void NoteTriggerEngine::HandleShortMessage(uint32_t message) noexcept {
  const int status = messageStatus(message);
  const int d1 = messageData1(message);
  const int d2 = messageData2(message);
  // Data bytes stop at 127; a stray byte from a raw stream must not pick a sound past the table.
  if (d1 > 127 || d2 > 127) return;
  const int32_t noteOnStatus = noteOnStatus_;

  if (status == noteOnStatus + 0x20) {
    if (d1 == kChannelVolumeController) channelVolumes_[static_cast<std::size_t>(selectedChannel())] = d2;
    // A sequencer's stop sends these: nothing may ring on after it.
    if (d1 == kAllSoundOffController) allSoundOff();
    if (d1 == kAllNotesOffController) allNotesOff();
    return;
  }
  if (status == noteOnStatus + 0x10) {
    polyAftertouch(d1, d2);
    return;
  }
  if (status >= 0xE0 && status <= 0xEF) {
    pitchBend(d1 + 127 * d2);
    return;
  }
  if (status == noteOnStatus && d2 > 0) {
    noteOn(d1, d2);
    return;
  }
  if (status == noteOnStatus - 0x10 || (status == noteOnStatus && d2 == 0)) noteOff(d1);
}

void NoteTriggerEngine::pitchBend(int32_t value) noexcept {
  for (int n = 0; n < kSoundCount; ++n) {
    if (doc_.sound(n).externalPitchBend != 1) continue;
    for (int j = 0; j < kLayerCount; ++j) {
      if (SampleVoice* v = voices_.voice(n, j)) v->SetPitch(value);
    }
  }
}

void NoteTriggerEngine::noteOn(int note, int velocity) noexcept {
  indicators_.setMidiLamp(true);
  const int e = std::max(0, note - kFirstNote);  // every note up to 36 plays the first sound
  const Sound& sound = doc_.sound(e);
  const int band = doc_.velocityBand(sound.velocityScheme(), velocity);
  // The first layer decides: a sound whose band-0 source is none plays nothing.
  const bool empty = sound.sources[0] == kNone;
  if (!empty) {
    const int32_t volume = hitVolume(sound.compress(), channelVolume(selectedChannel()), velocity);
    // A source from a file may point anywhere; outside the layers it names no voice.
    const int layer = sound.sources[static_cast<std::size_t>(band)];
    SampleVoice* voice = voices_.voice(e, layer);
    if (!voice) return;
    // The voice exists, so the layer is inside the table.
    const int takes = voice->takeCount();
    SampleVoice* take = takes > 1 ? voice->take(pickTake(e, layer, takes)) : voice;
    take->SetVolume(volume);
    take->Play();
    const int32_t cut = sound.cutNote();
    if (cut >= 0 && cut < kSoundCount) {
      // After the sound's own start, so a sound that cuts itself falls silent at once.
      for (int j = 0; j < kLayerCount; ++j) {
        if (SampleVoice* victim = voices_.voice(cut, j)) {
          victim->SetVolume(kSilentVolume);
          victim->Stop();
        }
      }
    }
    chokeOthers(e);
  }
  const int key = e - firstShownSound();
  if (key >= 0 && key < Indicators::kKeys) indicators_.lightPad(key, band, empty);
}

int NoteTriggerEngine::pickTake(int e, int j, int takes) noexcept {
  uint8_t& last = lastTake_[static_cast<std::size_t>(e) * kLayerCount + static_cast<std::size_t>(j)];
  // The voice may have been rebuilt with fewer takes since the last hit.
  const int previous = last < takes ? last : -1;
  int k;
  if (doc_.soundExtras(e).roundRobin == kRoundRobinRandom) {
    // xorshift32: a few instructions, and never zero from a non-zero seed.
    random_ ^= random_ << 13;
    random_ ^= random_ >> 17;
    random_ ^= random_ << 5;
    // One of the takes other than the last (all of them before the first hit), scaled rather
    // than taken modulo, so each is as likely as the others.
    const int choices = previous < 0 ? takes : takes - 1;
    k = static_cast<int>((uint64_t{random_} * static_cast<uint64_t>(choices)) >> 32);
    if (previous >= 0 && k >= previous) ++k;
  } else {
    k = previous + 1 < takes ? previous + 1 : 0;
  }
  last = static_cast<uint8_t>(k);
  return k;
}

void NoteTriggerEngine::chokeOthers(int e) noexcept {
  const int32_t group = doc_.soundExtras(e).chokeGroup;
  if (group == kNoChokeGroup) return;
  // Only the members' bits are visited: a group of two costs two steps however large the set.
  const SoundMask& members = doc_.extras().chokeMembers(group);
  for (int w = 0; w < SoundMask::kWords; ++w) {
    for (uint64_t bits = members.word(w); bits != 0; bits &= bits - 1) {
      const int n = 64 * w + std::countr_zero(bits);
      if (n != e) silenceSound(n);
    }
  }
}

void NoteTriggerEngine::silenceSound(int e) noexcept {
  for (int j = 0; j < kLayerCount; ++j) {
    if (SampleVoice* v = voices_.voice(e, j)) v->Stop();
  }
}

void NoteTriggerEngine::polyAftertouch(int note, int pressure) noexcept {
  const int32_t threshold = doc_.extras().grabThreshold;
  if (threshold == kGrabOff || pressure < threshold) return;
  silenceSound(std::max(0, note - kFirstNote));
}

void NoteTriggerEngine::allSoundOff() noexcept {
  for (int e = 0; e < kSoundCount; ++e) silenceSound(e);
}

void NoteTriggerEngine::allNotesOff() noexcept {
  for (int note = kFirstNote; note < kFirstNote + kSoundCount; ++note) noteOff(note);
}

void NoteTriggerEngine::noteOff(int note) noexcept {
  // A note below the first sound played sound 0 on its note-on, so its note-off ends sound 0.
  const int e = std::max(0, note - kFirstNote);
  const Sound& sound = doc_.sound(e);
  if (voices_.voice(e, 0) != nullptr && sound.noteOffEnabled == 1) {
    for (int j = 0; j < kLayerCount; ++j) {
      if (SampleVoice* v = voices_.voice(e, j)) v->Stop();
    }
  }
  indicators_.setMidiLamp(false);
  const int key = std::max(0, note - kFirstNote - static_cast<int>(firstShownSound()));
  if (key < Indicators::kKeys) indicators_.resetKey(key);
}

}  // namespace zumbel
