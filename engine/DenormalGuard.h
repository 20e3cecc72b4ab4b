#pragma once
// Denormal floats make long decays crawl on x86; every audio callback turns them off for its
// duration and restores the caller's mode afterwards.

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace zumbel {

class DenormalGuard {
 public:
#if defined(__SSE__)
  DenormalGuard() noexcept : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | kFlushToZero | kDenormalsAreZero); }
  ~DenormalGuard() { _mm_setcsr(saved_); }
#else
  DenormalGuard() noexcept = default;
#endif
  DenormalGuard(const DenormalGuard&) = delete;
  DenormalGuard& operator=(const DenormalGuard&) = delete;

 private:
#if defined(__SSE__)
  static constexpr unsigned kFlushToZero = 0x8000;
  static constexpr unsigned kDenormalsAreZero = 0x0040;
  unsigned saved_;
#endif
};

}  // namespace zumbel
