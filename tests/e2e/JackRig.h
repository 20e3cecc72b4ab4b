#pragma once
// Plays MIDI into a JACK client and records what it plays back, frame-exactly: a sender client
// with one MIDI output writes each scheduled message at its absolute frame, and a recorder client
// with two audio inputs keeps every frame together with the absolute frame of the first. They are
// two clients so the graph runs sender -> program -> recorder with no loop, and a note's sound
// reaches the recorder a constant number of frames after the note was sent.
//
// A take can run with the server in freewheel mode: the server then runs each cycle of the graph
// as soon as the last one has finished, with no deadline, so nothing is ever late and a take is
// exact however busy the machine is. Tests of exact frames and exact sound use that; only a test
// of keeping up in real time runs against the clock.

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
  // The same with any number of outputs into each input: JACK sums the ports connected to one
  // input, so one recording can tell whether several ports were silent.
  bool connect(const std::string& midiInput, const std::vector<std::string>& intoLeft,
               const std::vector<std::string>& intoRight, std::string& error);

  int sampleRate() const noexcept;
  int periodFrames() const noexcept;
  // The current frame, as the server estimates it between cycles.
  jack_nframes_t frameTime() const noexcept;

  // Turns the server's freewheel mode on or off and waits until the rig has been told. Connections
  // made while freewheeling are lost when it ends (the server restores the graph it saved), so
  // connect first.
  bool setFreewheel(bool on, std::chrono::milliseconds timeout = std::chrono::seconds(5));
  bool freewheeling() const noexcept { return freewheel_.load(std::memory_order_acquire); }

  // Starts sending `schedule` (sorted by frame). Only while the last schedule is done or none
  // was given; false otherwise. Messages whose frame has passed when their cycle comes are sent
  // at that cycle's first frame and counted as late.
  bool send(std::vector<ScheduledMessage> schedule);

  // Where a take began: the recording's first frame, and the frame its schedule counts from.
  struct TakeStart {
    jack_nframes_t firstFrame = 0;
    jack_nframes_t origin = 0;
  };
  // Starts a take: `schedule` counts its frames from an origin `leadFrames` after the first cycle
  // the sender runs in, and the recorder starts in that same cycle. Fixing both in the process
  // callbacks, not here, keeps a freewheeling server (thousands of cycles a second) from running
  // past the lead before the sender has its schedule. Waits for that cycle.
  std::optional<TakeStart> startTake(std::vector<ScheduledMessage> schedule, jack_nframes_t leadFrames);
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
  // Waits until `frames` frames are recorded (or the capacity is full). Gives up only once no
  // frame has come for `stall`: a freewheeling server on a loaded machine runs its cycles without
  // real-time priority, slower than the clock but steadily.
  bool waitRecorded(std::size_t frames, std::chrono::milliseconds stall) const;
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
  static void freewheel(int starting, void* self) noexcept;
  bool arm(std::vector<ScheduledMessage> schedule, jack_nframes_t leadFrames, bool relative);

  std::string server_;
  jack_client_t* sender_ = nullptr;
  jack_client_t* recorder_ = nullptr;
  jack_port_t* midiOut_ = nullptr;
  jack_port_t* inLeft_ = nullptr;
  jack_port_t* inRight_ = nullptr;

  // Sender: the schedule belongs to the callback while the state is kRunning.
  std::vector<ScheduledMessage> schedule_;
  std::size_t cursor_ = 0;
  // Added to every scheduled frame: 0 for send(), the take's origin for startTake().
  std::atomic<jack_nframes_t> origin_{0};
  jack_nframes_t lead_ = 0;
  bool relative_ = false;
  std::atomic<int> sendState_{kIdle};
  std::atomic<uint64_t> late_{0};
  std::atomic<uint64_t> dropped_{0};

  // Recorder: frames below written_ are final and may be read by any thread.
  std::vector<float> left_;
  std::vector<float> right_;
  std::atomic<int> recordState_{kIdle};
  // The recorder waits for the sender's first cycle of the take before it starts.
  std::atomic<bool> recordWithTake_{false};
  std::atomic<std::size_t> written_{0};
  std::atomic<jack_nframes_t> firstFrame_{0};
  jack_nframes_t nextFrame_ = 0;
  std::atomic<uint64_t> gaps_{0};

  std::atomic<uint64_t> xruns_{0};
  std::atomic<bool> freewheel_{false};
};

// Onset detection on a recording. The sound of a note sent at `frame` must start from silence:
// the frame at `frame - margin` (margin at least 1) must be silent, and the frames after it are
// searched for the first whose left or right sample exceeds `threshold` in magnitude, up to
// `searchFrames` past `frame`. Nothing when no such frame comes, or when that first frame is
// already loud (the note did not start after silence).
std::optional<jack_nframes_t> findOnset(const Recording& recording, jack_nframes_t frame, jack_nframes_t margin,
                                        jack_nframes_t searchFrames, float threshold);

}  // namespace zumbel::test
