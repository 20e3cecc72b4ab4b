#pragma once
// Every text the Sound Properties dialog writes into its labels. Plain C++, no Qt, so the words
// and their thresholds are checked without a window.

#include <cstdint>
#include <string>

namespace zumbel {

// "C" .. "H" for a note's position in its octave; any integer is taken modulo 12.
const char* NoteName(int note);

// "+12 cents", " 0 cents", "-7 cents".
std::string CentsLabel(int cents);
// What the pitch reset writes: the singular " 0 cent".
std::string ResetCentsLabel();
// "locked! samplerate 44100": the cents slider refused while pitch follows pitch bend.
std::string LockedPitchLabel(int rate);
// "12": the transposition in semitones.
std::string SemitoneLabel(int semitoneIndex);
// "-100" .. "100" from a pan of -4000 .. 4000.
std::string PanLabel(int pan);
// The compress label as a sound is shown ("Compress 50 (medium compress)") and as the slider is
// being moved ("Compres 24 (full dynamics)"): two families of texts, kept as users know them.
std::string CompressLabel(int compress);
std::string CompressMovingLabel(int compress);
// "Octave 1 C#" and "Midinote 2 " for a sound index.
std::string OctaveLabel(int sound);
std::string MidinoteLabel(int sound);
// The two lines telling which note this sound cuts; -1 is none.
struct CutLabels {
  std::string first;
  std::string second;
};
CutLabels CutNoteLabels(int cutNote);
// "Velocity layer scheme 3" for the scheme as shown, 1..5.
std::string SchemeLabel(int scheme);
// "-6 dB", "+3.5 dB", "0 dB" or "off" for a level in hundredths of a dB (or kLevelOff).
std::string LevelLabel(int32_t level);
// "1 (main)", "2" .. "8" for an output pair counted from 0.
std::string OutputLabel(int output);
// "+3 alternates", "+1 alternate" beside a layer with takes beyond its own sample; "" for none.
std::string AlternatesLabel(int count);
// "none" or "1" .. "32" for a sound's choke group.
std::string ChokeGroupLabel(int group);
// "off" or "1" .. "127" for the set's grab threshold.
std::string GrabLabel(int threshold);
// What a layer that plays another layer's sample shows, with that layer's number 1..5.
std::string CopyOfLayerLabel(int layer);
// What every layer of an empty sound shows.
inline constexpr const char* kEmptyLayerLabel = "EMPTY";
// Added to the pool path of a layer whose sample could not be loaded.
inline constexpr const char* kNotLoadedSuffix = " (not loaded)";

}  // namespace zumbel
