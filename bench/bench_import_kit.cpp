// How long making a drum set of a Hydrogen kit takes: each kit of hydrogen-drumkits read, its
// samples probed and its set built (no saving), and the velocity fit of an eight-layer instrument.
//   build/bench/bench_import_kit

#include <filesystem>

#include <benchmark/benchmark.h>

#include "KitImport.h"

namespace {

using namespace zumbel;

constexpr const char* kKits = "/usr/share/hydrogen/data/drumkits";

void BM_ImportKit(benchmark::State& state, const std::string& folder) {
  int sounds = 0;
  for (auto _ : state) {
    CKitbeatDoc doc;
    doc.OnNewDocument();
    const import::ImportResult r = import::importHydrogenFolder(folder, doc);
    if (!r.ok) {
      state.SkipWithError(r.error.c_str());
      return;
    }
    sounds = r.sounds;
  }
  state.counters["sounds"] = sounds;
}

void BM_FitEightLayers(benchmark::State& state) {
  CKitbeatDoc doc;
  doc.OnNewDocument();
  std::vector<std::pair<double, double>> ranges;
  for (int i = 0; i < 8; ++i) ranges.emplace_back(i / 8.0, (i + 1) / 8.0);
  for (auto _ : state) benchmark::DoNotOptimize(import::fitLayers(ranges, doc));
}
BENCHMARK(BM_FitEightLayers);

}  // namespace

int main(int argc, char** argv) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(kKits, ec)) {
    const std::string folder = entry.path().string();
    benchmark::RegisterBenchmark(("BM_ImportKit/" + entry.path().filename().string()).c_str(),
                                 [folder](benchmark::State& s) { BM_ImportKit(s, folder); })
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
