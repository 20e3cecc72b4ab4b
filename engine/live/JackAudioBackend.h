#pragma once
// The native JACK client "Zumbel": a stereo pair of audio outputs (or as many pairs as asked, up
// to kMixerOutputPairs, for sounds routed to outputs of their own) and one MIDI input. MIDI events
// are read in the same process callback that renders the period and applied at their own frame,
// so the latency from a JACK MIDI event to its sound is fixed by the graph and never jitters.

#include <array>
#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "AudioBackend.h"
#include "EngineConfig.h"
#include "ShortMessage.h"

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

namespace zumbel {

// One entry per JACK client that has audio inputs (where the program's outputs can go), physical
// playback first: "JACK: system". Nothing when no server runs; never starts a server.
std::vector<AudioDeviceInfo> listJackOutputs();

// The short name of a port of output pair `pair` (0-based): "out_left" and "out_right" for the
// first, as always; "out2_left", "out2_right" ... for the others.
std::string jackOutputPortName(int pair, bool right);

class JackAudioBackend final : public AudioBackend {
 public:
  // `device.module` names the client whose audio inputs get the outputs; empty means the
  // physical playback ports.
  explicit JackAudioBackend(AudioDeviceInfo device);
  ~JackAudioBackend() override;

  OpenStatus open(const AudioStreamRequest& request, std::string& detail) override;
  bool start(LiveCycle& cycle, std::string& detail) override;
  void close() noexcept override;

  int sampleRate() const noexcept override { return rate_.load(std::memory_order_relaxed); }
  int periodFrames() const noexcept override { return period_.load(std::memory_order_relaxed); }
  int outputLatencyFrames() const noexcept override;
  uint64_t xrunCount() const noexcept override { return xruns_.load(std::memory_order_relaxed); }
  bool alive() const noexcept override { return alive_.load(std::memory_order_relaxed); }
  std::string openedName() const override;
  // The stereo pairs registered, valid after a successful open.
  int outputPairs() const noexcept override { return pairs_; }

  // --- MIDI, user-interface thread ---
  // The full name of the program's MIDI input port ("Zumbel:midi_in").
  std::string midiPortName() const;
  // Other clients' MIDI output ports, by full name.
  std::vector<std::string> midiSources() const;
  // Whether the process callback hands the MIDI port's events to the engine.
  void setMidiIntake(bool on) noexcept { midiIntake_.store(on, std::memory_order_release); }
  bool connectMidiSource(const std::string& port);
  // The ports connected to the program's MIDI input now.
  std::vector<std::string> connectedMidiSources() const;
  void disconnectMidiSource(const std::string& port) noexcept;

 private:
  static int process(uint32_t frames, void* self) noexcept;
  static int xrun(void* self) noexcept;
  static int bufferSize(uint32_t frames, void* self) noexcept;
  static void shutdown(void* self) noexcept;

 public:
  // JACK's notifications, called on its notification thread (public so tests can deliver them).
  // A server may switch its rate under a running client (PipeWire does): the playing follows,
  // so no voice changes pitch. One outside what the mixer plays is a lost output.
  static int sampleRateChanged(uint32_t rate, void* self) noexcept;
  static void freewheelChanged(int starting, void* self) noexcept;

 private:
  void connectOutputs();

  AudioDeviceInfo device_;
  jack_client_t* client_ = nullptr;
  // Pair 0 is the main one. Registered before the client is activated and let go only after it
  // is deactivated: the process callback reads them without a lock.
  std::array<jack_port_t*, kMixerOutputPairs> left_{};
  std::array<jack_port_t*, kMixerOutputPairs> right_{};
  int pairs_ = 1;
  jack_port_t* midi_ = nullptr;
  LiveCycle* cycle_ = nullptr;
  std::atomic<int> rate_{0};
  std::atomic<int> period_{0};
  std::atomic<uint64_t> xruns_{0};
  std::atomic<bool> alive_{true};
  std::atomic<bool> midiIntake_{false};
  std::atomic<bool> freewheel_{false};
  // The rate the cycle plays at; only the process callback touches it once started.
  int cycleRate_ = 0;
  bool active_ = false;
  std::vector<std::string> connectedTo_;
  std::array<TimedMessage, kMaxEventsPerCycle> events_{};
};

}  // namespace zumbel
