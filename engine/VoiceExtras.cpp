#include "VoiceExtras.h"

#include "VoiceTable.h"

namespace zumbel {

void applyExtras(SampleVoice& voice, const SoundExtras& s, int layer) noexcept {
  voice.SetTrim(voiceTrim(s, layer));
  voice.SetOutput(s.output);
}

void applySoundExtras(const VoiceTable& voices, const SoundExtras& s, int n) noexcept {
  for (int j = 0; j < kLayerCount; ++j) {
    if (SampleVoice* v = voices.voice(n, j)) applyExtras(*v, s, j);
  }
}

}  // namespace zumbel
