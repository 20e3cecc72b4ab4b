#pragma once
// The program's audio output: the device list, opening the system default or a chosen device,
// and switching between them while a set is loaded. Owns the backend that is playing and the
// live cycle it drives. Runs on the user-interface thread.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AudioBackend.h"
#include "LiveCycle.h"

namespace zumbel {

class AudioSystem;
class DrumEngine;
class JackAudioBackend;
class Prompts;

// The output device list as the Options dialog shows it: entry 0 is the system default.
struct AudioDeviceList {
  std::vector<AudioDeviceInfo> devices;
  int count() const noexcept { return static_cast<int>(devices.size()); }
};

class AudioOutput {
 public:
  AudioOutput(DrumEngine& engine, AudioSystem& system, Prompts& prompts);
  ~AudioOutput();
  AudioOutput(const AudioOutput&) = delete;
  AudioOutput& operator=(const AudioOutput&) = delete;

  // What a switch calls to empty the voice table (false) and to rebuild it on the new device
  // (true). Without one the switch only releases the voices.
  void setReloadVoices(std::function<void(bool)> reload) { reloadVoices_ = std::move(reload); }
  void setStreamRequest(const AudioStreamRequest& request) { request_ = request; }
  // The stereo output pairs the next open asks for, 1..kMixerOutputPairs (anything else is
  // brought within). An output already playing keeps its pairs until it is opened again; true
  // when that would change them (a JACK client with another number), so the caller may reopen().
  bool setOutputPairs(int pairs) noexcept;
  int requestedOutputPairs() const noexcept { return request_.outputPairs; }

  // Entry 0 is the system default; at most kMaxAudioDevices entries. Nothing when enumeration
  // failed. The device playing now is always listed, also when a fresh look at the system misses
  // it (a card this program holds open is busy to a probe).
  std::optional<AudioDeviceList> ListAudioDevices();

  // 1 when the device plays, 0 after the user has been told why not. Device 0 opens the system
  // default; any other number switches to that entry of the list, releasing and reloading the
  // voices around the change. With `name` (the device's description when it was chosen) the
  // device is found by that name if the number no longer names it; a name no longer listed is
  // "Driver not valid".
  int InitAudioOutput(int device, const std::string& name = {});

  // Closes the output playing and opens the same device again, the voices kept, so a changed
  // request takes effect; the MIDI sources patched into a JACK port stay patched. 1 when it plays,
  // 0 after the user has been told why not (nothing plays then). Without an output, opens the
  // default.
  int reopen();

  bool isOpen() const noexcept { return backend_ != nullptr; }
  // Stops and lets the device go; the voices stay.
  void close() noexcept;
  // Closes the output when its device went away under it (a JACK server that quit, a card
  // unplugged), so the mixer stops waiting for cycles that will never come. Call it now and
  // then; true when it closed the output.
  bool closeIfLost() noexcept;

  AudioBackend* backend() noexcept { return backend_.get(); }
  // The JACK client while the output is JACK, else null.
  JackAudioBackend* jack() noexcept;
  LiveCycle& cycle() noexcept { return cycle_; }
  // The library's own words about the last failure, for the command line.
  const std::string& lastDetail() const noexcept { return detail_; }

 private:
  // Opens and starts `device`; on failure leaves no backend and returns the status.
  OpenStatus openDevice(const AudioDeviceInfo& device);
  void showOpenFailure(OpenStatus status);
  // The keyboards and sequencers patched into the program's JACK MIDI port keep playing when the
  // output moves, which makes the port anew (also after a failed switch fell back to JACK).
  void rememberMidiPatch();
  void restoreMidiPatch();

  DrumEngine& engine_;
  AudioSystem& system_;
  Prompts& prompts_;
  LiveCycle cycle_;
  std::unique_ptr<AudioBackend> backend_;
  std::function<void(bool)> reloadVoices_;
  AudioStreamRequest request_;
  std::string detail_;
  // The list entry playing now; nothing while the output is the system default or closed.
  std::optional<AudioDeviceInfo> inUse_;
  // The kind of device playing now, valid while a backend is open.
  AudioApi playingApi_ = AudioApi::kJack;
  std::vector<std::string> patchedMidi_;
};

}  // namespace zumbel
