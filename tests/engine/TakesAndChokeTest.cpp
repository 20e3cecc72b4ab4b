// Alternate takes and choke groups, from files on disk through the loader to rendered samples:
// which take each hit plays, what a take that cannot be had leaves behind, and which sounds a
// hit of a choke group silences.

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "LayerVoiceLoader.h"
#include "MidiFile.h"
#include "OfflineRenderer.h"
#include "ShortMessage.h"
#include "TestSupport.h"

namespace zumbel {
namespace {

constexpr uint32_t on(int n, int velocity = 127) { return packShortMessage(0x90, kFirstNote + n, velocity); }
constexpr uint32_t off(int n) { return packShortMessage(0x80, kFirstNote + n, 0); }
constexpr uint32_t cc(int controller) { return packShortMessage(0xB0, controller, 0); }

constexpr int kSnare = 2;
// Each take holds a level of its own, so the output tells which one played.
constexpr float kTakeLevels[] = {0.1f, 0.2f, 0.3f, 0.4f};
constexpr int kShortFrames = 1000;  // a hit that has ended before the next one, 2000 frames on
constexpr int kSpacing = 2000;
// A few milliseconds after an onset: past the stop ramp of any voice it silences.
constexpr int kSettled = 220;
static_assert(kSettled > kStopRampSeconds * kOutputRate);

struct Hit {
  int64_t frame;
  uint32_t message;
};

class Takes : public ::testing::Test {
 protected:
  Takes() {
    doc.OnNewDocument();
    doc.SetPathName(dir / "kit.drums");
    group = doc.appendGroup("Kit");
  }

