#pragma once
// What every engine in the process holds right now, for leak checks over long runs (`zumbel
// play`'s stop report, the soak run in bench/): voices built and not yet freed, and mixer slots in
// the mix. Process-wide rather than per engine because a plugin holds one engine per loaded set
// and lets them go on its own schedule. Relaxed atomics: the audio thread only adds and
// subtracts, and a reader wants a count, not an order.

#include <atomic>
#include <cstdint>

namespace zumbel {

struct EngineTally {
  std::atomic<int64_t> voicesAlive{0};
  std::atomic<int64_t> slotsMixing{0};
};
static_assert(std::atomic<int64_t>::is_always_lock_free);

}  // namespace zumbel

// C linkage gives the tally a name a host can find in the symbol table of a module that exports
// nothing but its entry point (the LV2 bundle), so the soak run reads the plugin's own counts.
extern "C" zumbel::EngineTally zumbel_engine_tally;
