// What one note-on costs the audio thread, the mixing aside: a full set of 128 sounds with a
// voice on every layer (640 voices of 16 buffers), and the trigger engine handling one note-on
// message at a time. Every sound measured is on a key the window shows, so each note-on also
// lights its pad. Only HandleShortMessage is timed; no cycle runs in between, so the mixer
// just collects the commands (the last one per slot wins, as between two real cycles).
//   build/bench/bench_trigger
// BM_NoteOnPlain: a sound in no choke group whose layer has no alternates.
// BM_NoteOnChoke8: the sounds of a choke group of 8 hit in turn, as a hi-hat is played: each
// note-on stops the 7 others on every layer, the one hit before it still ringing.
// BM_NoteOnRoundRobin4: a layer with 3 alternates (4 takes), picked in turn or at random.
// BM_AllSoundOff: 8 note-ons of sounds in no group, then All Sound Off, timed together.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "DrumEngine.h"
#include "EngineConfig.h"
#include "KitbeatDoc.h"
#include "PcmBlock.h"
#include "SampleVoice.h"
#include "ShortMessage.h"

namespace {

using namespace zumbel;

constexpr int kSampleFrames = 4410;
constexpr int kChokeSounds = 8;
constexpr int kPlainSound = 10;  // outside the choke group
constexpr int kRoundRobinSound = 20;
constexpr int kTakes = 4;
constexpr int kVelocity = 127;  // band 0 under the default scheme

struct FullSet {
  FullSet() {
    doc.OnNewDocument();
    std::vector<int16_t> frames(2 * kSampleFrames, 1000);
    pcm = PcmBlock::create(frames.data(), kSampleFrames);
    if (!pcm) std::abort();
    for (int n = 0; n < kSoundCount; ++n) {
      for (int j = 0; j < kLayerCount; ++j) {
        doc.sound(n).sources[static_cast<std::size_t>(j)] = j;
        engine.voices().publish(n, j, voice());
      }
    }
    for (int n = 0; n < kChokeSounds; ++n) doc.extras().setChokeGroup(n, 1);
    std::unique_ptr<SampleVoice> taken = voice();
    for (int k = 1; k < kTakes; ++k) {
      if (!taken->addAlternate(voice(alternateBufferCount(kTakes)))) std::abort();
    }
    engine.voices().publish(kRoundRobinSound, 0, std::move(taken));
  }
  std::unique_ptr<SampleVoice> voice(int buffers = kSoundVoiceBuffers) {
    return std::make_unique<SampleVoice>(nullptr, engine.mixer(), pcm, buffers, "hit.wav", 0, 0, 0, 0);
  }

  CKitbeatDoc doc;
  DrumEngine engine{doc};
  std::shared_ptr<const PcmBlock> pcm;
};

FullSet& fullSet() {
  static FullSet set;
  return set;
}

uint32_t noteOn(int sound) { return packShortMessage(0x90, kFirstNote + sound, kVelocity); }

// One message per iteration, going round `messages`.
void cycleThrough(benchmark::State& state, const std::vector<uint32_t>& messages) {
  NoteTriggerEngine& trigger = fullSet().engine.trigger();
  std::size_t i = 0;
  for (auto _ : state) {
    trigger.HandleShortMessage(messages[i]);
    i = i + 1 == messages.size() ? 0 : i + 1;
    benchmark::ClobberMemory();
  }
}

void BM_NoteOnPlain(benchmark::State& state) { cycleThrough(state, {noteOn(kPlainSound)}); }
void BM_NoteOnChoke8(benchmark::State& state) {
  std::vector<uint32_t> hats;
  for (int n = 0; n < kChokeSounds; ++n) hats.push_back(noteOn(n));
  cycleThrough(state, hats);
}
void BM_AllSoundOff(benchmark::State& state) {
  NoteTriggerEngine& trigger = fullSet().engine.trigger();
  const uint32_t allSoundOff = packShortMessage(0xB0, kAllSoundOffController, 0);
  for (auto _ : state) {
    for (int n = 0; n < kChokeSounds; ++n) trigger.HandleShortMessage(noteOn(kPlainSound + n));
    trigger.HandleShortMessage(allSoundOff);
    benchmark::ClobberMemory();
  }
}
void BM_NoteOnRoundRobin4(benchmark::State& state) {
  fullSet().doc.soundExtras(kRoundRobinSound).roundRobin = static_cast<int32_t>(state.range(0));
  cycleThrough(state, {noteOn(kRoundRobinSound)});
}

void repeated(benchmark::internal::Benchmark* b) {
  b->Unit(benchmark::kNanosecond)->Repetitions(10)->ReportAggregatesOnly(true);
}

BENCHMARK(BM_NoteOnPlain)->Apply(repeated);
BENCHMARK(BM_NoteOnChoke8)->Apply(repeated);
BENCHMARK(BM_NoteOnRoundRobin4)->Arg(kRoundRobinTurn)->Arg(kRoundRobinRandom)->ArgName("random")->Apply(repeated);
BENCHMARK(BM_AllSoundOff)->Unit(benchmark::kMicrosecond)->Repetitions(10)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
