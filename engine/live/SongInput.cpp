#include "SongInput.h"

#include "MidiFile.h"

namespace zumbel {

namespace {

// steadyNowNs's clock, as the condition variable waits on it.
std::chrono::steady_clock::time_point atNs(uint64_t ns) {
  return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(static_cast<int64_t>(ns)));
}

}  // namespace

uint64_t SongInput::songTimeNs(uint64_t time, uint64_t timeUnitsPerSecond) noexcept {
  if (timeUnitsPerSecond == 0) return 0;
  const unsigned __int128 ns = (static_cast<unsigned __int128>(time) * 1'000'000'000u + timeUnitsPerSecond / 2) / timeUnitsPerSecond;
  return ns > UINT64_MAX / 2 ? UINT64_MAX / 2 : static_cast<uint64_t>(ns);
}

void SongInput::start(const MidiSong& song, uint64_t startNs) {
  stop();
  messages_.clear();
  messages_.reserve(song.events.size());
  for (const MidiFileEvent& e : song.events) {
    messages_.push_back(StampedMessage{startNs + songTimeNs(e.time, song.timeUnitsPerSecond), e.message});
  }
  endNs_ = startNs + songTimeNs(song.endTime, song.timeUnitsPerSecond);
  stopping_ = false;
  finished_.store(messages_.empty(), std::memory_order_release);
  if (!messages_.empty()) thread_ = std::thread([this] { run(); });
}

void SongInput::stop() noexcept {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void SongInput::run() noexcept {
  // A full queue means the audio thread has stalled; the message is offered again shortly rather
  // than lost, as a MIDI cable would not lose it either.
  constexpr auto kRetry = std::chrono::milliseconds(2);
  std::unique_lock<std::mutex> lock(mutex_);
  for (const StampedMessage& m : messages_) {
    const auto due = atNs(m.timeNs) - kLead;
    if (wake_.wait_until(lock, due, [this] { return stopping_; })) return;
    while (!queue_.push(m)) {
      if (wake_.wait_for(lock, kRetry, [this] { return stopping_; })) return;
    }
  }
  finished_.store(true, std::memory_order_release);
}

}  // namespace zumbel
