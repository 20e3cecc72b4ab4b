#include "LiveCycle.h"

#include <algorithm>
#include <chrono>

#include "DrumEngine.h"
#include "RealtimeScope.h"

namespace zumbel {

uint64_t steadyNowNs() noexcept {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count());
}

LiveCycle::LiveCycle(DrumEngine& engine) : engine_(engine) { timeline_.reset(kOutputRate, kDefaultPeriodFrames); }

void LiveCycle::prepare(int sampleRate, int periodFrames, int slackFrames) noexcept {
  slackFrames_ = slackFrames;
  timeline_.reset(sampleRate, periodFrames, slackFrames);
  rate_ = sampleRate > 0 ? sampleRate : kOutputRate;
  pendingRate_.store(0, std::memory_order_relaxed);
  // Messages that waited while nothing played are stale: sounding them all at once on the first
  // period would be a burst of old notes.
  StampedMessage m;
  for (MessageQueue* q : {&queue_, &songQueue_}) {
    while (q->peek(m)) q->pop();
  }
}

void LiveCycle::followDeviceRate(int sampleRate) noexcept {
  if (sampleRate >= kMinDeviceRate && sampleRate <= kMaxDeviceRate) pendingRate_.store(sampleRate, std::memory_order_relaxed);
}

std::size_t LiveCycle::gatherMessages(int frames, std::span<const TimedMessage> direct,
                                      std::optional<double> periodStartNs) noexcept {
  std::size_t count = 0;
  std::size_t d = 0;
  const std::array<MessageQueue*, 2> queues{&queue_, &songQueue_};
  // Every source is in time order; merge them so the engine sees one ordered list. A backlog in
  // the queues never crowds out the backend's own messages: they always keep their room.
  while (count < merged_.size()) {
    const bool roomForQueued = merged_.size() - count > direct.size() - d;
    MessageQueue* from = nullptr;
    StampedMessage queued;
    uint32_t queuedFrame = 0;
    for (MessageQueue* q : queues) {
      StampedMessage m;
      if (!roomForQueued || !q->peek(m)) continue;
      const int64_t due = periodStartNs ? timeline_.dueFrame(m.timeNs, *periodStartNs) : 0;
      if (due >= frames) continue;
      const auto frame = static_cast<uint32_t>(std::max<int64_t>(due, 0));
      if (from == nullptr || frame < queuedFrame) {
        from = q;
        queued = m;
        queuedFrame = frame;
      }
    }
    const bool haveDirect = d < direct.size();
    if (from == nullptr && !haveDirect) break;
    if (haveDirect && (from == nullptr || direct[d].frame <= queuedFrame)) {
      merged_[count++] = direct[d++];
    } else {
      merged_[count++] = TimedMessage{queuedFrame, queued.message};
      from->pop();
    }
  }
  return count;
}

void LiveCycle::run(const OutputPairs& out, int frames, std::span<const TimedMessage> direct, uint64_t nowNs) noexcept {
  const RealtimeScope realtime;
  const int rate = pendingRate_.exchange(0, std::memory_order_relaxed);
  if (rate != 0 && rate != rate_) {
    // The mixer's steps and fades are counted in device frames; this thread owns its playback.
    rate_ = rate;
    engine_.mixer().setDeviceRate(rate);
    timeline_.reset(rate_, frames, slackFrames_);
  }
  const bool freewheel = freewheel_.load(std::memory_order_relaxed);
  // The server changed its period (JACK can), or the clock starts again after freewheeling:
  // "one period later" is measured afresh.
  if (frames != timeline_.periodFrames() || (wasFreewheeling_ && !freewheel)) timeline_.reset(rate_, frames, slackFrames_);
  wasFreewheeling_ = freewheel;
  const std::optional<double> periodStart =
      freewheel ? std::nullopt : std::optional<double>(timeline_.beginPeriod(nowNs, frames));
  const std::size_t count = gatherMessages(frames, direct, periodStart);
  engine_.process(out, frames, std::span<const TimedMessage>(merged_.data(), count));

  const uint64_t took = steadyNowNs() - nowNs;
  cycles_.fetch_add(1, std::memory_order_relaxed);
  totalNs_.fetch_add(took, std::memory_order_relaxed);
  if (took > maxNs_.load(std::memory_order_relaxed)) maxNs_.store(took, std::memory_order_relaxed);
  cycleTimes_[std::min<uint64_t>(took / 1000, kCycleTimeBuckets - 1)].fetch_add(1, std::memory_order_relaxed);
  if (!freewheel && took * 2 * static_cast<uint64_t>(rate_) > static_cast<uint64_t>(frames) * 1'000'000'000ull) {
    slowCycles_.fetch_add(1, std::memory_order_relaxed);
  }
}

CycleStats LiveCycle::stats() const noexcept {
  CycleStats s;
  s.cycles = cycles_.load(std::memory_order_relaxed);
  s.totalNs = totalNs_.load(std::memory_order_relaxed);
  s.maxNs = maxNs_.load(std::memory_order_relaxed);
  s.slowCycles = slowCycles_.load(std::memory_order_relaxed);
  // Counted from the slow end, so the few periods over the percentile are all that is summed.
  const uint64_t over = s.cycles / 100;
  uint64_t seen = 0;
  for (int b = kCycleTimeBuckets - 1; b >= 0; --b) {
    seen += cycleTimes_[static_cast<std::size_t>(b)].load(std::memory_order_relaxed);
    if (seen > over) {
      // The last bucket has no upper end but the slowest period.
      const uint64_t end = b == kCycleTimeBuckets - 1 ? s.maxNs : (static_cast<uint64_t>(b) + 1) * 1000;
      s.p99Ns = std::min(s.maxNs, end);
      break;
    }
  }
  return s;
}

void LiveCycle::resetStats() noexcept {
  cycles_.store(0, std::memory_order_relaxed);
  totalNs_.store(0, std::memory_order_relaxed);
  maxNs_.store(0, std::memory_order_relaxed);
  slowCycles_.store(0, std::memory_order_relaxed);
  for (std::atomic<uint32_t>& n : cycleTimes_) n.store(0, std::memory_order_relaxed);
}

}  // namespace zumbel