  void wav(const std::string& name, float level, int frames) {
    ASSERT_TRUE(test::writeTestWav(dir / name, frames, level));
  }
  // A file in the set's folder as layer 0 of sound n.
  void sample(int n, const std::string& name, float level, int frames) {
    wav(name, level, frames);
    doc.appendSample(group, name);
    doc.AssignSample(n, 0, {group, doc.groupSize(group) - 1});
  }
  // The snare's own sample and three alternates, named by paths the probes must find (moved from
  // another machine), with a missing file and one that is no sound among them.
  void snareWithAlternates(int frames) {
    sample(kSnare, "take0.wav", kTakeLevels[0], frames);
    for (int k = 1; k < 4; ++k) wav("take" + std::to_string(k) + ".wav", kTakeLevels[k], frames);
    test::writeBytes(dir / "junk.wav", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '});
    doc.soundExtras(kSnare).alternates[0] = {"C:\\Old\\take1.wav", "gone.wav", "take2.wav", "junk.wav", "take3.wav"};
  }

  // The left channel of `frames` frames, rendered by a new engine playing the set.
  std::vector<float> render(const std::vector<Hit>& hits, int64_t frames) {
    DrumEngine engine(doc);
    LayerVoiceLoader loader(doc, engine, &prompts);
    loader.setLocate([this](const std::string& p) {
      asked.push_back(p);
      return std::optional<std::string>{};
    });
    EXPECT_EQ(loader.loadAllVoices(), 0);
    missing = loader.missingAlternates();
    MidiSong song;
    song.trackCount = 1;
    song.ticksPerQuarter = 1;
    song.timeUnitsPerSecond = kOutputRate;  // one time unit is one frame
    for (const Hit& h : hits) {
      MidiFileEvent e;
      e.time = e.tick = static_cast<uint64_t>(h.frame);
      e.message = h.message;
      song.events.push_back(e);
    }
    song.endTime = song.endTick = static_cast<uint64_t>(frames);
    std::vector<float> left;
    RenderOptions options;
    options.tailSeconds = 0;
    options.sink = [&](const float* l, const float*, int n) {
      left.insert(left.end(), l, l + n);
      return true;
    };
    renderSong(engine, song, options);
    left.resize(static_cast<std::size_t>(frames));
    return left;
  }

  // Which take each of `count` snare hits, kSpacing apart, played.
  std::vector<int> takesPlayed(int count, std::vector<float>* samples = nullptr) {
    std::vector<Hit> hits;
    for (int i = 0; i < count; ++i) hits.push_back({int64_t{i} * kSpacing, on(kSnare)});
    const std::vector<float> out = render(hits, int64_t{count} * kSpacing);
    std::vector<int> played;
    for (int i = 0; i < count; ++i) {
      const float v = out[static_cast<std::size_t>(i * kSpacing + kSettled)] / gain;
      int best = 0;
      for (int k = 1; k < 4; ++k) {
        if (std::abs(v - kTakeLevels[k]) < std::abs(v - kTakeLevels[best])) best = k;
      }
      EXPECT_NEAR(v, kTakeLevels[best], 1e-3) << "hit " << i;
      played.push_back(best);
    }
    if (samples) *samples = out;
    return played;
  }

  test::TempDir dir;
  CKitbeatDoc doc;
  int group = 0;
  test::RecordingPrompts prompts;
  std::vector<std::string> asked, missing;
  // Velocity 127 under the default compress.
  const float gain = static_cast<float>(std::pow(10.0, NoteTriggerEngine::hitVolume(kDefaultCompress, 127, 127) / 2000.0));
};

TEST_F(Takes, InTurnEveryTakeThatLoadedPlaysOnceARoundAndTheOthersAreListed) {
  snareWithAlternates(kShortFrames);
  EXPECT_EQ(takesPlayed(8), (std::vector<int>{0, 1, 2, 3, 0, 1, 2, 3}));
  EXPECT_EQ(missing, (std::vector<std::string>{"gone.wav", "junk.wav"}));
  // An alternate is never asked for and never shown, whatever became of it.
  EXPECT_TRUE(asked.empty());
  EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(Takes, AtRandomNoTakeComesTwiceInARowAndEveryRenderIsTheSame) {
  snareWithAlternates(kShortFrames);
  doc.soundExtras(kSnare).roundRobin = kRoundRobinRandom;
  std::vector<float> first, second;
  const std::vector<int> played = takesPlayed(48, &first);
  EXPECT_EQ(takesPlayed(48, &second), played);
  EXPECT_EQ(first, second);
  std::vector<int> times(4);
  for (std::size_t i = 0; i < played.size(); ++i) {
    ++times[static_cast<std::size_t>(played[i])];
    if (i > 0) {
      EXPECT_NE(played[i], played[i - 1]) << "hit " << i;
    }
  }
  for (int k = 0; k < 4; ++k) EXPECT_GE(times[static_cast<std::size_t>(k)], 6) << "take " << k;
  int inTurn = 0;  // hits that follow their predecessor's take as the turn would
  for (std::size_t i = 1; i < played.size(); ++i) inTurn += played[i] == (played[i - 1] + 1) % 4 ? 1 : 0;
  EXPECT_LT(inTurn, 30);
}

TEST_F(Takes, AHitOfAChokeGroupSilencesTheGroupsOtherSoundsOnly) {
  constexpr int kOpen = 10, kClosed = 11, kPedal = 12, kCrash = 20;
  sample(kOpen, "open.wav", 0.1f, 44100);
  sample(kClosed, "closed.wav", 0.2f, 44100);
  sample(kPedal, "pedal.wav", 0.3f, 44100);
  sample(kCrash, "crash.wav", 0.05f, 44100);
  for (int n : {kOpen, kClosed, kPedal}) doc.extras().setChokeGroup(n, 3);
  doc.extras().setChokeGroup(kCrash, 4);
  const std::vector<float> out = render({{0, on(kCrash)}, {1000, on(kOpen)}, {2000, on(kOpen)}, {5000, on(kClosed)},
                                         {9000, on(kPedal)}, {13000, on(kOpen)}},
                                        16000);
  const auto at = [&](int frame) { return out[static_cast<std::size_t>(frame)] / gain; };
  // A sound does not choke itself: both hits of the open hat ring.
  EXPECT_NEAR(at(4990), 0.05f + 2 * 0.1f, 1e-3);
  // The closed hat silences both within the stop ramp, fading rather than clicking.
  EXPECT_GT(at(5000 + 30), 0.05f + 0.2f + 0.01f);
  EXPECT_NEAR(at(5000 + kSettled), 0.05f + 0.2f, 1e-3);
  EXPECT_NEAR(at(9000 + kSettled), 0.05f + 0.3f, 1e-3);
  EXPECT_NEAR(at(13000 + kSettled), 0.05f + 0.1f, 1e-3);
  EXPECT_NEAR(at(15999), 0.05f + 0.1f, 1e-3);  // the crash of another group rings on
}

TEST_F(Takes, EveryTakeObeysNoteOffAllSoundOffAndTheCutNote) {
  constexpr int kCutter = 30;
  snareWithAlternates(44100);
  doc.sound(kSnare).noteOffEnabled = 1;
  sample(kCutter, "cutter.wav", 0.05f, 44100);
  doc.sound(kCutter).settings[kCutNote] = kSnare;
  // Each time two takes sound together before they are ended.
  const std::vector<float> out = render({{0, on(kSnare)}, {1000, on(kSnare)}, {2000, off(kSnare)},
                                         {3000, on(kSnare)}, {4000, on(kSnare)}, {5000, cc(kAllSoundOffController)},
                                         {6000, on(kSnare)}, {7000, on(kSnare)}, {8000, on(kCutter)},
                                         {8500, on(kSnare)}, {8500, off(kSnare)}},
                                        9000);
  const auto at = [&](int frame) { return out[static_cast<std::size_t>(frame)] / gain; };
  EXPECT_NEAR(at(1000 + kSettled), kTakeLevels[0] + kTakeLevels[1], 1e-3);
  EXPECT_EQ(at(2000 + kSettled), 0.0f);
  EXPECT_NEAR(at(4000 + kSettled), kTakeLevels[2] + kTakeLevels[3], 1e-3);
  EXPECT_EQ(at(5000 + kSettled), 0.0f);
  EXPECT_NEAR(at(7000 + kSettled), kTakeLevels[0] + kTakeLevels[1], 1e-3);
  EXPECT_NEAR(at(8000 + kSettled), 0.05f, 1e-3);
  // A note-off on the very frame of its note-on still ends it.
  EXPECT_NEAR(at(8500 + kSettled), 0.05f, 1e-3);
}

// Loading alone: a reload follows the list as it is now, and an alternate without a mixer slot
// is left out rather than taking the layer's own.
TEST_F(Takes, AReloadFollowsTheListAndAlternatesNeverTakeTheLayersSlots) {
  snareWithAlternates(100);
  // Outlives the engine: slots it fills play it until the mixer goes.
  const std::unique_ptr<PcmBlock> filler = PcmBlock::create(test::dc(10, 1).data(), 10);
  DrumEngine engine(doc);
  LayerVoiceLoader loader(doc, engine, &prompts);
  EXPECT_FALSE(loader.ReloadLayerVoice(kSnare, 1));  // no reference
  ASSERT_EQ(loader.loadAllVoices(), 0);
  const SampleVoice* before = engine.voices().voice(kSnare, 0);
  ASSERT_EQ(before->takeCount(), 4);
  EXPECT_EQ(before->take(3)->path(), dir / "take3.wav");
  EXPECT_EQ(before->take(4), nullptr);

  doc.soundExtras(kSnare).alternates[0] = {"take3.wav"};
  ASSERT_TRUE(loader.ReloadLayerVoice(kSnare, 0));
  const SampleVoice* after = engine.voices().voice(kSnare, 0);
  ASSERT_EQ(after->takeCount(), 2);
  EXPECT_EQ(after->take(1)->path(), dir / "take3.wav");
  EXPECT_TRUE(loader.missingAlternates().empty());

  // Room for the layer's own buffers and one more: the first alternate gets a single buffer, the
  // second nothing.
  engine.voices().ReleaseAllVoices();
  doc.soundExtras(kSnare).alternates[0] = {"take1.wav", "take2.wav"};
  while (engine.mixer().freeSlotCount() > kSoundVoiceBuffers + 1) engine.mixer().acquireSlot(filler.get());
  ASSERT_TRUE(loader.ReloadLayerVoice(kSnare, 0));
  const SampleVoice* squeezed = engine.voices().voice(kSnare, 0);
  EXPECT_EQ(squeezed->bufferCount(), kSoundVoiceBuffers);
  for (int b = 0; b < kSoundVoiceBuffers; ++b) EXPECT_NE(squeezed->buffer(b), kNoSlot) << b;
  ASSERT_EQ(squeezed->takeCount(), 2);
  EXPECT_EQ(squeezed->take(1)->path(), dir / "take1.wav");
  EXPECT_EQ(loader.missingAlternates(), std::vector<std::string>{"take2.wav"});
  EXPECT_TRUE(prompts.shown.empty());
}

}  // namespace
}  // namespace zumbel
