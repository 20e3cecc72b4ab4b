// Any file lying beside a set as its extras: reading it must never crash, hang or recurse without
// bound, and what was read must save and read back to the same values.

#include <cstdlib>

#include "ExtrasFile.h"

using namespace zumbel;

namespace {

bool sameValues(const SetExtras& a, const SetExtras& b) {
  if (a.grabThreshold != b.grabThreshold) return false;
  for (int n = 0; n < kSoundCount; ++n) {
    const SoundExtras& x = a.sounds[static_cast<std::size_t>(n)];
    const SoundExtras& y = b.sounds[static_cast<std::size_t>(n)];
    if (x.name != y.name || x.level != y.level || x.output != y.output) return false;
    if (x.chokeGroup != y.chokeGroup || x.roundRobin != y.roundRobin || x.alternates != y.alternates) return false;
    for (int j = 0; j < kLayerCount; ++j) {
      if (x.layerGain[static_cast<std::size_t>(j)] != y.layerGain[static_cast<std::size_t>(j)]) return false;
    }
    // The member lists the note-on reads agree with every sound's own group.
    for (int g = 1; g <= kMaxChokeGroups; ++g) {
      if (a.chokeMembers(g).contains(n) != (x.chokeGroup == g)) return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const ExtrasRead read = ParseExtras(text, "Kit.zumbel");
  const std::string saved = SerializeExtras(read.extras);
  const ExtrasRead back = ParseExtras(saved, "Kit.zumbel");
  // What this version wrote it reads without a complaint beyond the ones the kept keys carry.
  if (!sameValues(read.extras, back.extras)) std::abort();
  if (SerializeExtras(back.extras) != saved) std::abort();
  (void)ExtrasNeedFile(read.extras);
  return 0;
}
