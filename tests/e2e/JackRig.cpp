#include "JackRig.h"

#include <jack/midiport.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <thread>

namespace zumbel::test {

namespace {

constexpr const char* kSenderName = "zumbel-rig-send";
constexpr const char* kRecorderName = "zumbel-rig-rec";
constexpr auto kPoll = std::chrono::milliseconds(2);
// A handshake with the process callback waits this long: hundreds of periods at any size, and
// still a few on a loaded machine where a freewheeling server has no real-time priority.
constexpr auto kHandshakeTimeout = std::chrono::seconds(10);

jack_client_t* openClient(const char* name, const std::string& server, std::string& error) {
  jack_status_t status{};
  jack_client_t* client =
      jack_client_open(name, static_cast<jack_options_t>(JackNoStartServer | JackServerName | JackUseExactName), &status,
                       server.c_str());
  if (!client) error = std::string("JACK server '") + server + "' refused client " + name + " (status " +
                       std::to_string(static_cast<int>(status)) + ")";
  return client;
}

template <typename Done>
bool pollUntil(Done done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPoll);
  }
  return true;
}

}  // namespace

JackRig::JackRig(std::string serverName, std::size_t recordCapacityFrames)
    : server_(std::move(serverName)), left_(recordCapacityFrames), right_(recordCapacityFrames) {}

JackRig::~JackRig() { close(); }

