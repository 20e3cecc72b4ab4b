#include "JackAudioBackend.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <cerrno>
#include <span>

#include "LiveCycle.h"
#include "RealtimeScope.h"

namespace zumbel {

namespace {

// libjack prints to stderr whenever no server answers; the program tells the user itself.
void quiet(const char*) {}

void silenceJack() {
  static const bool once = [] {
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    return true;
  }();
  (void)once;
}

jack_client_t* openClient(const std::string& name, jack_status_t* status) {
  silenceJack();
  jack_status_t ignored;
  return jack_client_open(name.c_str(), JackNoStartServer, status ? status : &ignored);
}

// The ports jack_get_ports finds, copied out and freed.
std::vector<std::string> portList(jack_client_t* client, const char* pattern, const char* type, unsigned long flags) {
  std::vector<std::string> names;
  const char** ports = jack_get_ports(client, pattern, type, flags);
  if (!ports) return names;
  for (const char** p = ports; *p; ++p) names.emplace_back(*p);
  jack_free(ports);
  return names;
}

std::string clientOf(const std::string& port) { return port.substr(0, port.find(':')); }

// jack_get_ports takes a regular expression; a client name is matched literally.
std::string literalPattern(const std::string& text) {
  std::string out = "^";
  for (char c : text) {
    if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) out += '\\';
    out += c;
  }
  return out + ":";
}

bool isShortMessage(const jack_midi_event_t& e) {
  if (e.size < 1 || e.size > 3) return false;
  const int status = e.buffer[0];
  return status >= 0x80 && status != 0xF0 && status != 0xF7;
}

}  // namespace

std::vector<AudioDeviceInfo> listJackOutputs() {
  std::vector<AudioDeviceInfo> devices;
  jack_client_t* client = openClient(std::string(kClientName) + "-probe", nullptr);
  if (!client) return devices;
  const std::vector<std::string> physical =
      portList(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput | JackPortIsPhysical);
  std::vector<std::string> clients;
  for (const std::string& p : physical) clients.push_back(clientOf(p));
  for (const std::string& p : portList(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput)) clients.push_back(clientOf(p));
  for (const std::string& c : clients) {
    if (c.rfind(kClientName, 0) == 0) continue;  // the program itself, or this probe
    const bool seen = std::any_of(devices.begin(), devices.end(), [&](const AudioDeviceInfo& d) { return d.module == c; });
    if (!seen) devices.push_back(AudioDeviceInfo{AudioApi::kJack, "JACK: " + c, c, -1});
  }
  jack_client_close(client);
  return devices;
}

std::string jackOutputPortName(int pair, bool right) {
  if (pair <= 0) return right ? kJackRightPort : kJackLeftPort;
  return kJackPairPortPrefix + std::to_string(pair + 1) + (right ? kJackPairRightEnding : kJackPairLeftEnding);
}

JackAudioBackend::JackAudioBackend(AudioDeviceInfo device) : device_(std::move(device)) {}

JackAudioBackend::~JackAudioBackend() { close(); }

