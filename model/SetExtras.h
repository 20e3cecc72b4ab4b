#pragma once
// What a drum set holds beyond its ".drums" file: a name, a level and an output for every sound
// and a gain for every layer. The ".drums" format has no room for them and must stay as it is, so
// they travel in a file of their own beside the set (ExtrasFile.h). Defaults everywhere mean the
// set plays exactly as its ".drums" file alone says.
//
// The numbers are read by the audio thread while the window edits them, like a sound's settings.

#include <array>
#include <string>
#include <string_view>

#include "Limits.h"
#include "RelaxedInt.h"

namespace zumbel {

struct SoundExtras {
  std::string name;              // empty: the sound has no name of its own
  RelaxedInt level{0};           // hundredths of a dB after the volume law, or kLevelOff
  RelaxedInt output{0};          // stereo output pair, 0 = main
  std::array<RelaxedInt, kLayerCount> layerGain{};  // hundredths of a dB on top of the level

  bool isDefault() const;
};

struct SetExtras {
  std::array<SoundExtras, kSoundCount> sounds{};
  // Polyphonic aftertouch at or above this value silences the sound of its note, as a hand
  // grabbing a cymbal does; kGrabOff ignores aftertouch.
  RelaxedInt grabThreshold{kDefaultGrabThreshold};
  // The extras file as it was read, so keys a later or another program wrote survive a save.
  std::string kept;

  // No sound has an extra and the set's own settings are their defaults: nothing needs a file.
  bool soundsAreDefault() const;
};

// The gain of one layer's voice: the sound's level and the layer's gain together, in hundredths
// of a dB, or kLevelOff when the sound is off.
int32_t voiceTrim(const SoundExtras& s, int layer);

// A name as a sound keeps it: control characters become spaces (names are shown in tooltips and
// terminal lines), and one longer than kMaxSoundNameBytes is cut at a UTF-8 character boundary,
// so it is still text. `text` is UTF-8.
std::string SoundNameFrom(std::string_view text);

}  // namespace zumbel
