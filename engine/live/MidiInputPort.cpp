#include "MidiInputPort.h"

#include "AudioOutput.h"
#include "EngineConfig.h"
#include "JackAudioBackend.h"

namespace zumbel {

MidiInputPort::MidiInputPort(AudioOutput& output, SequencerFactory sequencer)
    : output_(output), alsa_(std::make_unique<AlsaMidiInput>(output.cycle().queue(), std::move(sequencer))) {}

MidiInputPort::~MidiInputPort() { close(); }

std::vector<MidiDeviceInfo> MidiInputPort::devices() {
  using Kind = MidiDeviceInfo::Kind;
  std::vector<MidiDeviceInfo> list;
  JackAudioBackend* jack = output_.jack();
  if (jack) {
    list.push_back(MidiDeviceInfo{Kind::kJackOwn, "JACK: " + jack->midiPortName(), "", -1});
  } else {
    list.push_back(MidiDeviceInfo{Kind::kAlsaOwn, std::string("ALSA: ") + kClientName + ":" + kAlsaMidiPort, "", -1});
  }
  // Sequencer sources are offered under JACK too: not every JACK setup bridges them.
  const std::vector<std::string> sources = alsa_->sources();
  for (std::size_t i = 0; i < sources.size(); ++i) {
    list.push_back(MidiDeviceInfo{Kind::kAlsaSource, "ALSA: " + sources[i], "", static_cast<int>(i)});
  }
  if (jack) {
    for (const std::string& port : jack->midiSources()) list.push_back(MidiDeviceInfo{Kind::kJackSource, "JACK: " + port, port, -1});
  }
  return list;
}

std::vector<std::string> MidiInputPort::deviceNames() {
  std::vector<std::string> names;
  for (const MidiDeviceInfo& d : devices()) names.push_back(d.name);
  return names;
}

void MidiInputPort::SetMidiInput(int device, int mode) {
  if (mode == 1) {
    selected_ = device;
    open(device);
  } else if (mode == 0) {
    close();
  }
}

void MidiInputPort::open(int device) {
  // One port at a time: whatever the last open made is undone first.
  close();
  const std::vector<MidiDeviceInfo> list = devices();
  if (device < 0 || device >= static_cast<int>(list.size())) return;
  const MidiDeviceInfo& chosen = list[static_cast<std::size_t>(device)];
  std::string detail;  // MIDI trouble is never shown; the open flag tells
  bool ok = false;
  JackAudioBackend* jack = output_.jack();
  switch (chosen.kind) {
    case MidiDeviceInfo::Kind::kJackOwn:
      ok = jack != nullptr;
      break;
    case MidiDeviceInfo::Kind::kJackSource:
      ok = jack && jack->connectMidiSource(chosen.port);
      break;
    case MidiDeviceInfo::Kind::kAlsaOwn:
      ok = alsa_->openOwnPort(detail);
      break;
    case MidiDeviceInfo::Kind::kAlsaSource:
      ok = alsa_->openSource(chosen.index, detail);
      break;
  }
  if (!ok) return;
  if (chosen.kind == MidiDeviceInfo::Kind::kJackOwn || chosen.kind == MidiDeviceInfo::Kind::kJackSource) {
    // A sequencer port kept from an earlier open would stand in the graph doing nothing.
    alsa_->release();
    jack->setMidiIntake(true);
    jackOpened_ = true;
  }
  opened_ = chosen;
  openedName_ = chosen.name;
  open_ = true;
}

void MidiInputPort::close() {
  if (jackOpened_) {
    // The output may have been switched since the open; only a live JACK client has a port.
    if (JackAudioBackend* jack = output_.jack()) {
      jack->setMidiIntake(false);
      if (opened_.kind == MidiDeviceInfo::Kind::kJackSource) jack->disconnectMidiSource(opened_.port);
    }
    jackOpened_ = false;
  }
  alsa_->close();
  open_ = false;
}

}  // namespace zumbel
