#pragma once
// Plays MIDI into a JACK client and records what it plays back, frame-exactly: a sender client
// with one MIDI output writes each scheduled message at its absolute frame, and a recorder client
// with two audio inputs keeps every frame together with the absolute frame of the first. They are
// two clients so the graph runs sender -> program -> recorder with no loop, and a note's sound
// reaches the recorder a constant number of frames after the note was sent.

#include <jack/jack.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zumbel::test {

// A short MIDI message due at an absolute JACK frame (jack_last_frame_time's count).
struct ScheduledMessage {
  jack_nframes_t frame = 0;
  std::array<uint8_t, 3> bytes{};
  uint8_t size = 3;
};

inline ScheduledMessage noteOn(jack_nframes_t frame, int note, int velocity, int channel = 1) {
  return {frame, {static_cast<uint8_t>(0x90 | (channel - 1)), static_cast<uint8_t>(note), static_cast<uint8_t>(velocity)}, 3};
}

// Frames recorded from both inputs; frame i was played at absolute frame firstFrame + i.
struct Recording {
  jack_nframes_t firstFrame = 0;
  std::vector<float> left;
  std::vector<float> right;
  std::size_t frames() const noexcept { return left.size(); }
  // Whether absolute frame `frame` lies in the recording.
  bool holds(jack_nframes_t frame) const noexcept { return frame - firstFrame < frames(); }
  std::size_t indexOf(jack_nframes_t frame) const noexcept { return frame - firstFrame; }
};

class JackRig {
 public:
  // `recordCapacityFrames` is allocated once, up front: the process callback never allocates.
  JackRig(std::string serverName, std::size_t recordCapacityFrames);
  ~JackRig();
  JackRig(const JackRig&) = delete;
  JackRig& operator=(const JackRig&) = delete;

  // Opens and activates both clients. False with `error` when the server refused them.
  bool open(std::string& error);
  void close() noexcept;

  // Polls until every port exists, up to `timeout`.
  bool waitForPorts(const std::vector<std::string>& ports, std::chrono::milliseconds timeout) const;
  // Connects the sender to `midiInput` and `outputs` (left, right) to the recorder.
  bool connect(const std::string& midiInput, const std::string& leftOutput, const std::string& rightOutput,
               std::string& error);

  int sampleRate() const noexcept;
  int periodFrames() const noexcept;
  // The current frame, as the server estimates it between cycles.
  jack_nframes_t frameTime() const noexcept;

  // Starts sending `schedule` (sorted by frame). Only while the last schedule is done or none
  // was given; false otherwise. Messages whose frame has passed when their cycle comes are sent
  // at that cycle's first frame and counted as late.
  bool send(std::vector<ScheduledMessage> schedule);
  bool sendDone() const noexcept;
  bool waitSendDone(std::chrono::milliseconds timeout) const;
  // Of the schedule last given to send().
  uint64_t lateMessages() const noexcept { return late_.load(std::memory_order_relaxed); }
  // Of the schedule last given to send(): messages the port's buffer had no room for.
  uint64_t droppedMessages() const noexcept { return dropped_.load(std::memory_order_relaxed); }

  // Records from the next cycle on, until stopped or the capacity is full. Waits for that first
  // cycle and returns its frame; nothing when no cycle came within a second.
  std::optional<jack_nframes_t> startRecording();
  std::size_t recordedFrames() const noexcept { return written_.load(std::memory_order_acquire); }
  // Waits until `frames` frames are recorded (or the capacity is full).
  bool waitRecorded(std::size_t frames, std::chrono::milliseconds timeout) const;
  // Stops recording and hands the frames over.
  Recording stopRecording();
  // Cycles during recording whose first frame did not follow the last one's end: the server
  // skipped periods. The recording holds silence for the frames no cycle brought.
  uint64_t recordGaps() const noexcept { return gaps_.load(std::memory_order_relaxed); }

  // Xruns the server reported since open. The server tells every client of each one, so one
  // client counts them.
  uint64_t xruns() const noexcept { return xruns_.load(std::memory_order_relaxed); }
  // What JACK reports for any port on the graph, e.g. "Zumbel:out_left".
  std::optional<jack_latency_range_t> latencyRange(const std::string& port, jack_latency_callback_mode_t mode) const;

 private:
  enum State : int { kIdle, kArmed, kRunning, kStopping, kDone };

  static int processSender(jack_nframes_t frames, void* self) noexcept;
  static int processRecorder(jack_nframes_t frames, void* self) noexcept;
  static int xrun(void* self) noexcept;

  std::string server_;
  jack_client_t* sender_ = nullptr;
  jack_client_t* recorder_ = nullptr;
  jack_port_t* midiOut_ = nullptr;
  jack_port_t* inLeft_ = nullptr;
  jack_port_t* inRight_ = nullptr;

  // Sender: the schedule belongs to the callback while the state is kRunning.
  std::vector<ScheduledMessage> schedule_;
  std::size_t cursor_ = 0;
  std::atomic<int> sendState_{kIdle};
  std::atomic<uint64_t> late_{0};
  std::atomic<uint64_t> dropped_{0};

  // Recorder: frames below written_ are final and may be read by any thread.
  std::vector<float> left_;
  std::vector<float> right_;
  std::atomic<int> recordState_{kIdle};
  std::atomic<std::size_t> written_{0};
  std::atomic<jack_nframes_t> firstFrame_{0};
  jack_nframes_t nextFrame_ = 0;
  std::atomic<uint64_t> gaps_{0};

  std::atomic<uint64_t> xruns_{0};
};

// Onset detection on a recording. The sound of a note sent at `frame` must start from silence:
// the frame at `frame - margin` (margin at least 1) must be silent, and the frames after it are
// searched for the first whose left or right sample exceeds `threshold` in magnitude, up to
// `searchFrames` past `frame`. Nothing when no such frame comes, or when that first frame is
// already loud (the note did not start after silence).
std::optional<jack_nframes_t> findOnset(const Recording& recording, jack_nframes_t frame, jack_nframes_t margin,
                                        jack_nframes_t searchFrames, float threshold);

}  // namespace zumbel::test
