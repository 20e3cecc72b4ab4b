// What one period of live playing costs the audio thread: 200 voices sounding (40 sounds with
// five layers each, every layer a demo kit sample of its own, looping so the count stays put),
// one LiveCycle::run of 64 (or 256) frames, as the JACK or RtAudio callback calls it. "Pitched"
// gives every sound a rate other than its file's, which sends every voice through the
// interpolator.
//   build/bench/bench_live_cycle
// The time per iteration is the callback's CPU time per period; a 64-frame period lasts 1451 us.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "DrumEngine.h"
#include "LayerVoiceLoader.h"
#include "LiveCycle.h"
#include "SampleVoice.h"

namespace {

using namespace zumbel;

constexpr int kVoices = 200;
constexpr int32_t kPitchedRate = 47123;

struct Scene {
  explicit Scene(bool pitched) {
    doc.OnNewDocument();
    std::vector<std::string> wavs;
    for (const auto& e : std::filesystem::directory_iterator(ZUMBEL_SOURCE_DIR "/resources/demo")) {
      if (e.path().extension() == ".wav") wavs.push_back(e.path().string());
    }
    std::sort(wavs.begin(), wavs.end());
    if (wavs.empty()) return;
    LayerVoiceLoader loader(doc, *engine, nullptr);
    for (int v = 0; v < kVoices; ++v) {
      const int n = v / kLayerCount, j = v % kLayerCount;
      Sound& s = doc.sound(n);
      s.looping = 1;
      s.sources[j] = j;
      if (pitched) s.settings[kPlaybackRate] = kPitchedRate;
      loader.LoadLayerVoice(wavs[static_cast<std::size_t>(v) % wavs.size()], n, j, -1, -1, false);
      if (SampleVoice* voice = engine->voices().voice(n, j)) voice->Play();
    }
    engine->mixer().setRunning(true);
    live.prepare(kOutputRate, 64);
    std::vector<float> left(64), right(64);
    live.run(left.data(), right.data(), 64, {}, 1'000'000'000);
  }
  ~Scene() {
    engine->mixer().setRunning(false);
    engine->voices().ReleaseAllVoices();
  }

  CKitbeatDoc doc;
  std::unique_ptr<DrumEngine> engine = std::make_unique<DrumEngine>(doc);
  LiveCycle live{*engine};
};

void runPeriods(benchmark::State& state, bool pitched) {
  static Scene plain(false), shifted(true);
  Scene& scene = pitched ? shifted : plain;
  const int frames = static_cast<int>(state.range(0));
  std::vector<float> left(static_cast<std::size_t>(frames)), right(left.size());
  uint64_t now = 2'000'000'000;
  for (auto _ : state) {
    scene.live.run(left.data(), right.data(), frames, {}, now);
    benchmark::DoNotOptimize(left.data());
    now += static_cast<uint64_t>(frames) * 1'000'000'000ull / kOutputRate;
  }
  state.counters["voices"] = scene.engine->mixer().activeSlotCount();
  state.counters["period_us"] = 1e6 * frames / kOutputRate;
}

void BM_LiveCycle(benchmark::State& state) { runPeriods(state, false); }
void BM_LiveCyclePitched(benchmark::State& state) { runPeriods(state, true); }

BENCHMARK(BM_LiveCycle)->Arg(64)->Arg(256)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LiveCyclePitched)->Arg(64)->Arg(256)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
