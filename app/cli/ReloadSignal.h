#pragma once
// SIGHUP as a request to read the drum set again, as daemons take it: the handler only sets a
// flag, which `zumbel play`'s loop takes and acts on. Other commands leave SIGHUP alone, so a
// render still ends with the terminal that started it.

#include <csignal>

namespace zumbel {

// Installs the handler for as long as it lives and restores the previous one after.
class ReloadSignal {
 public:
  ReloadSignal();
  ~ReloadSignal();
  ReloadSignal(const ReloadSignal&) = delete;
  ReloadSignal& operator=(const ReloadSignal&) = delete;

  // True when SIGHUP arrived since the last call; several before it count as one.
  bool take() noexcept;

 private:
  struct sigaction oldHup_ {};
};

}  // namespace zumbel
