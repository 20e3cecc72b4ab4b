#include "SoundPitch.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace zumbel {

namespace {

// The interpolation's factor is -0.01 as a single-precision float, a hair smaller in magnitude
// than -0.01, so a whole step of cents lands one hertz short of the next semitone. Sets tuned
// with it store those rates, and reading them back depends on the same arithmetic.
const double kCentFactor = static_cast<double>(-0.01f);

// The cents between `from` and `to` (in either order) that bring `semitoneIndex` nearest `rate`.
Pitch nearestCents(int semitoneIndex, int from, int to, int32_t rate) noexcept {
  Pitch best{semitoneIndex, from};
  int64_t bestDistance = std::numeric_limits<int64_t>::max();
  for (int c = std::min(from, to); c <= std::max(from, to); ++c) {
    const int64_t distance = std::abs(int64_t{PitchToRate(semitoneIndex, c)} - rate);
    if (distance < bestDistance) {
      bestDistance = distance;
      best.cents = c;
    }
  }
  return best;
}

}  // namespace

const std::array<int32_t, kRateTableSize>& RateTable() {
  static const std::array<int32_t, kRateTableSize> table = [] {
    std::array<int32_t, kRateTableSize> t{};
    for (int i = 0; i < kRateTableSize; ++i) {
      t[static_cast<std::size_t>(i)] = static_cast<int32_t>(5512.5 * std::pow(2.0, i / 12.0));
    }
    return t;
  }();
  return table;
}

int32_t PitchToRate(int semitoneIndex, int cents) noexcept {
  const auto& t = RateTable();
  const auto s = static_cast<std::size_t>(std::clamp(semitoneIndex, kMinSemitoneIndex, kMaxSemitoneIndex));
  const int c = std::clamp(cents, kMinCents, kMaxCents);
  const int32_t step = c > 0 ? t[s + 1] - t[s] : t[s] - t[s - 1];
  const double v = static_cast<double>(step * c) * kCentFactor;
  return t[s] - static_cast<int32_t>(std::trunc(v));
}

Pitch RateToPitch(int32_t rate) noexcept {
  const auto& t = RateTable();
  if (rate == 0) return {};
  // The spin stops a semitone below the table's top: rates nearer that top read as the highest
  // semitone with the cents that come nearest (so the dialog's own highest rate reads back as it
  // was set), and anything above as high as the dialog goes.
  if (rate >= t[kRateTableSize - 1]) return {kMaxSemitoneIndex, kMaxCents};
  for (int i = kRateTableSize - 1; i >= kMinSemitoneIndex; --i) {
    const int32_t here = t[static_cast<std::size_t>(i)];
    if (here == rate) return {i, 0};
    if (here < rate) {
      const double x = static_cast<double>(rate - here) / (t[static_cast<std::size_t>(i) + 1] - here) * 100.0;
      const int whole = static_cast<int>(std::trunc(x));
      if (x <= 50) return {i, whole};
      if (i + 1 > kMaxSemitoneIndex) return nearestCents(kMaxSemitoneIndex, 0, kMaxCents, rate);
      return {i + 1, whole - 100};
    }
  }
  // Below the lowest semitone's rate: the cents under it that come nearest, so a sound tuned all
  // the way down shows as tuned, not as whatever sound was shown before.
  return nearestCents(kMinSemitoneIndex, kMinCents, 0, rate);
}

}  // namespace zumbel
