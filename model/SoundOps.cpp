// Moving, copying and swapping whole sounds. A sound's fields are atomic words the audio thread
// reads while they change, so a hit racing an edit may sound the old or the new value of each;
// the window rebuilds the sounds' voices afterwards in any case.

#include "KitbeatDoc.h"

namespace zumbel {

namespace {
bool inRange(int n) { return n >= 0 && n < kSoundCount; }
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
  bool changed = putSound(to, sound(from), soundExtras(from));
  changed = putSound(from, empty, SoundExtras{}) || changed;
  if (changed) SetModifiedFlag();
  return changed;
}

bool CKitbeatDoc::CopySound(int from, int to) {
  if (!inRange(from) || !inRange(to) || from == to) return false;
  const bool changed = putSound(to, sound(from), soundExtras(from));
  if (changed) SetModifiedFlag();
  return changed;
}

bool CKitbeatDoc::SwapSounds(int a, int b) {
  if (!inRange(a) || !inRange(b) || a == b) return false;
  const Sound first = sound(a);
  const SoundExtras firstExtras = soundExtras(a);
  bool changed = putSound(a, sound(b), soundExtras(b));
  changed = putSound(b, first, firstExtras) || changed;
  if (changed) SetModifiedFlag();
  return changed;
}

}  // namespace zumbel
