#include "SoundLabels.h"

#include <array>
#include <cstdio>

#include "ExtrasFile.h"

namespace zumbel {

namespace {

// The seventh degree is H, as the program has always named it.
constexpr std::array<const char*, 12> kNoteNames{"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "H"};

template <typename... Args>
std::string format(const char* pattern, Args... args) {
  char text[96];
  std::snprintf(text, sizeof text, pattern, args...);
  return text;
}

// The compress value as the labels count it: 0 (widest dynamics, -8000) .. 100 (none, 0).
int compressDegree(int compress) { return compress / 80 + 100; }

}  // namespace

const char* NoteName(int note) { return kNoteNames[static_cast<std::size_t>((note % 12 + 12) % 12)]; }

std::string CentsLabel(int cents) {
  if (cents > 0) return format("+%d cents", cents);
  if (cents == 0) return format(" %d cents", 0);
  return format("-%d cents", -cents);
}

std::string ResetCentsLabel() { return format(" %d cent", 0); }

std::string LockedPitchLabel(int rate) { return format("locked! samplerate %d", rate); }

std::string SemitoneLabel(int semitoneIndex) { return format("%d", semitoneIndex - 36); }

std::string PanLabel(int pan) { return format("%d", pan / 40); }

std::string CompressLabel(int compress) {
  const int d = compressDegree(compress);
  if (d < 25) return format("Compress %d (hi dynamics)", d);
  if (d < 50) return format("Compress %d (slight compress)", d);
  if (d < 75) return format("Compress %d (medium compress)", d);
  return format("Compress %d (hi compress)", d);
}

std::string CompressMovingLabel(int compress) {
  const int d = compressDegree(compress);
  if (d < 25) return format("Compres %d (full dynamics)", d);
  if (d < 50) return format("Compres %d (slight compress)", d);
  if (d < 75) return format("Compres %d (medium compress)", d);
  return format("Compres %d (hi compress)", d);
}

// Sounds and cut notes are counted in octaves from sound 0 (MIDI note 36), the first octave 1.
std::string OctaveLabel(int sound) { return format("Octave %d ", sound / 12 + 1) + NoteName(sound); }

std::string MidinoteLabel(int sound) { return format("Midinote %d ", sound + 1); }

CutLabels CutNoteLabels(int cutNote) {
  if (cutNote == -1) return {"Cut function Off", ""};
  return {format("This note will cut note %d", cutNote + 1),
          format("(Octave %d ", cutNote / 12 + 1) + NoteName(cutNote) + ")"};
}

std::string SchemeLabel(int scheme) { return format("Velocity layer scheme %d", scheme); }

std::string LevelLabel(int32_t level) { return LevelText(level); }

std::string OutputLabel(int output) { return output == 0 ? std::string("1 (main)") : format("%d", output + 1); }

std::string AlternatesLabel(int count) {
  if (count <= 0) return {};
  return count == 1 ? std::string("+1 alternate") : format("+%d alternates", count);
}

std::string ChokeGroupLabel(int group) { return group <= 0 ? std::string("none") : format("%d", group); }

std::string GrabLabel(int threshold) { return threshold <= 0 ? std::string("off") : format("%d", threshold); }

std::string CopyOfLayerLabel(int layer) { return format("Copy of layer %d", layer); }

}  // namespace zumbel
