#include "StopSignals.h"

#include <atomic>

namespace zumbel {

namespace {

// Set by the handler, which may run on any thread of the process (JACK's and RtMidi's too), so
// a lock-free atomic rather than a plain flag.
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void requestStop(int) { stopRequested.store(true, std::memory_order_relaxed); }

}  // namespace

StopSignals::StopSignals() {
  stopRequested.store(false, std::memory_order_relaxed);
  struct sigaction action {};
  action.sa_handler = requestStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &oldInt_);
  sigaction(SIGTERM, &action, &oldTerm_);
}

StopSignals::~StopSignals() {
  sigaction(SIGINT, &oldInt_, nullptr);
  sigaction(SIGTERM, &oldTerm_, nullptr);
}

bool StopSignals::requested() const noexcept { return stopRequested.load(std::memory_order_relaxed); }

}  // namespace zumbel
