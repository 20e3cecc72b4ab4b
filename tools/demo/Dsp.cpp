#include "Dsp.h"

#include <algorithm>

namespace zumbel::demo {

namespace {

// The step of a unit square at phase t (cycles since the step) smoothed over one sample.
double polyBlep(double t, double dt) {
  if (t < dt) {
    t /= dt;
    return t + t - t * t - 1.0;
  }
  if (t > 1.0 - dt) {
    t = (t - 1.0) / dt;
    return t * t + t + t + 1.0;
  }
  return 0.0;
}

struct Cookbook {
  double cosW;
  double alpha;
};

Cookbook cookbook(double hz, double q) {
  const double w = kTwoPi * std::min(hz, 0.49 * kSampleRate) / kSampleRate;
  return {std::cos(w), std::sin(w) / (2.0 * q)};
}

}  // namespace

double Square::next() {
  const double dt = hz_ / kSampleRate;
  const double t = phase_.advance(hz_);
  double v = t < 0.5 ? 1.0 : -1.0;
  v += polyBlep(t, dt);
  double fall = t + 0.5;
  fall -= std::floor(fall);
  v -= polyBlep(fall, dt);
  return v;
}

void OnePoleLowPass::setCutoff(double hz) {
  a_ = 1.0 - std::exp(-kTwoPi * std::min(hz, 0.49 * kSampleRate) / kSampleRate);
}

Biquad Biquad::lowPass(double hz, double q) {
  const auto [c, alpha] = cookbook(hz, q);
  return Biquad((1.0 - c) / 2.0, 1.0 - c, (1.0 - c) / 2.0, 1.0 + alpha, -2.0 * c, 1.0 - alpha);
}

Biquad Biquad::highPass(double hz, double q) {
  const auto [c, alpha] = cookbook(hz, q);
  return Biquad((1.0 + c) / 2.0, -(1.0 + c), (1.0 + c) / 2.0, 1.0 + alpha, -2.0 * c, 1.0 - alpha);
}

Biquad Biquad::bandPass(double hz, double q) {
  const auto [c, alpha] = cookbook(hz, q);
  return Biquad(alpha, 0.0, -alpha, 1.0 + alpha, -2.0 * c, 1.0 - alpha);
}

}  // namespace zumbel::demo
