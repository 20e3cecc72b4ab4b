// How long saving and loading a ".drums" file takes: a new set and a large one (16 groups of
// 500 samples, every layer of every sound in use).
//   build/bench/bench_kit_files

#include <benchmark/benchmark.h>

#include "DrumsFile.h"
#include "Relink.h"
#include "SampleListFile.h"

namespace {

using namespace zumbel;

CKitbeatDoc largeSet() {
  CKitbeatDoc doc;
  doc.OnNewDocument();
  for (int g = 0; g < kMaxGroups; ++g) {
    doc.appendGroup("Group " + std::to_string(g));
    for (int e = 0; e < 500; ++e) {
      doc.appendSample(g, "C:\\Samples\\Library\\Group " + std::to_string(g) + "\\Sample " + std::to_string(e) + ".wav");
    }
  }
  for (int n = 0; n < kSoundCount; ++n) {
    for (int j = 0; j < kLayerCount; ++j) doc.AssignSample(n, j, SampleRef{n % kMaxGroups, n * 3 + j});
  }
  return doc;
}

void BM_SerializeNewSet(benchmark::State& state) {
  CKitbeatDoc doc;
  doc.OnNewDocument();
  for (auto _ : state) benchmark::DoNotOptimize(serializeDrumSet(doc.content()));
}
BENCHMARK(BM_SerializeNewSet);

void BM_ParseNewSet(benchmark::State& state) {
  CKitbeatDoc doc;
  doc.OnNewDocument();
  const std::vector<uint8_t> bytes = serializeDrumSet(doc.content());
  DrumSetContent set;
  for (auto _ : state) benchmark::DoNotOptimize(parseDrumSet(bytes, set));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ParseNewSet);

void BM_SerializeLargeSet(benchmark::State& state) {
  const CKitbeatDoc doc = largeSet();
  for (auto _ : state) benchmark::DoNotOptimize(serializeDrumSet(doc.content()));
}
BENCHMARK(BM_SerializeLargeSet);

void BM_ParseLargeSet(benchmark::State& state) {
  const std::vector<uint8_t> bytes = serializeDrumSet(largeSet().content());
  DrumSetContent set;
  for (auto _ : state) benchmark::DoNotOptimize(parseDrumSet(bytes, set));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
  state.counters["file_bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_ParseLargeSet);

void BM_DeleteGroupOfLargeSet(benchmark::State& state) {
  const CKitbeatDoc original = largeSet();
  for (auto _ : state) {
    state.PauseTiming();
    CKitbeatDoc doc = original;
    state.ResumeTiming();
    doc.DeleteGroup(0);
    benchmark::DoNotOptimize(doc.groupCount());
  }
}
BENCHMARK(BM_DeleteGroupOfLargeSet);

// Relinking a group where every other file moved and every other one is given up on; the cost
// should grow in step with the group, not with its square.
void BM_RelinkHalfMovedHalfDropped(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  CKitbeatDoc original;
  original.OnNewDocument();
  original.appendGroup("Big");
  for (int e = 0; e < entries; ++e) original.appendSample(0, "C:\\Big\\" + std::to_string(e) + ".wav");
  for (int n = 0; n < kSoundCount; ++n) original.AssignSample(n, 0, SampleRef{0, (n * 7919) % entries});
  for (auto _ : state) {
    state.PauseTiming();
    CKitbeatDoc doc = original;
    state.ResumeTiming();
    RelinkSamplePool(doc, [](const std::string& stored) -> std::string {
      const bool odd = (stored[stored.size() - 5] - '0') % 2 != 0;
      return odd ? std::string(kNotLocatedMarker) : "/moved/" + stored;
    });
    benchmark::DoNotOptimize(doc.groupSize(0));
  }
  state.SetComplexityN(entries);
}
BENCHMARK(BM_RelinkHalfMovedHalfDropped)->RangeMultiplier(4)->Range(1 << 10, 1 << 18)->Complexity();

}  // namespace

BENCHMARK_MAIN();
