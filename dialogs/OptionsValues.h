#pragma once
// What the Options dialog shows and gives back: the MIDI input devices and the audio outputs by
// number (a list index is the device's number), the ones selected, the MIDI channel and the output
// pairs of a JACK output. Plain C++, so the window's tests can answer the dialog by script.

#include <algorithm>
#include <string>
#include <vector>

#include "EngineConfig.h"

namespace zumbel {

// The dialog has room for this many MIDI inputs and outputs; later devices are not offered.
inline constexpr int kOptionsMidiDevices = 23;
inline constexpr int kOptionsOutputs = 30;

struct OptionsValues {
  std::vector<std::string> midiDevices;
  int midiDevice = 0;  // -1 or past the list: nothing selected
  std::vector<std::string> outputs;
  int output = 0;
  int channel = 1;  // 1..16
  int jackOutputPairs = kDefaultJackOutputPairs;  // 1..kMixerOutputPairs
};

// The MIDI list as the dialog holds it: the first devices in device order, and one empty entry
// when there is none, so the list always has a first row.
inline std::vector<std::string> optionsMidiList(std::vector<std::string> devices) {
  if (devices.size() > static_cast<std::size_t>(kOptionsMidiDevices)) devices.resize(kOptionsMidiDevices);
  if (devices.empty()) devices.emplace_back();
  return devices;
}

}  // namespace zumbel
