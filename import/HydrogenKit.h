#pragma once
// What a Hydrogen drum kit file (drumkit.xml) says, as far as a drum set can use it or must
// report it. Every kit format in the wild reads into this one shape: the old files with one
// <filename> per instrument, the ones with <layer>s under the instrument, and the newer ones whose
// layers sit in <instrumentComponent>s.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zumbel::import {

// A linear factor of the kit (a volume, a gain) as the file gives it. Kits come from anywhere, so
// the importer is told whether the element was there and readable, and gets the value as written
// (zero, negative or huge included) to judge for itself.
struct KitFactor {
  enum class State { kMissing, kGiven, kUnreadable };
  State state = State::kMissing;
  double value = 1.0;  // as written when given; 1 (Hydrogen's default) otherwise
  std::string text;    // the element's text when it is not a finite number

  bool given() const { return state == State::kGiven; }
};

struct KitLayer {
  std::string filename;  // as the kit file gives it, relative to the kit's folder
  double min = 0.0;      // velocity range, 0..1
  double max = 1.0;
  KitFactor gain;
  double pitch = 0.0;    // semitones
};

struct KitComponent {
  int id = 0;
  KitFactor gain;
  // sampleSelectionAlgo as the component gives it (newer kits); empty: the instrument's applies.
  std::string selection;
  std::vector<KitLayer> layers;
};

struct KitInstrument {
  std::string id;
  std::string name;
  std::optional<int> midiOutNote;
  std::optional<int> midiInNote;
  // Hydrogen's mute group: -1 (or nothing) is none. Any whole number the file holds is kept, so
  // the importer can judge it; `muteGroupText` holds the element's text when it is no whole number.
  int64_t muteGroup = -1;
  std::string muteGroupText;
  KitFactor volume;
  KitFactor gain;
  // Channel gains 0..1; a single <pan> (-1..1) is read into them as a balance.
  double panL = 1.0;
  double panR = 1.0;
  double pitchOffset = 0.0;  // semitones, the instrument's own
  double randomPitch = 0.0;
  bool filterActive = false;
  double filterCutoff = 1.0;
  double attack = 0.0, decay = 0.0, sustain = 1.0, release = 1000.0;
  bool stopNote = false;
  bool muted = false;
  bool applyVelocity = true;
  std::string selection;       // sampleSelectionAlgo (older kits): VELOCITY, RANDOM, ROUND_ROBIN
  bool fxSends = false;        // any FXnLevel above 0
  std::vector<std::string> excludes;
  std::vector<KitComponent> components;
  bool singleFile = false;  // the oldest form: one <filename>, so no layer of its own has a gain
  std::size_t droppedComponents = 0;  // beyond the bound
  std::size_t droppedLayers = 0;
};

struct HydrogenKit {
  std::string name;
  std::vector<KitInstrument> instruments;  // in file order: position i is Hydrogen's instrument i
  std::size_t droppedInstruments = 0;      // beyond the bound
};

// Reads a kit file's text. False with `error` set when it is not XML or not a Hydrogen kit.
// Entities beyond XML's five and character references are never expanded, and nothing outside
// the text is fetched.
bool parseHydrogenKit(std::string_view xml, HydrogenKit& kit, std::string& error);

// Reads `path` (at most kMaxKitXmlBytes) and parses it.
bool readHydrogenKit(const std::string& path, HydrogenKit& kit, std::string& error);

}  // namespace zumbel::import
