#pragma once
// A scripted machine for the audio output: devices that open, fail or vanish as a test says, and
// a log of what was opened and closed in which order.

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "AudioSystem.h"
#include "Mixer.h"

namespace zumbel::test {

// What the scripted machine does when a device is opened, and what happened to it.
struct Script {
  OpenStatus status = OpenStatus::kOk;
  bool startFails = false;
  int rate = 44100;
  bool alive = true;
  int opened = 0;
  // The output pairs the last open asked for.
  int outputPairs = 0;
  int started = 0;
  int closed = 0;
  // Whether the mixer counted on an audio thread when the backend started and when it closed:
  // it must from before the first cycle until after the last.
  bool runningAtStart = false;
  bool runningAtClose = false;
};

class ScriptedBackend final : public AudioBackend {
 public:
  ScriptedBackend(Script& script, std::vector<std::string>& log, std::string name, const Mixer& mixer)
      : script_(script), log_(log), name_(std::move(name)), mixer_(mixer) {}
  ~ScriptedBackend() override { close(); }
  OpenStatus open(const AudioStreamRequest& request, std::string& detail) override {
    ++script_.opened;
    script_.outputPairs = request.outputPairs;
    log_.push_back("open " + name_);
    if (script_.status != OpenStatus::kOk) detail = "scripted failure";
    return script_.status;
  }
  bool start(LiveCycle&, std::string& detail) override {
    if (script_.startFails) {
      detail = "scripted start failure";
      return false;
    }
    ++script_.started;
    script_.runningAtStart = mixer_.running();
    running_ = true;
    return true;
  }
  void close() noexcept override {
    if (!running_) return;
    running_ = false;
    ++script_.closed;
    script_.runningAtClose = mixer_.running();
    log_.push_back("close " + name_);
  }
  int sampleRate() const noexcept override { return script_.rate; }
  int periodFrames() const noexcept override { return 128; }
  int outputLatencyFrames() const noexcept override { return 256; }
  uint64_t xrunCount() const noexcept override { return 0; }
  bool alive() const noexcept override { return script_.alive; }
  std::string openedName() const override { return name_; }
  // Every scripted device plays the pairs it was asked for, as JACK does.
  int outputPairs() const noexcept override { return script_.outputPairs; }

 private:
  Script& script_;
  std::vector<std::string>& log_;
  std::string name_;
  const Mixer& mixer_;
  bool running_ = false;
};

class ScriptedSystem final : public AudioSystem {
 public:
  std::vector<AudioDeviceInfo> defaultCandidates() override {
    return {{AudioApi::kJack, "JACK", "", -1}, {AudioApi::kAlsa, "ALSA: default", "", -1}};
  }
  std::optional<std::vector<AudioDeviceInfo>> listDevices() override {
    if (listFails) return std::nullopt;
    std::vector<AudioDeviceInfo> list;
    for (int i = 0; i < listed; ++i) {
      const std::string name = i < static_cast<int>(cards.size()) ? cards[static_cast<std::size_t>(i)] : "Card " + std::to_string(i);
      if (std::find(busy.begin(), busy.end(), name) != busy.end()) continue;
      list.push_back({AudioApi::kAlsa, "ALSA: " + name, "hw:" + name, i});
    }
    return list;
  }
  std::unique_ptr<AudioBackend> createBackend(const AudioDeviceInfo& device) override {
    return std::make_unique<ScriptedBackend>(scripts[device.description], log, device.description, *mixer);
  }

  const Mixer* mixer = nullptr;
  std::map<std::string, Script> scripts;
  std::vector<std::string> log;
  int listed = 3;
  // Card names by index ("Card <i>" past the end), and the ones a probe misses as busy.
  std::vector<std::string> cards;
  std::vector<std::string> busy;
  bool listFails = false;
};

}  // namespace zumbel::test
