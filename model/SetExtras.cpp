#include "SetExtras.h"

#include <algorithm>

namespace zumbel {

bool SoundExtras::isDefault() const {
  return name.empty() && level == 0 && output == 0 &&
         std::all_of(layerGain.begin(), layerGain.end(), [](const RelaxedInt& g) { return g == 0; });
}

bool SetExtras::soundsAreDefault() const {
  return std::all_of(sounds.begin(), sounds.end(), [](const SoundExtras& s) { return s.isDefault(); });
}

int32_t voiceTrim(const SoundExtras& s, int layer) {
  const int32_t level = s.level;
  if (level == kLevelOff) return kLevelOff;
  return level + (layer >= 0 && layer < kLayerCount ? s.layerGain[static_cast<std::size_t>(layer)].load() : 0);
}

}  // namespace zumbel
