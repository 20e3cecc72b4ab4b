#pragma once
// The program's MIDI input: device 0 is its own input port, which other programs and devices
// connect to (a JACK MIDI port while the output is JACK, otherwise an ALSA sequencer port);
// devices 1 and up are the system's MIDI sources, and choosing one connects it to that port.
// The sequencer's sources come first and keep their numbers whichever output plays; the JACK
// sources, there only while the output is JACK, follow them. Every failure is silent: the open
// flag tells whether the last open worked.

#include <memory>
#include <string>
#include <vector>

#include "AlsaMidiInput.h"

namespace zumbel {

class AudioOutput;

struct MidiDeviceInfo {
  enum class Kind { kJackOwn, kJackSource, kAlsaOwn, kAlsaSource };
  Kind kind = Kind::kAlsaOwn;
  std::string name;  // for a person
  std::string port;  // JACK port name of a JACK source
  int index = -1;    // index among the ALSA sources
};

class MidiInputPort {
 public:
  // Without a factory the sequencer is reached through RtMidi.
  explicit MidiInputPort(AudioOutput& output, SequencerFactory sequencer = {});
  ~MidiInputPort();
  MidiInputPort(const MidiInputPort&) = delete;
  MidiInputPort& operator=(const MidiInputPort&) = delete;

  // The devices by number, as they stand now.
  std::vector<MidiDeviceInfo> devices();
  std::vector<std::string> deviceNames();

  // Mode 1 opens `device`, mode 0 closes the open one, any other mode does nothing.
  void SetMidiInput(int device, int mode);
  bool isOpen() const noexcept { return open_; }
  // The device the last open asked for, whether or not it opened: the device in use.
  int selectedDevice() const noexcept { return selected_; }
  // The name of the device last opened, for the command line.
  const std::string& openedName() const noexcept { return openedName_; }

 private:
  void open(int device);
  void close();

  AudioOutput& output_;
  std::unique_ptr<AlsaMidiInput> alsa_;
  bool open_ = false;
  int selected_ = 0;
  // What the open made, so the close undoes exactly that.
  MidiDeviceInfo opened_;
  bool jackOpened_ = false;
  std::string openedName_;
};

}  // namespace zumbel
