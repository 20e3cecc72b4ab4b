#pragma once
// The few building blocks the drum synthesiser needs: oscillators that follow a changing pitch
// and simple filters. All run at the demo sample rate.

#include <cmath>
#include <numbers>

#include "DemoConfig.h"

namespace zumbel::demo {

inline constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Seconds from the start of the sound at sample i.
inline double secondsAt(std::size_t i) { return static_cast<double>(i) / kSampleRate; }
inline std::size_t samplesFor(double seconds) {
  return static_cast<std::size_t>(seconds * kSampleRate + 0.5);
}

inline double decay(double t, double tau) { return std::exp(-t / tau); }

// A phase in cycles, advanced by the current frequency each sample, so pitch sweeps stay smooth.
class Phase {
 public:
  explicit Phase(double start = 0.0) : cycles_(start) {}
  // Returns the phase for this sample, then advances it.
  double advance(double hz) {
    const double now = cycles_;
    cycles_ += hz / kSampleRate;
    cycles_ -= std::floor(cycles_);
    return now;
  }

 private:
  double cycles_;
};

inline double sine(double cycles) { return std::sin(kTwoPi * cycles); }

// A square wave with its steps smoothed (PolyBLEP), so high partials alias far less than a naive
// one would; cymbals stack many of them.
class Square {
 public:
  explicit Square(double hz, double startCycles = 0.0) : hz_(hz), phase_(startCycles) {}
  double next();

 private:
  double hz_;
  Phase phase_;
};

// Soft clipping that keeps ±1 at ±1: harder hits drive it further and gain harmonics.
inline double saturate(double x, double drive) { return std::tanh(drive * x) / std::tanh(drive); }

class OnePoleLowPass {
 public:
  explicit OnePoleLowPass(double hz) { setCutoff(hz); }
  void setCutoff(double hz);
  double operator()(double x) {
    y_ += a_ * (x - y_);
    return y_;
  }

 private:
  double a_ = 1.0;
  double y_ = 0.0;
};

class OnePoleHighPass {
 public:
  explicit OnePoleHighPass(double hz) : low_(hz) {}
  double operator()(double x) { return x - low_(x); }

 private:
  OnePoleLowPass low_;
};

// A second-order section in direct form I with the usual cookbook designs.
class Biquad {
 public:
  static Biquad lowPass(double hz, double q);
  static Biquad highPass(double hz, double q);
  static Biquad bandPass(double hz, double q);  // 0 dB at the centre

  double operator()(double x) {
    const double y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
    x2_ = x1_;
    x1_ = x;
    y2_ = y1_;
    y1_ = y;
    return y;
  }

 private:
  Biquad(double b0, double b1, double b2, double a0, double a1, double a2)
      : b0_(b0 / a0), b1_(b1 / a0), b2_(b2 / a0), a1_(a1 / a0), a2_(a2 / a0) {}

  double b0_, b1_, b2_, a1_, a2_;
  double x1_ = 0.0, x2_ = 0.0, y1_ = 0.0, y2_ = 0.0;
};

}  // namespace zumbel::demo
