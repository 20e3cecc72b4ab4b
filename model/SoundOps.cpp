// Moving, copying and swapping whole sounds. A sound's fields are atomic words the audio thread
// reads while they change, so a hit racing an edit may sound the old or the new value of each;
// the window rebuilds the sounds' voices afterwards in any case.

#include "KitbeatDoc.h"

namespace zumbel {

namespace {
bool inRange(int n) { return n >= 0 && n < kSoundCount; }

// A carried sound's cut of either note of the pair names where that sound now is.
Sound carried(const Sound& s, int a, int b) {
  Sound moved = s;
  const int32_t cut = s.cutNote();
  if (cut == a) moved.settings[kCutNote] = b;
  if (cut == b) moved.settings[kCutNote] = a;
  return moved;
}
}  // namespace

bool CKitbeatDoc::putSound(int n, const Sound& s, const SoundExtras& extras) {
  const bool changed = !(sound(n) == s) || !(soundExtras(n) == extras);
  sound(n) = s;
  extras_.assignSound(n, extras);
  return changed;
}

bool CKitbeatDoc::MoveSound(int from, int to) {
  if (!inRange(from) || !inRange(to) || from == to) return false;
  Sound empty;
  makeEmpty(empty, 1);
  bool changed = putSound(to, carried(sound(from), from, to), soundExtras(from));
  changed = putSound(from, empty, SoundExtras{}) || changed;
  if (changed) SetModifiedFlag();
  return changed;
}

bool CKitbeatDoc::CopySound(int from, int to) {
  if (!inRange(from) || !inRange(to) || from == to) return false;
  // A copy of a sound that cuts itself cuts itself too; any other cut stays.
  Sound copy = sound(from);
  if (copy.cutNote() == from) copy.settings[kCutNote] = to;
  const bool changed = putSound(to, copy, soundExtras(from));
  if (changed) SetModifiedFlag();
  return changed;
}

bool CKitbeatDoc::SwapSounds(int a, int b) {
  if (!inRange(a) || !inRange(b) || a == b) return false;
  const Sound first = carried(sound(a), a, b);
  const SoundExtras firstExtras = soundExtras(a);
  bool changed = putSound(a, carried(sound(b), a, b), soundExtras(b));
  changed = putSound(b, first, firstExtras) || changed;
  if (changed) SetModifiedFlag();
  return changed;
}

}  // namespace zumbel
