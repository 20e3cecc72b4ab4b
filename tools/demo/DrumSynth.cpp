#include "DrumSynth.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "DemoConfig.h"
#include "Dsp.h"
#include "Mastering.h"
#include "Prng.h"

namespace zumbel::demo {

namespace {

// How hard each layer is played, 0..1: drives brightness, pitch sweep and length.
double strength(Layer layer) {
  switch (layer) {
    case Layer::Hard:
      return 1.0;
    case Layer::Medium:
      return 0.6;
    case Layer::Soft:
      return 0.32;
    case Layer::Ghost:
      return 0.15;
  }
  return 1.0;
}

double peakDb(Layer layer) {
  switch (layer) {
    case Layer::Hard:
      return kHardPeakDb;
    case Layer::Medium:
      return kMediumPeakDb;
    case Layer::Soft:
      return kSoftPeakDb;
    case Layer::Ghost:
      return kGhostPeakDb;
  }
  return kHardPeakDb;
}

template <typename Voice>
std::vector<double> render(double seconds, Voice&& voice) {
  std::vector<double> out(samplesFor(seconds));
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = voice(secondsAt(i));
  return out;
}

// Six detuned square waves at unrelated ratios: the inharmonic clang under every cymbal.
class Metal {
 public:
  Metal(double scale, Prng& rng)
      : squares_{Square(271.0 * scale, rng.unit()), Square(397.5 * scale, rng.unit()),
                 Square(429.3 * scale, rng.unit()), Square(566.1 * scale, rng.unit()),
                 Square(613.8 * scale, rng.unit()), Square(868.9 * scale, rng.unit())} {}

  double next() {
    double sum = 0.0;
    for (Square& s : squares_) sum += s.next();
    return sum / static_cast<double>(squares_.size());
  }

