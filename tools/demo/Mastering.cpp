#include "Mastering.h"

#include <algorithm>
#include <cmath>

#include "DemoConfig.h"
#include "Dsp.h"

namespace zumbel::demo {

namespace {

double peakOf(const std::vector<double>& x) {
  double peak = 0.0;
  for (double v : x) peak = std::max(peak, std::abs(v));
  return peak;
}

double gainOf(double db) { return std::pow(10.0, db / 20.0); }

void blockDc(std::vector<double>& x) {
  const double r = std::exp(-kTwoPi * kDcBlockHz / kSampleRate);
  double lastIn = 0.0;
  double lastOut = 0.0;
  for (double& v : x) {
    const double out = v - lastIn + r * lastOut;
    lastIn = v;
    lastOut = out;
    v = out;
  }
}

// Keeps the sound until its last sample above the floor, plus room for the fade.
void trimTail(std::vector<double>& x, double maxSeconds) {
  const double floor = peakOf(x) * gainOf(kTailFloorDb);
  std::size_t last = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (std::abs(x[i]) > floor) last = i;
  }
  const std::size_t keep = std::min({x.size(), last + samplesFor(kMinFadeSeconds) + 1,
                                     samplesFor(maxSeconds)});
  x.resize(keep);
}

// A raised-cosine fade reaching zero at the last sample.
void fadeOut(std::vector<double>& x) {
  const std::size_t length = std::min(
      x.size(), std::max(samplesFor(kMinFadeSeconds),
                         static_cast<std::size_t>(kFadeShare * static_cast<double>(x.size()))));
  const std::size_t start = x.size() - length;
  for (std::size_t i = 0; i < length; ++i) {
    const double t = static_cast<double>(i + 1) / static_cast<double>(length);
    x[start + i] *= 0.5 * (1.0 + std::cos(std::numbers::pi * t));
  }
}

}  // namespace

std::vector<int16_t> master(std::vector<double> sound, double maxSeconds, double peakDb) {
  blockDc(sound);
  trimTail(sound, maxSeconds);
  fadeOut(sound);
  const double peak = peakOf(sound);
  const double gain = peak > 0.0 ? gainOf(peakDb) * 32767.0 / peak : 0.0;
  std::vector<int16_t> pcm(sound.size());
  for (std::size_t i = 0; i < sound.size(); ++i) {
    const double v = std::clamp(std::round(sound[i] * gain), -32768.0, 32767.0);
    pcm[i] = static_cast<int16_t>(v);
  }
  return pcm;
}

}  // namespace zumbel::demo
