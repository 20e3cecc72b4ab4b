#include "NoteTriggerEngine.h"

#include <algorithm>

#include "EngineConfig.h"
#include "Indicators.h"
#include "ShortMessage.h"
#include "VoiceTable.h"

namespace zumbel {

NoteTriggerEngine::NoteTriggerEngine(const CKitbeatDoc& doc, const VoiceTable& voices, Indicators& indicators)
    : doc_(doc), voices_(voices), indicators_(indicators) {
  for (RelaxedInt& v : channelVolumes_) v = kDefaultChannelVolume;
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
    SampleVoice* voice = voices_.voice(e, sound.sources[static_cast<std::size_t>(band)]);
    if (!voice) return;
    voice->SetVolume(volume);
    voice->Play();
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
  }
  const int key = e - firstShownSound();
  if (key >= 0 && key < Indicators::kKeys) indicators_.lightPad(key, band, empty);
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
