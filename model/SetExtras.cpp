#include "SetExtras.h"

#include <algorithm>

namespace zumbel {

bool SoundExtras::isDefault() const {
  return name.empty() && level == 0 && output == 0 &&
         std::all_of(layerGain.begin(), layerGain.end(), [](const RelaxedInt& g) { return g == 0; });
}

bool SetExtras::soundsAreDefault() const {
  return grabThreshold == kDefaultGrabThreshold && std::all_of(sounds.begin(), sounds.end(), [](const SoundExtras& s) { return s.isDefault(); });
}

int32_t voiceTrim(const SoundExtras& s, int layer) {
  const int32_t level = s.level;
  if (level == kLevelOff) return kLevelOff;
  return level + (layer >= 0 && layer < kLayerCount ? s.layerGain[static_cast<std::size_t>(layer)].load() : 0);
}

std::string SoundNameFrom(std::string_view text) {
  std::size_t size = std::min(text.size(), kMaxSoundNameBytes);
  // A continuation byte (10xxxxxx) at the cut would split a character: the cut moves back to
  // the byte that starts it.
  if (size < text.size()) {
    while (size > 0 && (static_cast<unsigned char>(text[size]) & 0xC0) == 0x80) --size;
  }
  std::string name(text.substr(0, size));
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return name;
}

}  // namespace zumbel
