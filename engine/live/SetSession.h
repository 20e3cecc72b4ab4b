#pragma once
// What happens to the voices when a drum set is created or opened, or the audio output changes:
// the output is opened from the stored settings, every voice is released, the sample pool is
// relinked (asking the user about each file no probe finds), a voice is built for every layer
// with a sample of its own, and the MIDI input is opened again. The window adds its redraw; the
// questions and the file dialog go through the prompts, so all of it runs in tests.

#include <functional>
#include <optional>
#include <string>

#include "EngineConfig.h"

namespace zumbel {

class AudioOutput;
class CKitbeatDoc;
class DrumEngine;
class LayerVoiceLoader;
class MidiInputPort;
class Prompts;

// The device settings as the store gives them: each device's number, and beside it the name it
// had when it was chosen (empty in settings from before names were kept).
struct DeviceSettings {
  int outputDevice = 0;
  int midiPort = 0;
  int midiChannel = 1;
  std::string outputName;
  std::string midiPortName;
  // Stereo output pairs a JACK output registers, 1..kMixerOutputPairs.
  int jackOutputPairs = kDefaultJackOutputPairs;
};

class SetSession {
 public:
  // `midi` may be null (no MIDI input, as in tests).
  SetSession(CKitbeatDoc& doc, DrumEngine& engine, LayerVoiceLoader& loader, AudioOutput& output, MidiInputPort* midi,
             Prompts& prompts);

  // The Open dialog for one existing WAV file, starting at the suggested name; nothing on Cancel.
  void setPickExistingFile(std::function<std::optional<std::string>(const std::string& suggested)> pick) {
    pick_ = std::move(pick);
  }
  // The window's Save command, for keeping changes before a reload.
  void setSave(std::function<void()> save) { save_ = std::move(save); }

  // A path to the file that opens: the three probes, then the user. A file found where the set
  // says or beside it keeps the stored path; one found elsewhere is given by its full path. When
  // the user does not help (No, No to All, or no file picked) the stored path itself: the entry
  // and its layers stay in the set, silent, and a later save keeps them. Answering a question
  // about locating a file must never delete anything.
  std::string ResolveSamplePath(const std::string& path);
  // One pass over the pool, asking at most once per missing file (and not at all after No to
  // All). Paths found only through the user, which the next opening could not find by itself,
  // mark the set modified, so they are offered for saving.
  void RelinkSamplePool();
  // False only releases the voices; true also offers to save a modified set, relinks and builds
  // every voice again.
  void ReloadVoices(bool reload);
  // The sequence after New and Open, but the window's own steps (current group, redraw). A
  // stored device that has moved in its list is found by its name; a MIDI input that is gone
  // leaves the program's own input port open instead, which nothing is connected to unasked.
  // An output already open keeps its output pairs; the stored number counts from its next open.
  void UpdateView(const DeviceSettings& settings);

 private:
  void loadVoices();

  CKitbeatDoc& doc_;
  DrumEngine& engine_;
  LayerVoiceLoader& loader_;
  AudioOutput& output_;
  MidiInputPort* midi_;
  Prompts& prompts_;
  std::function<std::optional<std::string>(const std::string&)> pick_;
  std::function<void()> save_;
  bool openingStored_ = false;
  // Of the relink pass under way.
  bool declineAll_ = false;
  bool relinkedAway_ = false;
};

}  // namespace zumbel