OpenStatus JackAudioBackend::open(const AudioStreamRequest& request, std::string& detail) {
  close();
  jack_status_t status{};
  client_ = openClient(kClientName, &status);
  if (!client_) {
    detail = (status & JackServerFailed) ? "no JACK server is running" : "the JACK server refused a new client";
    return OpenStatus::kNoDevice;
  }
  const int rate = static_cast<int>(jack_get_sample_rate(client_));
  rate_.store(rate, std::memory_order_relaxed);
  period_.store(static_cast<int>(jack_get_buffer_size(client_)), std::memory_order_relaxed);
  if (rate < kMinDeviceRate || rate > kMaxDeviceRate) {
    detail = "the JACK server runs at " + std::to_string(rate) + " Hz, which the mixer cannot play";
    close();
    return OpenStatus::kNoRate;
  }
  pairs_ = std::clamp(request.outputPairs, 1, kMixerOutputPairs);
  bool registered = true;
  for (std::size_t k = 0; k < static_cast<std::size_t>(pairs_); ++k) {
    const int pair = static_cast<int>(k);
    left_[k] = jack_port_register(client_, jackOutputPortName(pair, false).c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    right_[k] = jack_port_register(client_, jackOutputPortName(pair, true).c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    registered = registered && left_[k] && right_[k];
  }
  midi_ = jack_port_register(client_, kJackMidiPort, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  if (!registered || !midi_ || jack_set_process_callback(client_, &JackAudioBackend::process, this) != 0 ||
      jack_set_xrun_callback(client_, &JackAudioBackend::xrun, this) != 0 ||
      jack_set_buffer_size_callback(client_, &JackAudioBackend::bufferSize, this) != 0 ||
      jack_set_sample_rate_callback(client_, &JackAudioBackend::sampleRateChanged, this) != 0 ||
      jack_set_freewheel_callback(client_, &JackAudioBackend::freewheelChanged, this) != 0) {
    detail = "JACK would not register the program's ports";
    close();
    return OpenStatus::kNoStream;
  }
  jack_on_shutdown(client_, &JackAudioBackend::shutdown, this);
  alive_.store(true, std::memory_order_relaxed);
  xruns_.store(0, std::memory_order_relaxed);
  return OpenStatus::kOk;
}

bool JackAudioBackend::start(LiveCycle& cycle, std::string& detail) {
  if (!client_) {
    detail = "not open";
    return false;
  }
  cycle_ = &cycle;
  cycleRate_ = rate_.load(std::memory_order_relaxed);
  if (jack_activate(client_) != 0) {
    detail = "JACK would not activate the client";
    return false;
  }
  active_ = true;
  connectOutputs();
  return true;
}

void JackAudioBackend::connectOutputs() {
  const std::vector<std::string> targets =
      device_.module.empty()
          ? portList(client_, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput | JackPortIsPhysical)
          : portList(client_, literalPattern(device_.module).c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput);
  if (targets.empty()) return;
  // A single playback port (a mono device) gets both sides. Only the main pair is connected: the
  // others are for whoever routes sounds apart, and go where that person patches them.
  const std::string& leftTarget = targets[0];
  const std::string& rightTarget = targets.size() > 1 ? targets[1] : targets[0];
  jack_connect(client_, jack_port_name(left_[0]), leftTarget.c_str());
  jack_connect(client_, jack_port_name(right_[0]), rightTarget.c_str());
  connectedTo_ = {leftTarget, rightTarget};
}

void JackAudioBackend::close() noexcept {
  if (!client_) return;
  // Once jack_deactivate returns, the process callback never runs again.
  if (active_) jack_deactivate(client_);
  active_ = false;
  midiIntake_.store(false, std::memory_order_relaxed);
  jack_client_close(client_);
  client_ = nullptr;
  left_.fill(nullptr);
  right_.fill(nullptr);
  midi_ = nullptr;
  pairs_ = 1;
  cycle_ = nullptr;
  connectedTo_.clear();
}

int JackAudioBackend::outputLatencyFrames() const noexcept {
  if (!client_ || !left_[0]) return 0;
  jack_latency_range_t range{};
  jack_port_get_latency_range(left_[0], JackPlaybackLatency, &range);
  return range.max > 0 ? static_cast<int>(range.max) : periodFrames();
}

std::string JackAudioBackend::openedName() const {
  std::string name = device_.module.empty() ? "JACK" : device_.description;
  if (!connectedTo_.empty()) name += " (" + connectedTo_[0] + ", " + connectedTo_[1] + ")";
  if (pairs_ > 1) name += " with " + std::to_string(pairs_) + " output pairs";
  return name;
}

std::string JackAudioBackend::midiPortName() const {
  return midi_ ? jack_port_name(midi_) : std::string(kClientName) + ":" + kJackMidiPort;
}

std::vector<std::string> JackAudioBackend::midiSources() const {
  if (!client_) return {};
  return portList(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput);
}

bool JackAudioBackend::connectMidiSource(const std::string& port) {
  if (!client_ || !midi_) return false;
  const int rc = jack_connect(client_, port.c_str(), jack_port_name(midi_));
  return rc == 0 || rc == EEXIST;
}

std::vector<std::string> JackAudioBackend::connectedMidiSources() const {
  std::vector<std::string> ports;
  if (!client_ || !midi_) return ports;
  if (const char** connected = jack_port_get_connections(midi_)) {
    for (const char** p = connected; *p; ++p) ports.emplace_back(*p);
    jack_free(static_cast<void*>(connected));
  }
  return ports;
}

void JackAudioBackend::disconnectMidiSource(const std::string& port) noexcept {
  if (client_ && midi_) jack_disconnect(client_, port.c_str(), jack_port_name(midi_));
}

int JackAudioBackend::process(uint32_t frames, void* arg) noexcept {
  const RealtimeScope realtime;
  auto* self = static_cast<JackAudioBackend*>(arg);
  const uint64_t now = steadyNowNs();
  OutputPairs out;
  out.count = self->pairs_;
  for (std::size_t k = 0; k < static_cast<std::size_t>(out.count); ++k) {
    out.left[k] = static_cast<float*>(jack_port_get_buffer(self->left_[k], frames));
    out.right[k] = static_cast<float*>(jack_port_get_buffer(self->right_[k], frames));
  }
  if (!self->cycle_) {
    for (std::size_t k = 0; k < static_cast<std::size_t>(out.count); ++k) {
      std::fill_n(out.left[k], frames, 0.0f);
      std::fill_n(out.right[k], frames, 0.0f);
    }
    return 0;
  }
  // What the notification thread learnt reaches the cycle here, on the thread that plays.
  const int rate = self->rate_.load(std::memory_order_relaxed);
  if (rate != self->cycleRate_) {
    self->cycleRate_ = rate;
    self->cycle_->followDeviceRate(rate);
  }
  self->cycle_->setFreewheel(self->freewheel_.load(std::memory_order_relaxed));
  std::size_t count = 0;
  if (self->midiIntake_.load(std::memory_order_acquire)) {
    void* buffer = jack_port_get_buffer(self->midi_, frames);
    const uint32_t events = jack_midi_get_event_count(buffer);
    for (uint32_t i = 0; i < events && count < self->events_.size(); ++i) {
      jack_midi_event_t e;
      if (jack_midi_event_get(&e, buffer, i) != 0 || !isShortMessage(e)) continue;
      const int d1 = e.size > 1 ? e.buffer[1] : 0;
      const int d2 = e.size > 2 ? e.buffer[2] : 0;
      self->events_[count++] = TimedMessage{e.time, packShortMessage(e.buffer[0], d1, d2)};
    }
  }
  self->cycle_->run(out, static_cast<int>(frames), std::span<const TimedMessage>(self->events_.data(), count), now);
  return 0;
}

int JackAudioBackend::xrun(void* arg) noexcept {
  static_cast<JackAudioBackend*>(arg)->xruns_.fetch_add(1, std::memory_order_relaxed);
  return 0;
}

int JackAudioBackend::bufferSize(uint32_t frames, void* arg) noexcept {
  static_cast<JackAudioBackend*>(arg)->period_.store(static_cast<int>(frames), std::memory_order_relaxed);
  return 0;
}

int JackAudioBackend::sampleRateChanged(uint32_t rate, void* arg) noexcept {
  auto* self = static_cast<JackAudioBackend*>(arg);
  const int r = static_cast<int>(rate);
  if (r < kMinDeviceRate || r > kMaxDeviceRate) {
    self->alive_.store(false, std::memory_order_relaxed);
    return 0;
  }
  self->rate_.store(r, std::memory_order_relaxed);
  return 0;
}

void JackAudioBackend::freewheelChanged(int starting, void* arg) noexcept {
  static_cast<JackAudioBackend*>(arg)->freewheel_.store(starting != 0, std::memory_order_relaxed);
}

void JackAudioBackend::shutdown(void* arg) noexcept {
  static_cast<JackAudioBackend*>(arg)->alive_.store(false, std::memory_order_relaxed);
}

}  // namespace zumbel
