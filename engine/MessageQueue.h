#pragma once
// Hands short MIDI messages from the thread that receives them to the audio thread: a fixed-size
// single-producer, single-consumer ring. Neither side allocates, locks or waits; when the ring is
// full the newest message is dropped, which only happens if the audio thread has stalled.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "EngineConfig.h"

namespace zumbel {

struct StampedMessage {
  uint64_t timeNs = 0;  // arrival time on a monotonic clock
  uint32_t message = 0;
};

class MessageQueue {
 public:
  static constexpr std::size_t kCapacity = kMaxEventsPerCycle;  // a power of two
  static_assert((kCapacity & (kCapacity - 1)) == 0);

  // Producer thread only.
  bool push(const StampedMessage& m) noexcept {
    const std::size_t head = head_.load(std::memory_order_relaxed);
    if (head - tail_.load(std::memory_order_acquire) == kCapacity) {
      dropped_.fetch_add(1, std::memory_order_relaxed);
      return false;
    }
    ring_[head & (kCapacity - 1)] = m;
    head_.store(head + 1, std::memory_order_release);
    return true;
  }

  // Consumer thread only. `peek` looks at the oldest message without taking it.
  bool peek(StampedMessage& m) const noexcept {
    const std::size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail == head_.load(std::memory_order_acquire)) return false;
    m = ring_[tail & (kCapacity - 1)];
    return true;
  }
  void pop() noexcept { tail_.store(tail_.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

  uint64_t dropped() const noexcept { return dropped_.load(std::memory_order_relaxed); }

 private:
  std::array<StampedMessage, kCapacity> ring_{};
  alignas(64) std::atomic<std::size_t> head_{0};
  alignas(64) std::atomic<std::size_t> tail_{0};
  std::atomic<uint64_t> dropped_{0};
};

}  // namespace zumbel
