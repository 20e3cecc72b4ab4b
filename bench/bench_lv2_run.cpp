// What the LV2 plugin costs its host per block: run() of 64 frames at 44100 Hz with 200 voices
// sounding, through lilv as a DAW calls it. The demo kit's samples are replaced by 30-second noise
// so every voice started is still sounding when the block is timed; an engine in this process
// plays the same notes to count the voices (the plugin renders exactly as the engine does).
// "dsp_load" is the block's time over the 1451 µs that 64 frames last (0.01 is 1 %).
//   build/bench/bench_lv2_run

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>
#include <vector>

#include "DrumEngine.h"
#include "DrumsFile.h"
#include "KitbeatDoc.h"
#include "Lv2TestHost.h"
#include "WavFileWriter.h"
#include "HeadlessKit.h"

namespace {

using namespace zumbel;
namespace fs = std::filesystem;

constexpr int kVoices = 200;
constexpr uint32_t kBlock = 64;
constexpr int kNoiseSeconds = 30;

// The demo kit in a temporary folder with every sample made 30 seconds of noise.
std::string makeLongKit(const std::string& dir) {
  fs::copy(ZUMBEL_SOURCE_DIR "/resources/demo", dir, fs::copy_options::recursive);
  std::mt19937 random(3);
  std::uniform_real_distribution<float> noise(-0.3f, 0.3f);
  std::vector<float> left(kOutputRate), right(kOutputRate);
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() != ".wav") continue;
    WavFileWriter writer;
    if (!writer.open(entry.path().string(), kOutputRate, SampleFormat::kS16)) return {};
    for (int s = 0; s < kNoiseSeconds; ++s) {
      for (std::size_t i = 0; i < left.size(); ++i) left[i] = noise(random), right[i] = noise(random);
      writer.write(left.data(), right.data(), kOutputRate);
    }
    if (!writer.close()) return {};
  }
  return dir + "/Demo.drums";
}

struct Note {
  uint8_t note, velocity;
};

// Notes that start exactly kVoices voices on the kit, found by playing them into an engine.
std::vector<Note> notesForVoices(const std::string& kit) {
  CKitbeatDoc doc;
  if (!doc.OnOpenDocument(kit).ok()) return {};
  DrumEngine engine(doc, kOutputRate);
  std::ostringstream ignored;
  StreamPrompts prompts(ignored);
  loadVoicesHeadless(doc, engine, prompts, ignored);
  std::vector<Note> notes;
  std::vector<float> left(kBlock), right(kBlock);
  for (int round = 0; round < 16 && engine.mixer().activeSlotCount() < kVoices; ++round) {
    for (int note = 0; note < 128 && engine.mixer().activeSlotCount() < kVoices; ++note) {
      for (const uint8_t velocity : {127, 80, 40, 10}) {
        if (engine.mixer().activeSlotCount() >= kVoices) break;
        const TimedMessage on{0, packShortMessage(0x90, note, velocity)};
        engine.process(left.data(), right.data(), 1, std::span(&on, 1));
        engine.process(left.data(), right.data(), 1, {});
        if (engine.mixer().activeSlotCount() > static_cast<int>(notes.size())) {
          notes.push_back({static_cast<uint8_t>(note), velocity});
        }
      }
    }
  }
  return engine.mixer().activeSlotCount() == kVoices ? notes : std::vector<Note>{};
}

void BM_Lv2Run64Frames200Voices(benchmark::State& state) {
  char pattern[] = "/tmp/zumbel-bench-lv2-XXXXXX";
  const std::string dir = ::mkdtemp(pattern);
  const std::string kit = makeLongKit(dir + "/kit");
  const std::vector<Note> notes = kit.empty() ? std::vector<Note>{} : notesForVoices(kit);
  test::Lv2World world(ZUMBEL_LV2_BUNDLE);
  auto host = std::make_unique<test::Lv2TestHost>(world, kOutputRate);
  if (notes.empty() || !host->ok()) {
    fs::remove_all(dir);
    state.SkipWithError("no kit, no plugin, or no notes that start 200 voices");
    return;
  }
  host->record = false;
  host->setDrumSet(kit);
  host->run(kBlock);
  host->doWork();
  host->run(kBlock);
  host->run(kBlock);
  for (const Note& n : notes) host->midi(0, 0x90, n.note, n.velocity);
  host->run(kBlock);
  int64_t blocks = 0;
  for (auto _ : state) {
    host->run(kBlock);
    ++blocks;
  }
  // Every voice started lasts kNoiseSeconds; the timed blocks must all fall inside that, and the
  // plugin must still be playing them.
  host->record = true;
  host->run(kBlock);
  const bool sounding = std::any_of(host->left.begin(), host->left.end(), [](float v) { return v != 0.0f; });
  if (!sounding || static_cast<int64_t>(blocks + 5) * kBlock >= int64_t{kNoiseSeconds} * kOutputRate) {
    state.SkipWithError("the voices ended before the timing did");
  }
  state.counters["voices"] = static_cast<double>(notes.size());
  state.counters["frames"] = kBlock;
  state.counters["dsp_load"] = benchmark::Counter(static_cast<double>(blocks) * kBlock / kOutputRate,
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  host.reset();
  fs::remove_all(dir);
}
// At most 10000 blocks (14.5 s of sound), so every voice sounds through all of them.
BENCHMARK(BM_Lv2Run64Frames200Voices)->Iterations(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
