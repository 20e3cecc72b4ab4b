#include "SoundParameterUpdate.h"

#include "EngineConfig.h"
#include "KitbeatDoc.h"
#include "SoundParameter.h"
#include "VoiceExtras.h"
#include "VoiceTable.h"

namespace zumbel {

namespace {

template <typename Fn>
void forEachVoice(VoiceTable* voices, int sound, Fn&& fn) {
  if (!voices) return;
  for (int j = 0; j < kLayerCount; ++j) {
    if (SampleVoice* v = voices->voice(sound, j)) fn(j, *v);
  }
}

}  // namespace

void ApplySoundParameter(CKitbeatDoc& doc, VoiceTable* voices, int sound, int type, int value) noexcept {
  if (sound < 0 || sound >= kSoundCount) return;
  Sound& s = doc.sound(sound);
  switch (type) {
    case kSoundPan:
      s.settings[kPan] = value;
      // Only layers with a sample of their own have a voice; the bands that borrow one play it.
      forEachVoice(voices, sound, [&](int j, SampleVoice& v) {
        if (s.hasOwnSample(j)) v.SetPan(value);
      });
      break;
    case kSoundCompress: s.settings[kCompress] = value; break;
    case kSoundScheme: s.settings[kVelocityScheme] = value - 1; break;
    case kSoundCutNote: s.settings[kCutNote] = value; break;
    case kSoundNoteOff: s.noteOffEnabled = switchIsOn(value) ? 1 : 0; break;
    case kSoundRate:
      s.settings[kPlaybackRate] = value;
      forEachVoice(voices, sound, [&](int, SampleVoice& v) {
        // A voice that follows pitch bend would take the rate for a bend value and jump by
        // almost an octave; the rate is what its bends are heard around instead.
        if (v.followsPitchBend()) {
          v.SetBaseRate(value);
        } else {
          v.SetPitch(value);
        }
      });
      break;
    case kSoundLooping: {
      const bool on = switchIsOn(value);
      s.looping = on ? 1 : 0;
      forEachVoice(voices, sound, [&](int, SampleVoice& v) { v.SetLooping(on); });
      break;
    }
    case kSoundPitchBend: {
      const bool on = switchIsOn(value);
      s.externalPitchBend = on ? 1 : 0;
      const int32_t rate = s.playbackRate() == 0 ? kOutputRate : s.playbackRate();
      forEachVoice(voices, sound, [&](int, SampleVoice& v) {
        v.SetFollowsPitchBend(on);
        // Let go of the last bend: the sound goes back to its own rate rather than staying bent.
        if (!on) v.SetPitch(rate);
      });
      break;
    }
    case kSoundLevel:
    case kSoundOutput: {
      // Values no control sends are refused rather than stored: a file saved with them would
      // hold what its reader must throw away.
      SoundExtras& x = doc.soundExtras(sound);
      if (type == kSoundLevel) {
        if (value != kLevelOff && (value < kMinLevel || value > kMaxLevel)) return;
        x.level = value;
      } else {
        if (value < 0 || value >= kOutputPairs) return;
        x.output = value;
      }
      if (voices) applySoundExtras(*voices, x, sound);
      break;
    }
    default: break;
  }
}

}  // namespace zumbel
