#pragma once
// A drum set field that the audio thread reads while the UI thread writes it. Each value is one
// aligned 32-bit word written whole; a reader racing an edit sees the old or the new value, never
// a torn one, and no lock is taken on either side.

#include <atomic>
#include <cstdint>

namespace zumbel {

class RelaxedInt {
 public:
  constexpr RelaxedInt(int32_t value = 0) noexcept : value_(value) {}  // NOLINT(google-explicit-constructor)
  RelaxedInt(const RelaxedInt& other) noexcept : value_(other.load()) {}
  RelaxedInt& operator=(const RelaxedInt& other) noexcept {
    store(other.load());
    return *this;
  }
  RelaxedInt& operator=(int32_t value) noexcept {
    store(value);
    return *this;
  }

  operator int32_t() const noexcept { return load(); }  // NOLINT(google-explicit-constructor)
  int32_t load() const noexcept { return value_.load(std::memory_order_relaxed); }
  void store(int32_t value) noexcept { value_.store(value, std::memory_order_relaxed); }

 private:
  std::atomic<int32_t> value_;
};

static_assert(std::atomic<int32_t>::is_always_lock_free);
static_assert(sizeof(RelaxedInt) == sizeof(int32_t));

}  // namespace zumbel
