#pragma once
// The demo kit's layout: which instrument sits on which General MIDI note, its velocity layers,
// pool group and pan, and the drum set built from that.

#include <string>
#include <string_view>
#include <vector>

#include "DrumSynth.h"
#include "KitbeatDoc.h"

namespace zumbel::demo {

struct DemoPad {
  Instrument instrument;
  std::string_view name;      // sample files are "<name> <layer>.wav"
  int note;
  int group;                  // into demoGroupNames()
  std::vector<Layer> layers;  // loudest first
  int pan;                    // hundredths of a decibel, negative to the left
  int chokes = -1;            // the note this pad cuts off, or -1
};

const std::vector<std::string_view>& demoGroupNames();
const std::vector<DemoPad>& demoPads();

std::string sampleFileName(const DemoPad& pad, Layer layer);

// The velocity layer (0 loudest) a sample layer is placed in. Under the default scheme the five
// layers take 121-127, 106-120, 76-105, 41-75 and 1-40; a layer without a sample of its own plays
// the next louder one's, so Hard covers 106-127, Medium 76-105, Soft 41-75 (and 1-40 when there
// is no Ghost).
int layerSlot(Layer layer);

// Fills a new drum set with the demo kit. The pool holds bare file names, so the samples are
// found beside the set wherever it is installed.
void buildDemoKit(CKitbeatDoc& doc);

}  // namespace zumbel::demo
