// How fast the engine renders the dense five-minute song (bench/DenseSong.h) offline, the kit
// already loaded: with the output thrown away, and written to a 16-bit or a float WAV file as
// `zumbel render` writes it, so the engine's share and the writer's can be told apart.
// "x_realtime" is song seconds per wall second. The whole command, kit loading included, is
// timed by bench/bench-render.
//   build/bench/bench_render [KIT.drums]      (default: the bundled demo kit)

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "DenseSong.h"
#include "DrumEngine.h"
#include "DrumsFile.h"
#include "HeadlessKit.h"
#include "KitbeatDoc.h"
#include "MidiFile.h"
#include "OfflineRenderer.h"
#include "WavFileWriter.h"

namespace {

using namespace zumbel;

std::string gKitPath = ZUMBEL_SOURCE_DIR "/resources/demo/Demo.drums";

// The kit and the song, loaded once for every benchmark.
struct Session {
  CKitbeatDoc doc;
  std::unique_ptr<DrumEngine> engine;
  MidiSong song;
  std::string error;
};

Session& session() {
  static Session s = [] {
    Session made;
    const MidiFileResult midi = parseMidiFile(bench::denseSongImage());
    if (!midi.ok()) {
      made.error = "the dense song does not parse";
      return made;
    }
    made.song = midi.song;
    if (const FileOutcome opened = made.doc.OnOpenDocument(gKitPath); !opened.ok()) {
      made.error = opened.message;
      return made;
    }
    made.engine = std::make_unique<DrumEngine>(made.doc, kOutputRate);
    std::ostringstream messages;
    StreamPrompts prompts(messages);
    const HeadlessLoad load = loadVoicesHeadless(made.doc, *made.engine, prompts, messages);
    if (load.voices == 0 || load.missing > 0 || load.unreadable > 0) made.error = "the kit did not load: " + messages.str();
    return made;
  }();
  return s;
}

enum class Sink { kDiscard, kS16, kF32 };

void BM_RenderDenseSong(benchmark::State& state, Sink sink) {
  Session& s = session();
  if (!s.error.empty()) {
    state.SkipWithError(s.error.c_str());
    return;
  }
  const std::string out = (std::filesystem::temp_directory_path() / "zumbel-bench-render.wav").string();
  int64_t frames = 0;
  for (auto _ : state) {
    WavFileWriter writer;
    RenderOptions options;  // the tail runs until every voice is silent, as zumbel render's does
    if (sink == Sink::kDiscard) {
      options.sink = [](const float* l, const float*, int) {
        benchmark::DoNotOptimize(l);
        return true;
      };
    } else {
      writer.open(out, kOutputRate, sink == Sink::kS16 ? SampleFormat::kS16 : SampleFormat::kF32);
      options.sink = [&](const float* l, const float* r, int n) { return writer.write(l, r, n); };
    }
    const RenderSummary summary = renderSong(*s.engine, s.song, options);
    if (sink != Sink::kDiscard && !writer.close()) state.SkipWithError("writing the WAV file failed");
    frames = summary.frames;
  }
  std::remove(out.c_str());
  state.counters["x_realtime"] =
      benchmark::Counter(bench::kDenseSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["rendered_s"] = static_cast<double>(frames) / kOutputRate;
}
BENCHMARK_CAPTURE(BM_RenderDenseSong, discard, Sink::kDiscard)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_RenderDenseSong, wav_s16, Sink::kS16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_RenderDenseSong, wav_f32, Sink::kF32)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (argc > 2) {
    std::cerr << "usage: bench_render [benchmark options] [KIT.drums]\n";
    return 2;
  }
  if (argc == 2) gKitPath = argv[1];
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
