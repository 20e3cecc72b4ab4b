#pragma once
// What one message of the Sound Properties dialog does to the sound it is about: the value is
// stored in the drum set and, where it must be heard at once, the sound's voices are retuned.
// User-interface thread only; the audio thread may be playing the same voices and reading the
// same fields meanwhile, each one a 32-bit value written whole.

namespace zumbel {

class CKitbeatDoc;
class VoiceTable;

// `voices` may be null (a window without sound). Unknown types, and a sound outside the set,
// change nothing; selecting another sound is the view's business, not this one's.
void ApplySoundParameter(CKitbeatDoc& doc, VoiceTable* voices, int sound, int type, int value) noexcept;

}  // namespace zumbel
