#include "DemoKit.h"

#include "DrumNotes.h"

namespace zumbel::demo {

namespace {

enum Group : int { kKicks, kSnares, kHats, kToms, kCymbals };

using enum Layer;

// A drummer's view: hi-hat and high tom to the left, floor tom and cymbals to the right.
constexpr int kHatPan = -600;
constexpr int kClapPan = 250;

}  // namespace

const std::vector<std::string_view>& demoGroupNames() {
  static const std::vector<std::string_view> names = {"Kicks", "Snares and Claps", "Hi-Hats", "Toms",
                                                      "Cymbals"};
  return names;
}

const std::vector<DemoPad>& demoPads() {
  static const std::vector<DemoPad> pads = {
      {Instrument::Kick, "Kick", gm::kKick, kKicks, {Hard, Medium, Soft}, 0},
      {Instrument::Snare, "Snare", gm::kSnare, kSnares, {Hard, Medium, Soft, Ghost}, 0},
      {Instrument::SideStick, "Side Stick", gm::kSideStick, kSnares, {Hard, Soft}, 0},
      {Instrument::Clap, "Clap", gm::kClap, kSnares, {Hard, Medium, Soft}, kClapPan},
      {Instrument::ClosedHat, "Hi-Hat Closed", gm::kClosedHat, kHats, {Hard, Medium, Soft}, kHatPan,
       gm::kOpenHat},
      {Instrument::PedalHat, "Hi-Hat Pedal", gm::kPedalHat, kHats, {Hard, Soft}, kHatPan, gm::kOpenHat},
      {Instrument::OpenHat, "Hi-Hat Open", gm::kOpenHat, kHats, {Hard, Medium, Soft}, kHatPan},
      {Instrument::HighTom, "Tom High", gm::kHighTom, kToms, {Hard, Medium, Soft}, -900},
      {Instrument::MidTom, "Tom Mid", gm::kMidTom, kToms, {Hard, Medium, Soft}, 300},
      {Instrument::LowTom, "Tom Low", gm::kLowTom, kToms, {Hard, Medium, Soft}, 900},
      {Instrument::Crash, "Crash", gm::kCrash, kCymbals, {Hard, Medium, Soft}, 700},
      {Instrument::Ride, "Ride", gm::kRide, kCymbals, {Hard, Medium, Soft}, 1200},
  };
  return pads;
}

std::string sampleFileName(const DemoPad& pad, Layer layer) {
  return std::string(pad.name) + " " + std::string(layerName(layer)) + ".wav";
}

int layerSlot(Layer layer) {
  switch (layer) {
    case Hard:
      return 0;
    case Medium:
      return 2;
    case Soft:
      return 3;
    case Ghost:
      return 4;
  }
  return 0;
}

void buildDemoKit(CKitbeatDoc& doc) {
  doc.OnNewDocument();
  for (std::string_view name : demoGroupNames()) doc.appendGroup(std::string(name));
  for (const DemoPad& pad : demoPads()) {
    const int n = pad.note - kFirstNote;
    for (Layer layer : pad.layers) {
      const SampleRef ref{pad.group, doc.groupSize(pad.group)};
      doc.appendSample(pad.group, sampleFileName(pad, layer));
      // Loudest first: the first sample opens the sound in layer 0, each later one takes its own
      // layer and lends it to the quieter layers below it.
      doc.AssignSample(n, layerSlot(layer), ref);
    }
    Sound& s = doc.sound(n);
    s.settings[kPan] = pad.pan;
    s.settings[kCutNote] = pad.chokes < 0 ? kNone : pad.chokes - kFirstNote;
    // Drum pads ring out whatever the note-off says; the cymbals above all.
    s.noteOffEnabled = 0;
  }
}

}  // namespace zumbel::demo
