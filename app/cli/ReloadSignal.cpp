#include "ReloadSignal.h"

#include <atomic>

namespace zumbel {

namespace {

// Set by the handler, which may run on any thread of the process.
std::atomic<bool> reloadRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void requestReload(int) { reloadRequested.store(true, std::memory_order_relaxed); }

}  // namespace

ReloadSignal::ReloadSignal() {
  reloadRequested.store(false, std::memory_order_relaxed);
  struct sigaction action {};
  action.sa_handler = requestReload;
  sigemptyset(&action.sa_mask);
  sigaction(SIGHUP, &action, &oldHup_);
}

ReloadSignal::~ReloadSignal() { sigaction(SIGHUP, &oldHup_, nullptr); }

bool ReloadSignal::take() noexcept { return reloadRequested.exchange(false, std::memory_order_relaxed); }

}  // namespace zumbel
