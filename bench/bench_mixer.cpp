// How many voices the mixer sums on one core: N looping slots over a handful of 1-3 s stereo
// samples at varied volumes and pans, rendered in blocks of 64 or 256 frames, once at the
// buffer's own rate (the copy path) and once at a fractional rate (cubic interpolation).
//   build/bench/bench_mixer
// "voice_frames_per_s" divided by 44100 is the number of voices one core keeps up in real time.
// BM_MixPairs: the steady mix of 200 slots routed over all eight output pairs, rendered into one
// pair (the whole mix, as the stereo plugin and the live output play it) or into eight (the
// multi-output plugin); the median of repeated runs.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "DenormalGuard.h"
#include "EngineConfig.h"
#include "Mixer.h"
#include "PcmBlock.h"

namespace {

using namespace zumbel;

constexpr int kDistinctSamples = 12;
constexpr double kShortestSeconds = 1.0;
constexpr double kLongestSeconds = 3.0;
// Any rate other than the device's sends every slot through the interpolator; an odd one keeps
// the fractional positions from repeating.
constexpr int32_t kFractionalHz = 37913;
// Slots start in this many batches with some rendering in between, so slots sharing a sample
// read different parts of it, as the hits of a song do.
constexpr int kStartBatches = 24;
constexpr int kFramesBetweenBatches = 1499;
constexpr uint32_t kSeed = 20240611;

// Noise under an exponential decay, a different length and brightness for each sample.
std::unique_ptr<PcmBlock> drumLikeSample(std::mt19937& rng, int index) {
  const double seconds =
      kShortestSeconds + (kLongestSeconds - kShortestSeconds) * index / std::max(1, kDistinctSamples - 1);
  const auto frames = static_cast<int64_t>(seconds * kOutputRate);
  std::normal_distribution<double> noise(0.0, 0.3);
  const double decayPerFrame = std::exp(-5.0 / static_cast<double>(frames));
  std::vector<int16_t> data(static_cast<std::size_t>(2 * frames));
  double level = 1.0, lowLeft = 0.0, lowRight = 0.0;
  const double smoothing = 0.1 + 0.8 * index / kDistinctSamples;
  for (int64_t f = 0; f < frames; ++f) {
    lowLeft += smoothing * (noise(rng) - lowLeft);
    lowRight += smoothing * (noise(rng) - lowRight);
    data[static_cast<std::size_t>(2 * f)] = static_cast<int16_t>(std::clamp(lowLeft * level, -1.0, 1.0) * 32767.0);
    data[static_cast<std::size_t>(2 * f + 1)] = static_cast<int16_t>(std::clamp(lowRight * level, -1.0, 1.0) * 32767.0);
    level *= decayPerFrame;
  }
  return PcmBlock::create(data.data(), frames);
}

// A mixer with `voices` looping slots sounding, built once per configuration: Google Benchmark
// calls a benchmark function several times while it settles the iteration count, and the
// staggered start of 20,000 slots costs more than the measurement.
struct Scene {
  std::vector<std::unique_ptr<PcmBlock>> samples;
  std::unique_ptr<Mixer> mixer;
  int voices = 0;
  bool interpolated = false;
};

Scene& sceneFor(int voices, bool interpolated) {
  static Scene scene;
  if (scene.mixer && scene.voices == voices && scene.interpolated == interpolated) return scene;
  scene = Scene{};
  scene.voices = voices;
  scene.interpolated = interpolated;
  std::mt19937 rng(kSeed);
  for (int i = 0; i < kDistinctSamples; ++i) scene.samples.push_back(drumLikeSample(rng, i));
  scene.mixer = std::make_unique<Mixer>(kOutputRate);
  Mixer& mixer = *scene.mixer;
  std::uniform_int_distribution<int32_t> volume(-2400, -100);
  std::uniform_int_distribution<int32_t> pan(-4000, 4000);
  std::vector<float> left(kFramesBetweenBatches), right(kFramesBetweenBatches);
  const DenormalGuard noDenormals;
  int started = 0;
  for (int batch = 0; batch < kStartBatches; ++batch) {
    const int end = voices * (batch + 1) / kStartBatches;
    for (; started < end; ++started) {
      const SlotId slot = mixer.acquireSlot(scene.samples[static_cast<std::size_t>(started % kDistinctSamples)].get());
      mixer.setVolume(slot, volume(rng));
      mixer.setPan(slot, pan(rng));
      if (interpolated) mixer.setFrequency(slot, kFractionalHz);
      mixer.play(slot, true);
    }
    mixer.beginCycle();
    mixer.render(left.data(), right.data(), kFramesBetweenBatches);
    mixer.endCycle();
  }
  return scene;
}

void mixVoices(benchmark::State& state, bool interpolated) {
  const int voices = static_cast<int>(state.range(0));
  const int frames = static_cast<int>(state.range(1));
  if (voices > kMaxSlots) {
    state.SkipWithError("more voices than the mixer has slots");
    return;
  }
  Scene& scene = sceneFor(voices, interpolated);
  Mixer& mixer = *scene.mixer;
  if (mixer.activeSlotCount() != voices) {
    state.SkipWithError("not every slot is sounding");
    return;
  }
  std::vector<float> left(static_cast<std::size_t>(frames)), right(static_cast<std::size_t>(frames));
  const DenormalGuard noDenormals;
  for (auto _ : state) {
    mixer.beginCycle();
    mixer.render(left.data(), right.data(), frames);
    mixer.endCycle();
    benchmark::DoNotOptimize(left.data());
    benchmark::DoNotOptimize(right.data());
    benchmark::ClobberMemory();
  }
  // A slot that ended would make the numbers too good.
  if (mixer.activeSlotCount() != voices) state.SkipWithError("slots stopped during the measurement");
  const double voiceFrames = static_cast<double>(voices) * frames;
  state.counters["voice_frames_per_s"] =
      benchmark::Counter(voiceFrames * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["realtime_voices"] = benchmark::Counter(
      voiceFrames * static_cast<double>(state.iterations()) / kOutputRate, benchmark::Counter::kIsRate);
}

void BM_MixCopy(benchmark::State& state) { mixVoices(state, false); }
void BM_MixCubic(benchmark::State& state) { mixVoices(state, true); }

void voiceCounts(benchmark::internal::Benchmark* b) {
  // Block sizes inside, so both reuse one scene.
  for (int voices : {100, 1000, 5000, 20000}) {
    for (int frames : {64, 256}) b->Args({voices, frames});
  }
  b->ArgNames({"voices", "frames"})->Unit(benchmark::kMicrosecond)->UseRealTime();
}

BENCHMARK(BM_MixCopy)->Apply(voiceCounts);
BENCHMARK(BM_MixCubic)->Apply(voiceCounts);

constexpr int kPairVoices = 200;

void BM_MixPairs(benchmark::State& state) {
  const int pairs = static_cast<int>(state.range(0));
  const int frames = static_cast<int>(state.range(1));
  Scene& scene = sceneFor(kPairVoices, false);
  Mixer& mixer = *scene.mixer;
  // Slots go out lowest first: the scene's are 0 .. kPairVoices - 1, spread evenly over the pairs.
  for (SlotId s = 0; s < kPairVoices; ++s) mixer.setOutput(s, s % kMixerOutputPairs);
  std::vector<std::vector<float>> buffers(2 * kMixerOutputPairs, std::vector<float>(static_cast<std::size_t>(frames)));
  OutputPairs out;
  out.count = pairs;
  for (std::size_t k = 0; k < static_cast<std::size_t>(kMixerOutputPairs); ++k) {
    out.left[k] = buffers[2 * k].data();
    out.right[k] = buffers[2 * k + 1].data();
  }
  const DenormalGuard noDenormals;
  for (auto _ : state) {
    mixer.beginCycle();
    mixer.render(out, frames);
    mixer.endCycle();
    benchmark::DoNotOptimize(buffers.data());
    benchmark::ClobberMemory();
  }
  if (mixer.activeSlotCount() != kPairVoices) state.SkipWithError("slots stopped during the measurement");
  int sounding = 0;
  for (int k = 0; k < pairs; ++k) {
    const float* left = out.left[static_cast<std::size_t>(k)];
    sounding += std::any_of(left, left + frames, [](float v) { return v != 0.0f; }) ? 1 : 0;
  }
  if (sounding != pairs) state.SkipWithError("a pair the slots are routed to stayed silent");
  state.counters["pairs_sounding"] = sounding;
}

BENCHMARK(BM_MixPairs)
    ->ArgsProduct({{1, kMixerOutputPairs}, {64, 256}})
    ->ArgNames({"pairs", "frames"})
    ->Unit(benchmark::kNanosecond)
    ->UseRealTime()
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

// The period in which 1000 slots all start a ramp at once: a mass stop (every voice fading out, as
// on a note-off storm or when a set is replaced) or a volume change of every voice (each gliding
// to its new level). Only that one period is timed; between iterations the slots are set
// sounding steadily again.
constexpr int kBurstVoices = 1000;

void rampBurst(benchmark::State& state, bool interpolated, bool stop) {
  const int frames = static_cast<int>(state.range(0));
  Scene& scene = sceneFor(kBurstVoices, interpolated);
  Mixer& mixer = *scene.mixer;
  std::vector<float> left(kMaxBlockFrames), right(kMaxBlockFrames);
  const DenormalGuard noDenormals;
  auto cycle = [&](int n) {
    mixer.beginCycle();
    mixer.render(left.data(), right.data(), n);
    mixer.endCycle();
  };
  int32_t volume = -600;
  for (auto _ : state) {
    state.PauseTiming();
    // Steady again: the last fade runs out, stopped slots restart, and whatever ramp or restart
    // tail is left runs out too.
    cycle(kMaxBlockFrames);
    for (SlotId s = 0; s < kBurstVoices; ++s) {
      if (!mixer.isSounding(s)) mixer.play(s, true);
    }
    cycle(kMaxBlockFrames);
    if (mixer.activeSlotCount() != kBurstVoices) {
      state.SkipWithError("not every slot was sounding");
      break;
    }
    for (SlotId s = 0; s < kBurstVoices; ++s) {
      if (stop) {
        mixer.stop(s);
      } else {
        mixer.setVolume(s, volume);
      }
    }
    volume = volume == -600 ? -1200 : -600;
    state.ResumeTiming();
    cycle(frames);
    benchmark::DoNotOptimize(left.data());
    benchmark::ClobberMemory();
  }
}

void BM_StopBurstCopy(benchmark::State& state) { rampBurst(state, false, true); }
void BM_StopBurstCubic(benchmark::State& state) { rampBurst(state, true, true); }
void BM_GlideBurstCopy(benchmark::State& state) { rampBurst(state, false, false); }
void BM_GlideBurstCubic(benchmark::State& state) { rampBurst(state, true, false); }

// A fixed count: the untimed setup of each iteration costs far more than the timed period, and
// the library would otherwise run thousands of them to fill its time budget.
void burstPeriods(benchmark::internal::Benchmark* b) {
  b->Arg(64)->Arg(256)->ArgName("frames")->Unit(benchmark::kMicrosecond)->UseRealTime()->Iterations(200);
}

BENCHMARK(BM_StopBurstCopy)->Apply(burstPeriods);
BENCHMARK(BM_StopBurstCubic)->Apply(burstPeriods);
BENCHMARK(BM_GlideBurstCopy)->Apply(burstPeriods);
BENCHMARK(BM_GlideBurstCubic)->Apply(burstPeriods);

}  // namespace

BENCHMARK_MAIN();