bool JackRig::open(std::string& error) {
  close();
  sender_ = openClient(kSenderName, server_, error);
  if (!sender_) return false;
  recorder_ = openClient(kRecorderName, server_, error);
  if (!recorder_) {
    close();
    return false;
  }
  midiOut_ = jack_port_register(sender_, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  inLeft_ = jack_port_register(recorder_, "in_left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  inRight_ = jack_port_register(recorder_, "in_right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  const bool ok = midiOut_ && inLeft_ && inRight_ && jack_set_process_callback(sender_, &JackRig::processSender, this) == 0 &&
                  jack_set_process_callback(recorder_, &JackRig::processRecorder, this) == 0 &&
                  jack_set_xrun_callback(recorder_, &JackRig::xrun, this) == 0 &&
                  jack_set_freewheel_callback(recorder_, &JackRig::freewheel, this) == 0 && jack_activate(sender_) == 0 &&
                  jack_activate(recorder_) == 0;
  if (!ok) {
    error = "JACK would not register or activate the rig's ports";
    close();
    return false;
  }
  return true;
}

void JackRig::close() noexcept {
  // The server would stay in freewheel mode after the client that asked for it has gone.
  if (sender_ && freewheel_.load(std::memory_order_acquire)) jack_set_freewheel(sender_, 0);
  freewheel_.store(false, std::memory_order_release);
  // jack_client_close deactivates first: once it returns the callback never runs again.
  if (sender_) jack_client_close(sender_);
  if (recorder_) jack_client_close(recorder_);
  sender_ = recorder_ = nullptr;
  midiOut_ = inLeft_ = inRight_ = nullptr;
}

bool JackRig::waitForPorts(const std::vector<std::string>& ports, std::chrono::milliseconds timeout) const {
  if (!recorder_) return false;
  return pollUntil(
      [&] {
        return std::all_of(ports.begin(), ports.end(),
                           [&](const std::string& p) { return jack_port_by_name(recorder_, p.c_str()) != nullptr; });
      },
      timeout);
}

bool JackRig::connect(const std::string& midiInput, const std::string& leftOutput, const std::string& rightOutput,
                      std::string& error) {
  return connect(midiInput, std::vector<std::string>{leftOutput}, std::vector<std::string>{rightOutput}, error);
}

bool JackRig::connect(const std::string& midiInput, const std::vector<std::string>& intoLeft,
                      const std::vector<std::string>& intoRight, std::string& error) {
  const auto link = [&](jack_client_t* client, const std::string& from, const std::string& to) {
    const int rc = jack_connect(client, from.c_str(), to.c_str());
    if (rc != 0 && rc != EEXIST) {
      error = "cannot connect " + from + " to " + to;
      return false;
    }
    return true;
  };
  if (!sender_ || !recorder_ || !link(sender_, jack_port_name(midiOut_), midiInput)) return false;
  for (const std::string& output : intoLeft) {
    if (!link(recorder_, output, jack_port_name(inLeft_))) return false;
  }
  for (const std::string& output : intoRight) {
    if (!link(recorder_, output, jack_port_name(inRight_))) return false;
  }
  return true;
}

int JackRig::sampleRate() const noexcept { return sender_ ? static_cast<int>(jack_get_sample_rate(sender_)) : 0; }
int JackRig::periodFrames() const noexcept { return sender_ ? static_cast<int>(jack_get_buffer_size(sender_)) : 0; }
jack_nframes_t JackRig::frameTime() const noexcept { return sender_ ? jack_frame_time(sender_) : 0; }

bool JackRig::setFreewheel(bool on, std::chrono::milliseconds timeout) {
  if (!sender_ || jack_set_freewheel(sender_, on ? 1 : 0) != 0) return false;
  return pollUntil([&] { return freewheeling() == on; }, timeout);
}

bool JackRig::arm(std::vector<ScheduledMessage> schedule, jack_nframes_t leadFrames, bool relative) {
  const int state = sendState_.load(std::memory_order_acquire);
  if (state != kIdle && state != kDone) return false;
  schedule_ = std::move(schedule);
  lead_ = leadFrames;
  relative_ = relative;
  late_.store(0, std::memory_order_relaxed);
  dropped_.store(0, std::memory_order_relaxed);
  sendState_.store(kArmed, std::memory_order_release);
  return true;
}

bool JackRig::send(std::vector<ScheduledMessage> schedule) { return arm(std::move(schedule), 0, false); }

std::optional<JackRig::TakeStart> JackRig::startTake(std::vector<ScheduledMessage> schedule, jack_nframes_t leadFrames) {
  const int state = recordState_.load(std::memory_order_acquire);
  if (state != kIdle && state != kDone) return std::nullopt;
  written_.store(0, std::memory_order_relaxed);
  gaps_.store(0, std::memory_order_relaxed);
  recordWithTake_.store(true, std::memory_order_relaxed);
  // The sender is armed before the recorder, so a recorder that sees itself armed finds the
  // sender of this take, never the state of the last one.
  if (!arm(std::move(schedule), leadFrames, true)) return std::nullopt;
  recordState_.store(kArmed, std::memory_order_release);
  if (!pollUntil([&] { return recordState_.load(std::memory_order_acquire) != kArmed; }, kHandshakeTimeout)) {
    return std::nullopt;
  }
  return TakeStart{firstFrame_.load(std::memory_order_acquire), origin_.load(std::memory_order_acquire)};
}

bool JackRig::sendDone() const noexcept { return sendState_.load(std::memory_order_acquire) == kDone; }

bool JackRig::waitSendDone(std::chrono::milliseconds timeout) const {
  return pollUntil([&] { return sendDone(); }, timeout);
}

std::optional<jack_nframes_t> JackRig::startRecording() {
  const int state = recordState_.load(std::memory_order_acquire);
  if (state != kIdle && state != kDone) return std::nullopt;
  written_.store(0, std::memory_order_relaxed);
  gaps_.store(0, std::memory_order_relaxed);
  recordWithTake_.store(false, std::memory_order_relaxed);
  recordState_.store(kArmed, std::memory_order_release);
  if (!pollUntil([&] { return recordState_.load(std::memory_order_acquire) != kArmed; }, kHandshakeTimeout)) {
    return std::nullopt;
  }
  return firstFrame_.load(std::memory_order_acquire);
}

bool JackRig::waitRecorded(std::size_t frames, std::chrono::milliseconds stall) const {
  const std::size_t target = std::min(frames, left_.size());
  for (std::size_t before = recordedFrames(); before < target;) {
    if (!pollUntil([&] { return recordedFrames() != before; }, stall)) return false;
    before = recordedFrames();
  }
  return true;
}

Recording JackRig::stopRecording() {
  int running = kRunning;
  if (recordState_.compare_exchange_strong(running, kStopping, std::memory_order_acq_rel)) {
    // A server that died leaves the state at kStopping; then no callback runs any more either.
    pollUntil([&] { return recordState_.load(std::memory_order_acquire) == kDone; }, kHandshakeTimeout);
  }
  Recording r;
  r.firstFrame = firstFrame_.load(std::memory_order_acquire);
  const std::size_t n = recordedFrames();
  r.left.assign(left_.begin(), left_.begin() + static_cast<std::ptrdiff_t>(n));
  r.right.assign(right_.begin(), right_.begin() + static_cast<std::ptrdiff_t>(n));
  recordState_.store(kIdle, std::memory_order_release);
  return r;
}

std::optional<jack_latency_range_t> JackRig::latencyRange(const std::string& port, jack_latency_callback_mode_t mode) const {
  if (!recorder_) return std::nullopt;
  jack_port_t* p = jack_port_by_name(recorder_, port.c_str());
  if (!p) return std::nullopt;
  jack_latency_range_t range{};
  jack_port_get_latency_range(p, mode, &range);
  return range;
}

int JackRig::processSender(jack_nframes_t frames, void* arg) noexcept {
  auto* self = static_cast<JackRig*>(arg);
  void* buffer = jack_port_get_buffer(self->midiOut_, frames);
  jack_midi_clear_buffer(buffer);
  const jack_nframes_t cycleStart = jack_last_frame_time(self->sender_);
  int state = self->sendState_.load(std::memory_order_acquire);
  if (state == kArmed) {
    self->cursor_ = 0;
    self->origin_.store(self->relative_ ? cycleStart + self->lead_ : 0, std::memory_order_relaxed);
    state = kRunning;
    self->sendState_.store(kRunning, std::memory_order_release);
  }
  if (state != kRunning) return 0;
  const jack_nframes_t origin = self->origin_.load(std::memory_order_relaxed);
  const auto& schedule = self->schedule_;
  while (self->cursor_ < schedule.size()) {
    const ScheduledMessage& m = schedule[self->cursor_];
    // Signed, so a frame just before the cycle (late) and the counter wrapping both come out right.
    int64_t offset = static_cast<int32_t>(m.frame + origin - cycleStart);
    if (offset >= static_cast<int64_t>(frames)) break;
    if (offset < 0) {
      self->late_.fetch_add(1, std::memory_order_relaxed);
      offset = 0;
    }
    if (jack_midi_event_write(buffer, static_cast<jack_nframes_t>(offset), m.bytes.data(), m.size) != 0) {
      self->dropped_.fetch_add(1, std::memory_order_relaxed);
    }
    ++self->cursor_;
  }
  if (self->cursor_ == schedule.size()) self->sendState_.store(kDone, std::memory_order_release);
  return 0;
}

int JackRig::processRecorder(jack_nframes_t frames, void* arg) noexcept {
  auto* self = static_cast<JackRig*>(arg);
  const jack_nframes_t cycleStart = jack_last_frame_time(self->recorder_);
  int state = self->recordState_.load(std::memory_order_acquire);
  if (state == kStopping) {
    self->recordState_.store(kDone, std::memory_order_release);
    return 0;
  }
  if (state == kArmed && self->recordWithTake_.load(std::memory_order_relaxed)) {
    // A take starts in the sender's first cycle; the sender runs before the recorder in each.
    const int sending = self->sendState_.load(std::memory_order_acquire);
    if (sending != kRunning && sending != kDone) return 0;
  }
  if (state == kArmed) {
    self->nextFrame_ = cycleStart;
    self->firstFrame_.store(cycleStart, std::memory_order_relaxed);
    state = kRunning;
    self->recordState_.store(kRunning, std::memory_order_release);
  }
  if (state != kRunning) return 0;
  std::size_t done = self->written_.load(std::memory_order_relaxed);
  if (cycleStart != self->nextFrame_) {
    // The server skipped periods (an xrun). Silence stands in for them, so frame i of the
    // recording stays absolute frame firstFrame + i.
    self->gaps_.fetch_add(1, std::memory_order_relaxed);
    const auto skipped = static_cast<int32_t>(cycleStart - self->nextFrame_);
    const std::size_t pad = skipped > 0 ? std::min<std::size_t>(static_cast<std::size_t>(skipped), self->left_.size() - done) : 0;
    std::fill_n(self->left_.data() + done, pad, 0.0f);
    std::fill_n(self->right_.data() + done, pad, 0.0f);
    done += pad;
  }
  self->nextFrame_ = cycleStart + frames;
  const std::size_t n = std::min<std::size_t>(frames, self->left_.size() - done);
  const auto* left = static_cast<const float*>(jack_port_get_buffer(self->inLeft_, frames));
  const auto* right = static_cast<const float*>(jack_port_get_buffer(self->inRight_, frames));
  std::memcpy(self->left_.data() + done, left, n * sizeof(float));
  std::memcpy(self->right_.data() + done, right, n * sizeof(float));
  self->written_.store(done + n, std::memory_order_release);
  return 0;
}

int JackRig::xrun(void* arg) noexcept {
  static_cast<JackRig*>(arg)->xruns_.fetch_add(1, std::memory_order_relaxed);
  return 0;
}

void JackRig::freewheel(int starting, void* arg) noexcept {
  static_cast<JackRig*>(arg)->freewheel_.store(starting != 0, std::memory_order_release);
}

std::optional<jack_nframes_t> findOnset(const Recording& recording, jack_nframes_t frame, jack_nframes_t margin,
                                        jack_nframes_t searchFrames, float threshold) {
  const auto loud = [&](jack_nframes_t at) {
    const std::size_t i = recording.indexOf(at);
    return std::fabs(recording.left[i]) > threshold || std::fabs(recording.right[i]) > threshold;
  };
  const jack_nframes_t first = frame - margin;
  if (!recording.holds(first) || loud(first)) return std::nullopt;
  for (jack_nframes_t at = first + 1; at != frame + searchFrames && recording.holds(at); ++at) {
    if (loud(at)) return at;
  }
  return std::nullopt;
}

}  // namespace zumbel::test
