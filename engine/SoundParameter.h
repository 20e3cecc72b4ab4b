#pragma once
// The messages the Sound Properties dialog sends its view: a type code and a value, applied by
// the view to the sound it shows. The on/off switches travel inverted, 0 for on and 1 for off,
// as the drum set's editors have always sent them.

namespace zumbel {

enum SoundParameter : int {
  kSoundPan = 2,        // -4000..4000
  kSoundCompress = 3,   // -8000..0
  kSoundScheme = 4,     // the scheme as shown, 1..5
  kSoundCutNote = 5,    // -1 (off) or a sound index
  kSoundNoteOff = 6,    // 0 = on, 1 = off
  kSoundRate = 7,       // playback rate in Hz
  kSoundLooping = 8,    // 0 = on, 1 = off
  kSoundPitchBend = 9,  // 0 = on, 1 = off
  // The set's extras (SetExtras.h): heard at once on the sound's sounding voices.
  kSoundLevel = 10,     // hundredths of a dB, kMinLevel..kMaxLevel, or kLevelOff
  kSoundOutput = 11,    // the stereo output pair, 0..kOutputPairs-1 (shown as 1..8)
  kSoundSelect = 100,   // show another sound: its index
};

// The only close notice there is: the dialog's close box (or Escape) was used.
inline constexpr int kSoundPropertiesClosed = 1;

inline constexpr int switchValue(bool on) { return on ? 0 : 1; }
inline constexpr bool switchIsOn(int value) { return value != 1; }

}  // namespace zumbel
