#pragma once
// A sound's extras as its voices play them: the level with each layer's gain, and the output.

#include "SetExtras.h"

namespace zumbel {

class SampleVoice;
class VoiceTable;

// Gives the voice of layer `layer` its sound's level, its layer's gain and the sound's output.
void applyExtras(SampleVoice& voice, const SoundExtras& s, int layer) noexcept;
// The same for every voice of sound `n` after an edit: sounding hits glide to it within a cycle.
void applySoundExtras(const VoiceTable& voices, const SoundExtras& s, int n) noexcept;

}  // namespace zumbel
