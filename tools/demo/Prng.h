#pragma once
// A small PCG32 generator. The demo files must come out byte for byte the same everywhere, which
// the standard distributions do not promise across library versions; this one is fully defined.

#include <cstdint>

namespace zumbel::demo {

class Prng {
 public:
  explicit Prng(uint64_t seed) {
    next();
    state_ += seed;
    next();
  }

  uint32_t next() {
    const uint64_t old = state_;
    state_ = old * 6364136223846793005ULL + kIncrement;
    const auto xorShifted = static_cast<uint32_t>(((old >> 18U) ^ old) >> 27U);
    const auto rot = static_cast<uint32_t>(old >> 59U);
    return (xorShifted >> rot) | (xorShifted << ((32U - rot) & 31U));
  }

  // Uniform in [0, 1), from 32 bits, so it needs no rounding mode or library support.
  double unit() { return next() * (1.0 / 4294967296.0); }
  // Uniform in [-1, 1): white noise.
  double bipolar() { return 2.0 * unit() - 1.0; }
  // Uniform integer in [lo, hi]; the tiny modulo bias does not matter for humanising.
  int between(int lo, int hi) {
    return lo + static_cast<int>(next() % static_cast<uint32_t>(hi - lo + 1));
  }

 private:
  static constexpr uint64_t kIncrement = 1442695040888963407ULL;
  uint64_t state_ = 0;
};

}  // namespace zumbel::demo
