#pragma once
// SIGINT and SIGTERM as a request to stop: the handler only sets a flag, which the command's own
// loop looks at, so it can end the orderly way (devices closed, unfinished files removed).

#include <csignal>

namespace zumbel {

// Installs the handler for as long as it lives and restores the previous one after, so tests
// running a command in-process are unchanged.
class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // True once either signal arrived since construction.
  bool requested() const noexcept;

 private:
  struct sigaction oldInt_ {};
  struct sigaction oldTerm_ {};
};

}  // namespace zumbel
