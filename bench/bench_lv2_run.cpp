// What the LV2 plugins cost their host per block: run() of 64 frames at 44100 Hz with 200 voices
// sounding, through lilv as a DAW calls it. The demo kit's samples are replaced by 30-second noise
// so every voice started is still sounding when the block is timed; an engine in this process
// plays the same notes to count the voices (the plugin renders exactly as the engine does). The
// kit's extras file routes its sounds over all eight outputs, as evenly as their voices allow: the
// stereo plugin plays them all on its one pair, Multi each on its own output.
// "dsp_load" is the block's mean time over the 1451 µs that 64 frames last (0.01 is 1 %);
// "median_ns" is the median of the blocks' own times, as the host measured each run().
//   build/bench/bench_lv2_run

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>
#include <vector>

#include "DrumEngine.h"
#include "DrumsFile.h"
#include "ExtrasFile.h"
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
constexpr int kTimedBlocks = 10000;

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

// Routes the sounds the notes play over the outputs in the kit's extras file, each sound (most
// voices first) to the output with the fewest voices so far; returns the voices each output
// (counted from 0) plays.
std::array<int, kMixerOutputPairs> routeOverOutputs(const std::string& kit, const std::vector<Note>& notes) {
  std::array<int, kSoundCount> voicesOf{};
  for (const Note& n : notes) ++voicesOf[static_cast<std::size_t>(std::max(0, n.note - kFirstNote))];
  std::vector<int> sounds;
  for (int sound = 0; sound < kSoundCount; ++sound) {
    if (voicesOf[static_cast<std::size_t>(sound)] > 0) sounds.push_back(sound);
  }
  std::stable_sort(sounds.begin(), sounds.end(), [&](int a, int b) {
    return voicesOf[static_cast<std::size_t>(a)] > voicesOf[static_cast<std::size_t>(b)];
  });
  std::array<int, kMixerOutputPairs> voices{};
  std::string extras;
  for (const int sound : sounds) {
    const auto output = static_cast<std::size_t>(std::min_element(voices.begin(), voices.end()) - voices.begin());
    voices[output] += voicesOf[static_cast<std::size_t>(sound)];
    extras += (extras.empty() ? "" : ",") + ("\"" + std::to_string(sound) + "\":{\"output\":") +
              std::to_string(output + 1) + "}";
  }
  std::ofstream(ExtrasPathFor(kit)) << R"({"sounds":{)" << extras << "}}";
  return voices;
}

// Made once for every benchmark of the run: writing a kit of 30-second samples takes seconds.
struct LongKit {
  std::string dir, kit;
  std::vector<Note> notes;
  std::array<int, kMixerOutputPairs> voicesPerOutput{};
  LongKit() {
    char pattern[] = "/tmp/zumbel-bench-lv2-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return;
    dir = pattern;
    kit = makeLongKit(dir + "/kit");
    if (!kit.empty()) notes = notesForVoices(kit);
    if (!notes.empty()) voicesPerOutput = routeOverOutputs(kit, notes);
  }
  ~LongKit() {
    if (!dir.empty()) fs::remove_all(dir);
  }
};

LongKit& longKit() {
  static LongKit kit;
  return kit;
}

void BM_Lv2Run64Frames200Voices(benchmark::State& state, const char* uri) {
  const LongKit& shared = longKit();
  test::Lv2World world(ZUMBEL_LV2_BUNDLE);
  auto host = std::make_unique<test::Lv2TestHost>(world, kOutputRate, uri);
  if (shared.notes.empty() || !host->ok()) {
    state.SkipWithError("no kit, no plugin, or no notes that start 200 voices");
    return;
  }
  host->record = false;
  host->setDrumSet(shared.kit);
  host->run(kBlock);
  host->doWork();
  host->run(kBlock);
  host->run(kBlock);
  for (const Note& n : shared.notes) host->midi(0, 0x90, n.note, n.velocity);
  host->run(kBlock);
  std::vector<uint64_t> times;
  times.reserve(kTimedBlocks);
  int64_t blocks = 0;
  for (auto _ : state) {
    host->run(kBlock);
    times.push_back(host->lastRunNs());
    ++blocks;
  }
  // Every voice started lasts kNoiseSeconds; the timed blocks must all fall inside that, and the
  // plugin must still be playing them on each of its outputs.
  host->record = true;
  host->run(kBlock);
  int sounding = 0;
  for (std::size_t k = 0; k < host->pairs(); ++k) {
    const std::vector<float>& left = host->outputs[k].left;
    sounding += std::any_of(left.begin(), left.end(), [](float v) { return v != 0.0f; }) ? 1 : 0;
  }
  if (sounding != static_cast<int>(host->pairs()) ||
      static_cast<int64_t>(blocks + 5) * kBlock >= int64_t{kNoiseSeconds} * kOutputRate) {
    state.SkipWithError("the voices ended before the timing did, or an output stayed silent");
  }
  std::sort(times.begin(), times.end());
  state.counters["voices"] = static_cast<double>(shared.notes.size());
  state.counters["outputs_sounding"] = sounding;
  if (host->pairs() > 1) {
    const auto [fewest, most] = std::minmax_element(shared.voicesPerOutput.begin(), shared.voicesPerOutput.end());
    state.counters["voices_per_output_min"] = *fewest;
    state.counters["voices_per_output_max"] = *most;
  }
  state.counters["frames"] = kBlock;
  state.counters["median_ns"] = times.empty() ? 0.0 : static_cast<double>(times[times.size() / 2]);
  state.counters["dsp_load"] = benchmark::Counter(static_cast<double>(blocks) * kBlock / kOutputRate,
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
// At most 10000 blocks (14.5 s of sound), so every voice sounds through all of them.
BENCHMARK_CAPTURE(BM_Lv2Run64Frames200Voices, stereo, test::kLv2StereoUri)
    ->Iterations(kTimedBlocks)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Lv2Run64Frames200Voices, multi, test::kLv2MultiUri)
    ->Iterations(kTimedBlocks)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
