#pragma once
// A standard MIDI file played in live, as if its notes came from a MIDI input: each channel
// message is stamped with the moment it falls due (the song's start plus its time in the song)
// and pushed into the live cycle's song queue, which the audio thread places one period after
// that stamp, exactly as it places what the ALSA sequencer delivers. The messages are pushed a
// little ahead of their stamps on a thread of their own, so a late wake-up of that thread moves
// no note; the stamp alone decides where a note sounds.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "MessageQueue.h"

namespace zumbel {

struct MidiSong;

class SongInput {
 public:
  // How long before its stamp a message is pushed.
  static constexpr std::chrono::milliseconds kLead{50};

  explicit SongInput(MessageQueue& queue) : queue_(queue) {}
  ~SongInput() { stop(); }
  SongInput(const SongInput&) = delete;
  SongInput& operator=(const SongInput&) = delete;

  // Starts playing `song` in, its time 0 at `startNs` (steadyNowNs's clock); a song already
  // playing is stopped first. Everything the thread pushes is prepared here, so pushing
  // allocates nothing.
  void start(const MidiSong& song, uint64_t startNs);
  // Stops the thread; messages not yet pushed are dropped. Idempotent.
  void stop() noexcept;
  // Every message has been pushed.
  bool finished() const noexcept { return finished_.load(std::memory_order_acquire); }
  // When the song ends on steadyNowNs's clock: its start plus its length (the later of its last
  // event and its end-of-track marks).
  uint64_t endNs() const noexcept { return endNs_; }

  // A song time (in 1 / timeUnitsPerSecond seconds) in nanoseconds, rounded to the nearest.
  static uint64_t songTimeNs(uint64_t time, uint64_t timeUnitsPerSecond) noexcept;

 private:
  void run() noexcept;

  MessageQueue& queue_;
  std::vector<StampedMessage> messages_;
  uint64_t endNs_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;  // guarded by mutex_
  std::atomic<bool> finished_{false};
};

}  // namespace zumbel
