// How long opening a full drum set takes to read its samples: every layer of all 128 sounds (640
// voices) from 40 stereo 16-bit WAV files of the given length, as the window does after Open.
// Layers of one file share its block, so 40 files are read. The files were just written, so they
// come from the page cache; bench_open_set measures a cold disk and one file per layer.
// Also what undo costs on such a set: one edit step (a whole copy of the set, compared with what
// it was), and an undo or redo that empties or refills every layer, with the voices following.
//   build/bench/bench_load_voices

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "DrumEngine.h"
#include "EditHistory.h"
#include "KitbeatDoc.h"
#include "LayerVoiceLoader.h"
#include "NoiseSet.h"
#include "Prompts.h"
#include "SetEditor.h"
#include "WaveReader.h"

namespace {

using namespace zumbel;

constexpr int kFiles = 40;

// A folder of `kFiles` noise decays `milliseconds` long, and a set playing them on every layer.
struct FullSet {
  explicit FullSet(int milliseconds) {
    std::string pattern = (std::filesystem::temp_directory_path() / "zumbel-bench-XXXXXX").string();
    folder = ::mkdtemp(pattern.data());
    const int frames = 44100 * milliseconds / 1000;
    std::vector<std::string> paths;
    for (int f = 0; f < kFiles; ++f) paths.push_back(folder + "/hit" + std::to_string(f) + ".wav");
    bench::writeNoiseSet(doc, paths, frames);
    pcmBytes = static_cast<double>(frames) * 4.0 * kFiles;
  }
  ~FullSet() {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
  std::string folder;
  CKitbeatDoc doc;
  double pcmBytes = 0.0;  // held: one block per file
};

void BM_LoadFullSet(benchmark::State& state) {
  FullSet set(static_cast<int>(state.range(0)));
  DrumEngine engine(set.doc);
  LayerVoiceLoader loader(set.doc, engine, nullptr);
  for (auto _ : state) {
    if (loader.loadAllVoices() != 0) state.SkipWithError("a layer did not load");
    state.PauseTiming();
    engine.voices().ReleaseAllVoices();
    state.ResumeTiming();
  }
  state.counters["layers"] = kSoundCount * kLayerCount;
  state.counters["pcm_MB"] = set.pcmBytes / 1e6;
  state.counters["MB_per_s"] = benchmark::Counter(set.pcmBytes / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
// Sample lengths in milliseconds: a tight hit, a ringing drum, a long cymbal.
BENCHMARK(BM_LoadFullSet)->Arg(200)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond)->Iterations(3);

// A pan moved on the full set: the step copies the whole set before and compares it after.
void BM_EditStep(benchmark::State& state) {
  FullSet set(200);
  EditHistory history;
  int pan = 0;
  for (auto _ : state) {
    history.begin(set.doc, "Pan");
    set.doc.sound(pan % kSoundCount).settings[kPan] = pan % 4000;
    history.end(set.doc);
    ++pan;
    // A full list drops its oldest step on every edit, as a long session does.
  }
  state.counters["steps_kept"] = history.steps();
}
BENCHMARK(BM_EditStep)->Unit(benchmark::kMicrosecond);

struct Silent : Prompts {
  void showMessage(std::string_view, std::string_view) override {}
};

// Undo of clearing every sound, then redo: 640 layers rebuilt from the blocks already read, then
// released. The time is for the pair.
void BM_UndoRedoEveryLayer(benchmark::State& state) {
  FullSet set(static_cast<int>(state.range(0)));
  Silent prompts;
  DrumEngine engine(set.doc);
  LayerVoiceLoader loader(set.doc, engine, nullptr);
  WaveReader reader(&prompts);
  SetEditor editor(set.doc, engine, loader, reader, prompts);
  if (loader.loadAllVoices() != 0) state.SkipWithError("a layer did not load");
  const SetState full = SetState::of(set.doc);
  for (int n = 0; n < kSoundCount; ++n) editor.ClearLayer(n, 0);
  const SetState cleared = SetState::of(set.doc);
  for (auto _ : state) {
    editor.restoreState(full);
    editor.restoreState(cleared);
    engine.voices().collect();
  }
  state.counters["layers"] = kSoundCount * kLayerCount;
}
BENCHMARK(BM_UndoRedoEveryLayer)->Arg(200)->Arg(3000)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
