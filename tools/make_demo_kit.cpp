// Writes the bundled demo drum set, resources/demo/Demo.drums. Its samples are stored by bare
// file name, so they are found beside the set wherever it is installed. Run it again after
// changing the kit and commit the result:
//   build/tools/make_demo_kit resources/demo/Demo.drums

#include <cstdio>
#include <string>
#include <vector>

#include "DrumsFile.h"

namespace {

struct Pad {
  int note;
  int group;
  std::vector<int> layers;  // entries of the group for layers 0, 1, ...
  int pan = 0;
  int cutNote = -1;
  bool noteOff = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_demo_kit OUT.drums\n");
    return 2;
  }
  using namespace zumbel;
  CKitbeatDoc doc;
  doc.OnNewDocument();
  const std::vector<std::pair<std::string, std::vector<std::string>>> groups = {
      {"Kicks", {"Kick Hard.wav", "Kick Soft.wav"}},
      {"Snares", {"Snare Hard.wav", "Snare Soft.wav", "Rimshot.wav"}},
      {"Hats", {"Hat Closed.wav", "Hat Pedal.wav", "Hat Open.wav"}},
      {"Toms and Cymbals", {"Tom Low.wav", "Tom Mid.wav", "Tom High.wav", "Crash.wav", "Ride.wav"}},
  };
  for (const auto& [name, files] : groups) {
    const int g = doc.appendGroup(name);
    for (const std::string& f : files) doc.appendSample(g, f);
  }
  const int kClosedHat = 42 - kFirstNote;
  const std::vector<Pad> pads = {
      {36, 0, {0, 1}},
      {37, 1, {2}},
      {38, 1, {0, 1}},
      {42, 2, {0}, -800},
      {44, 2, {1}, -800, -1},
      {46, 2, {2}, -800, -1, true},
      {45, 3, {0}, 1500},
      {47, 3, {1}, 500},
      {50, 3, {2}, -1500},
      {49, 3, {3}, 2000},
      {51, 3, {4}, -2000},
  };
  for (const Pad& p : pads) {
    const int n = p.note - kFirstNote;
    for (std::size_t layer = 0; layer < p.layers.size(); ++layer) {
      // The soft sample takes the two quietest bands.
      const int target = layer == 0 ? 0 : 3;
      doc.AssignSample(n, target, SampleRef{p.group, p.layers[layer]});
    }
    doc.sound(n).settings[kPan] = p.pan;
    doc.sound(n).settings[kCutNote] = p.cutNote;
    doc.sound(n).noteOffEnabled = p.noteOff ? 1 : 0;
  }
  // Closing the hi-hat chokes the open one.
  doc.sound(kClosedHat).settings[kCutNote] = 46 - kFirstNote;
  doc.sound(44 - kFirstNote).settings[kCutNote] = 46 - kFirstNote;

  const FileOutcome saved = doc.OnSaveDocument(argv[1]);
  if (!saved.ok()) {
    std::fprintf(stderr, "%s\n", saved.message.c_str());
    return 2;
  }
  return 0;
}