 private:
  std::array<Square, 6> squares_;
};

// A sine body that starts sharp and falls to its resting pitch, with a beater click on top.
std::vector<double> kick(double v, Prng& rng) {
  const double rest = 47.0;
  const double sweep = 70.0 + 190.0 * v;
  const double sweepTau = 0.022 + 0.012 * v;
  const double bodyTau = 0.16 + 0.15 * v;
  Phase body;
  OnePoleHighPass clickHigh(1500.0);
  OnePoleLowPass clickLow(2500.0 + 9000.0 * v * v);
  return render(0.45 + 0.4 * v, [&](double t) {
    const double ph = body.advance(rest + sweep * decay(t, sweepTau));
    double x = sine(ph) * decay(t, bodyTau);
    x += 0.12 * v * sine(2.0 * ph) * decay(t, 0.035);
    x += clickLow(clickHigh(rng.bipolar())) * decay(t, 0.003) * (0.25 + 0.9 * v * v);
    return saturate(x, 1.0 + 1.6 * v);
  });
}

// Two head modes and the snare wires: harder hits put far more, and brighter, wire noise on top.
std::vector<double> snare(double v, Prng& rng) {
  const double bend = 0.3 * v;
  const double bodyTau = 0.05 + 0.05 * v;
  const double wireTau = 0.06 + 0.12 * v;
  const double wireGain = 0.8 + 0.6 * v;
  Phase low;
  Phase high;
  OnePoleHighPass wireHigh(900.0 + 600.0 * v);
  Biquad wireLow = Biquad::lowPass(3500.0 + 6500.0 * v, 0.7);
  OnePoleHighPass snapHigh(3000.0);
  return render(0.3 + 0.3 * v, [&](double t) {
    const double pitch = 1.0 + bend * decay(t, 0.012);
    double x = (0.75 * sine(low.advance(185.0 * pitch)) + 0.4 * sine(high.advance(330.0 * pitch))) *
               decay(t, bodyTau);
    const double noise = rng.bipolar();
    x += wireLow(wireHigh(noise)) * wireGain * decay(t, wireTau);
    x += snapHigh(noise) * decay(t, 0.002) * 0.7 * v * v;
    return saturate(x, 1.0 + 1.2 * v);
  });
}

// The stick laid across the head hitting the rim: a short woody knock with a bright click.
std::vector<double> sideStick(double v, Prng& rng) {
  Phase shell;
  Phase rim;
  Phase ring;
  Biquad click = Biquad::bandPass(2500.0 + 2000.0 * v, 1.5);
  return render(0.18 + 0.1 * v, [&](double t) {
    double x = 0.6 * sine(shell.advance(480.0)) * decay(t, 0.035);
    x += 0.5 * sine(rim.advance(1620.0 + 120.0 * v)) * decay(t, 0.011 + 0.006 * v);
    x += 0.25 * v * sine(ring.advance(3050.0)) * decay(t, 0.008);
    x += click(rng.bipolar()) * decay(t, 0.004) * (0.6 + 1.2 * v);
    return saturate(x, 1.0 + v);
  });
}

// Several hands a few milliseconds apart, then the room: bursts of band-passed noise and a tail.
std::vector<double> clap(double v, Prng& rng) {
  const int bursts = v > 0.5 ? 4 : 3;
  std::array<double, 4> starts{};
  for (int k = 0; k < bursts; ++k) starts[static_cast<std::size_t>(k)] = 0.0105 * k + 0.002 * rng.unit();
  const double tailStart = starts[static_cast<std::size_t>(bursts - 1)];
  const double tailTau = 0.05 + 0.09 * v;
  Biquad body = Biquad::bandPass(1000.0 + 600.0 * v, 1.1);
  OnePoleHighPass air(4000.0);
  return render(0.35 + 0.25 * v, [&](double t) {
    double env = 0.0;
    for (int k = 0; k < bursts; ++k) {
      const double start = starts[static_cast<std::size_t>(k)];
      if (t >= start) env = std::max(env, decay(t - start, 0.0032));
    }
    if (t >= tailStart) env = std::max(env, 0.55 * decay(t - tailStart, tailTau));
    const double noise = rng.bipolar();
    return (body(noise) + 0.25 * v * air(noise)) * env;
  });
}

// A membrane with its first overtones, tuned to `hz`; bigger drums ring longer.
std::vector<double> tom(double v, double hz, Prng& rng) {
  const double size = std::sqrt(100.0 / hz);
  const double sweep = 0.12 + 0.45 * v;
  const double bodyTau = (0.14 + 0.14 * v) * size;
  Phase first;
  Phase second;
  Phase third;
  Biquad stick = Biquad::bandPass(1800.0 + 2500.0 * v, 0.9);
  return render((0.45 + 0.4 * v) * size, [&](double t) {
    const double bend = 1.0 + sweep * decay(t, 0.05);
    double x = sine(first.advance(hz * bend)) * decay(t, bodyTau);
    x += (0.2 + 0.25 * v) * sine(second.advance(hz * 1.59 * bend)) * decay(t, bodyTau * 0.45);
    x += 0.18 * v * sine(third.advance(hz * 2.14 * bend)) * decay(t, bodyTau * 0.25);
    x += stick(rng.bipolar()) * decay(t, 0.005) * (0.3 + 1.1 * v * v);
    return saturate(x, 1.0 + 1.5 * v);
  });
}

enum class HatKind { Closed, Pedal, Open };

// Metal and noise high-passed into the hi-hat band; harder hits open the top further.
std::vector<double> hiHat(double v, HatKind kind, Prng& rng) {
  Metal metal(1.0, rng);
  Biquad band = Biquad::highPass(7000.0, 0.7);
  Biquad top = Biquad::lowPass(7500.0 + 9500.0 * v, 0.7);
  Biquad chick = Biquad::bandPass(1200.0, 2.0);
  const double noiseShare = 0.25 + 0.25 * v;
  double seconds = 0.0;
  double tau = 0.0;
  switch (kind) {
    case HatKind::Closed:
      seconds = 0.12 + 0.13 * v;
      tau = 0.022 + 0.028 * v;
      break;
    case HatKind::Pedal:
      seconds = 0.15 + 0.1 * v;
      tau = 0.02 + 0.015 * v;
      break;
    case HatKind::Open:
      seconds = std::min(kMaxOpenHatSeconds, 0.8 + 0.6 * v);
      tau = 0.2 + 0.3 * v;
      break;
  }
  return render(seconds, [&](double t) {
    const double noise = rng.bipolar();
    double x = top(band((1.0 - noiseShare) * metal.next() + noiseShare * noise));
    double env = decay(t, tau);
    if (kind == HatKind::Open) env = 0.6 * env + 0.4 * decay(t, 0.012);
    x *= env;
    if (kind == HatKind::Pedal) {
      // The two cymbals close on each other rather than being struck: a softer edge and a
      // low "chick".
      x = x * std::min(1.0, t / 0.002) + 0.5 * chick(noise) * decay(t, 0.02);
    }
    return x;
  });
}

// Two metal clusters and a few FM partials through a filter that closes as the crash rings out.
std::vector<double> crash(double v, Prng& rng) {
  Metal low(1.45, rng);
  Metal high(2.1, rng);
  constexpr std::array<double, 4> kCarriers{1370.0, 2110.0, 2870.0, 3710.0};
  std::array<Phase, 4> carriers;
  std::array<Phase, 4> modulators;
  Biquad band = Biquad::highPass(1800.0, 0.7);
  OnePoleLowPass top1(20000.0);
  OnePoleLowPass top2(20000.0);
  const double openHz = 5500.0 + 11000.0 * v;
  const double longTau = 0.5 + 0.3 * v;
  return render(std::min(kMaxCymbalSeconds, 1.9 + 0.6 * v), [&](double t) {
    const double index = (1.5 + 2.5 * v) * (0.4 + 0.6 * decay(t, 0.3));
    double fm = 0.0;
    for (std::size_t k = 0; k < kCarriers.size(); ++k) {
      const double mod = sine(modulators[k].advance(kCarriers[k] * 1.47));
      fm += sine(carriers[k].advance(kCarriers[k]) + index * mod / kTwoPi);
    }
    const double noise = rng.bipolar();
    double x = band(0.35 * (low.next() + high.next()) + 0.06 * fm + 0.4 * noise);
    const double cutoff = openHz * (0.55 + 0.45 * decay(t, 0.5));
    top1.setCutoff(cutoff);
    top2.setCutoff(cutoff);
    x = top2(top1(x));
    const double env = (0.35 * decay(t, 0.06) + 0.65 * decay(t, longTau)) * std::min(1.0, t / 0.0015);
    return x * env + 0.4 * v * noise * decay(t, 0.003);
  });
}

// A bell-like ping over a quieter wash; harder hits bring up the wash.
std::vector<double> ride(double v, Prng& rng) {
  constexpr std::array<double, 5> kPartials{612.0, 1470.0, 2395.0, 3518.0, 5146.0};
  constexpr std::array<double, 5> kLevels{0.5, 0.35, 0.45, 0.3, 0.2};
  constexpr std::array<double, 5> kTaus{1.1, 0.8, 0.7, 0.5, 0.35};
  std::array<Phase, 5> partials;
  for (Phase& p : partials) p = Phase(rng.unit());
  Metal metal(2.4, rng);
  Biquad washBand = Biquad::highPass(5500.0, 0.7);
  Biquad washTop = Biquad::lowPass(6000.0 + 9000.0 * v, 0.7);
  OnePoleHighPass stickHigh(4000.0);
  const double ringScale = 0.7 + 0.3 * v;
  const double washGain = 0.45 + 1.35 * v;
  const double washTau = 0.35 + 0.35 * v;
  return render(std::min(kMaxCymbalSeconds, 1.5 + 0.7 * v), [&](double t) {
    double ping = 0.0;
    for (std::size_t k = 0; k < kPartials.size(); ++k) {
      ping += kLevels[k] * sine(partials[k].advance(kPartials[k])) * decay(t, kTaus[k] * ringScale);
    }
    const double noise = rng.bipolar();
    const double wash = washTop(washBand(0.6 * metal.next() + 0.4 * noise)) * decay(t, washTau);
    const double stick = stickHigh(noise) * decay(t, 0.002) * (0.2 + 0.6 * v);
    return 0.35 * ping * std::min(1.0, t / 0.0005) + washGain * wash + stick;
  });
}

double maxSeconds(Instrument instrument) {
  switch (instrument) {
    case Instrument::OpenHat:
      return kMaxOpenHatSeconds;
    case Instrument::Crash:
    case Instrument::Ride:
      return kMaxCymbalSeconds;
    default:
      return kMaxDrumSeconds;
  }
}

std::vector<double> perform(Instrument instrument, double v, Prng& rng) {
  switch (instrument) {
    case Instrument::Kick:
      return kick(v, rng);
    case Instrument::Snare:
      return snare(v, rng);
    case Instrument::SideStick:
      return sideStick(v, rng);
    case Instrument::Clap:
      return clap(v, rng);
    case Instrument::LowTom:
      return tom(v, 92.0, rng);
    case Instrument::MidTom:
      return tom(v, 124.0, rng);
    case Instrument::HighTom:
      return tom(v, 163.0, rng);
    case Instrument::ClosedHat:
      return hiHat(v, HatKind::Closed, rng);
    case Instrument::PedalHat:
      return hiHat(v, HatKind::Pedal, rng);
    case Instrument::OpenHat:
      return hiHat(v, HatKind::Open, rng);
    case Instrument::Crash:
      return crash(v, rng);
    case Instrument::Ride:
      return ride(v, rng);
  }
  return {};
}

}  // namespace

std::string_view layerName(Layer layer) {
  switch (layer) {
    case Layer::Hard:
      return "Hard";
    case Layer::Medium:
      return "Medium";
    case Layer::Soft:
      return "Soft";
    case Layer::Ghost:
      return "Ghost";
  }
  return "";
}

std::vector<int16_t> synthesise(Instrument instrument, Layer layer) {
  // Each file has its own noise stream, so no file depends on which were made before it.
  const auto which = static_cast<uint64_t>(static_cast<int>(instrument) * 8 + static_cast<int>(layer));
  Prng rng(kSynthSeed + 0x9E3779B97F4A7C15ULL * which);
  return master(perform(instrument, strength(layer), rng), maxSeconds(instrument), peakDb(layer));
}

}  // namespace zumbel::demo
