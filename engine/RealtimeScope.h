#pragma once
// Marks code running on the audio thread. In the program it only counts on a thread-local
// variable; the tests' allocation guard fails any test in which something allocates while a
// scope is open.

namespace zumbel {

class RealtimeScope {
 public:
  RealtimeScope() noexcept { ++depth(); }
  ~RealtimeScope() { --depth(); }
  RealtimeScope(const RealtimeScope&) = delete;
  RealtimeScope& operator=(const RealtimeScope&) = delete;

  static bool active() noexcept { return depth() > 0; }

 private:
  static int& depth() noexcept {
    thread_local int d = 0;
    return d;
  }
};

}  // namespace zumbel
