#pragma once
// One period of live playing, whichever backend asks for it: the MIDI the backend read itself
// (JACK MIDI, already at its frames) is merged with the messages queued by the ALSA sequencer
// thread and by a song being played in (each placed at its arrival time plus one period), and
// the drum engine renders the period
// with each message applied at its frame. Runs on the audio thread: allocates nothing, takes no
// lock, never throws.

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <span>

#include "ArrivalTimeline.h"
#include "EngineConfig.h"
#include "MessageQueue.h"
#include "Mixer.h"
#include "ShortMessage.h"

namespace zumbel {

class DrumEngine;

// How long the audio callback takes, for `zumbel play` and the benchmarks.
struct CycleStats {
  uint64_t cycles = 0;
  uint64_t totalNs = 0;
  uint64_t maxNs = 0;
  // Periods whose callback took more than half the period's length: close to an xrun.
  uint64_t slowCycles = 0;
  // No more than 1 % of the periods took longer (to the microsecond; at most maxNs).
  uint64_t p99Ns = 0;
  double meanUs() const noexcept { return cycles ? static_cast<double>(totalNs) / cycles / 1000.0 : 0.0; }
};

class LiveCycle {
 public:
  explicit LiveCycle(DrumEngine& engine);
  LiveCycle(const LiveCycle&) = delete;
  LiveCycle& operator=(const LiveCycle&) = delete;

  DrumEngine& engine() noexcept { return engine_; }

  // The ALSA sequencer side pushes here (one producer thread).
  MessageQueue& queue() noexcept { return queue_; }
  // A song played in live (`zumbel play --song`) pushes here: a queue of its own, since each
  // queue takes one producer and the song plays alongside the MIDI input.
  MessageQueue& songQueue() noexcept { return songQueue_; }

  // --- user-interface thread, while no backend runs ---
  // The rate and period the next backend plays at; also forgets the clock of the last one.
  // `slackFrames`: how early or late the backend may call a period without a gap in the sound
  // (AudioBackend::wakeSlackFrames).
  void prepare(int sampleRate, int periodFrames, int slackFrames = 0) noexcept;

  // --- any thread ---
  // The device now runs at `sampleRate` (a JACK server can switch under a running client). The
  // next period plays at it: every voice keeps its pitch.
  void followDeviceRate(int sampleRate) noexcept;
  // Whether the server runs the graph with no deadline (JACK's freewheel mode, used for export).
  // Periods then come as fast as they are rendered: none counts as slow, and the arrival times of
  // queued messages say nothing about the stream, so each goes at the next period's first frame.
  void setFreewheel(bool on) noexcept { freewheel_.store(on, std::memory_order_relaxed); }

  // --- audio thread ---
  // `direct` holds messages already placed at their frame in this period, in frame order.
  // `nowNs` is the monotonic time (steadyNowNs) at which the backend was called.
  void run(float* left, float* right, int frames, std::span<const TimedMessage> direct, uint64_t nowNs) noexcept {
    run(OutputPairs::stereo(left, right), frames, direct, nowNs);
  }
  // The same into several stereo pairs (a JACK client with more outputs): each sound plays on
  // the pair it is routed to, or on the first when that pair is not among them.
  void run(const OutputPairs& out, int frames, std::span<const TimedMessage> direct, uint64_t nowNs) noexcept;

  // Any thread.
  CycleStats stats() const noexcept;
  void resetStats() noexcept;

 private:
  // Moves the queued messages due in this period into `merged_` together with `direct`.
  // Queued messages go at frame 0 when `periodStartNs` is empty (freewheeling).
  std::size_t gatherMessages(int frames, std::span<const TimedMessage> direct, std::optional<double> periodStartNs) noexcept;

  DrumEngine& engine_;
  MessageQueue queue_;
  MessageQueue songQueue_;
  ArrivalTimeline timeline_;
  std::array<TimedMessage, kMaxEventsPerCycle> merged_{};
  std::atomic<uint64_t> cycles_{0};
  std::atomic<uint64_t> totalNs_{0};
  std::atomic<uint64_t> maxNs_{0};
  std::atomic<uint64_t> slowCycles_{0};
  std::array<std::atomic<uint32_t>, kCycleTimeBuckets> cycleTimes_{};  // periods by whole microseconds taken
  std::atomic<int> pendingRate_{0};
  std::atomic<bool> freewheel_{false};
  bool wasFreewheeling_ = false;
  int rate_ = kOutputRate;
  int slackFrames_ = 0;
};

// A monotonic clock in nanoseconds, the one every arrival stamp and cycle time uses.
uint64_t steadyNowNs() noexcept;

}  // namespace zumbel
