// The live cycle: MIDI from a backend applied at its own frame, MIDI queued by the sequencer
// thread placed exactly one period after it arrived however unevenly the audio thread wakes.

#include <cmath>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "ArrivalTimeline.h"
#include "EngineTestSupport.h"
#include "KitbeatDoc.h"
#include "LiveCycle.h"
#include "MidiFile.h"
#include "SongInput.h"

namespace zumbel {
namespace {

constexpr int kRate = 44100;
constexpr int kPeriod = 64;

constexpr uint32_t noteOn(int note) { return packShortMessage(0x90, note, 127); }

// Frames to nanoseconds at the test rate, exactly enough for placing arrivals.
uint64_t ns(double frames) { return static_cast<uint64_t>(std::llround(frames * 1e9 / kRate)); }

class Live : public ::testing::Test {
 protected:
  Live() {
    doc.OnNewDocument();
    // Sound 0 (note 36) plays a constant sample from its first layer on every band.
    for (auto& src : doc.sound(0).sources) src = 0;
    engine.voices().publish(0, 0, test::makeVoice(engine.mixer(), test::dc(kRate, 8000)));
    live.prepare(kRate, kPeriod);
  }

  // Runs `periods` periods, the audio thread waking at `wake(k)`; returns the left channel.
  template <typename Wake>
  std::vector<float> play(int periods, Wake wake, std::span<const TimedMessage> direct = {}) {
    std::vector<float> left(static_cast<std::size_t>(periods * kPeriod)), right(left.size());
    for (int k = 0; k < periods; ++k) {
      live.run(left.data() + k * kPeriod, right.data() + k * kPeriod, kPeriod, k == 0 ? direct : std::span<const TimedMessage>{},
               wake(k));
    }
    return left;
  }

  static int onset(const std::vector<float>& out, std::size_t from = 0) {
    for (std::size_t i = from; i < out.size(); ++i) {
      if (out[i] != 0.0f) return static_cast<int>(i);
    }
    return -1;
  }

  CKitbeatDoc doc;
  DrumEngine engine{doc};
  LiveCycle live{engine};
};

TEST_F(Live, BackendMessagesSoundAtTheirOwnFrame) {
  const TimedMessage at37[] = {{37, noteOn(36)}};
  const std::vector<float> out = play(2, [](int k) { return 1'000'000'000 + ns(k * kPeriod); }, at37);
  EXPECT_EQ(onset(out), 37);
}

TEST_F(Live, QueuedMessagesSoundOnePeriodAfterArrivalDespiteWakeJitter) {
  // The audio thread wakes up to an eighth of a period early or late; arrivals fall anywhere.
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> jitter(-kPeriod / 8.0, kPeriod / 8.0);
  constexpr int kPeriods = 4000;
  std::vector<uint64_t> wakes;
  const uint64_t start = 5'000'000'000;
  for (int k = 0; k < kPeriods; ++k) wakes.push_back(start + ns(k * kPeriod + jitter(rng)));

  // Each trial plays one note arriving at a fractional frame, on a fresh voice, so its onset is
  // the first sound of the run.
  std::uniform_real_distribution<double> where(0.0, kPeriod);
  for (int trial = 0; trial < 20; ++trial) {
    engine.voices().ReleaseAllVoices();
    engine.voices().publish(0, 0, test::makeVoice(engine.mixer(), test::dc(kRate, 8000)));
    live.prepare(kRate, kPeriod);
    const int period = 2000 + trial * 100;
    const double arrivalFrame = period * kPeriod + where(rng);
    // The sequencer thread pushes it between two wake-ups.
    int k = 0;
    std::vector<float> left(static_cast<std::size_t>(kPeriods * kPeriod)), right(left.size());
    bool pushed = false;
    for (; k < kPeriods && k < period + 10; ++k) {
      if (!pushed && wakes[static_cast<std::size_t>(k)] > start + ns(arrivalFrame)) {
        ASSERT_TRUE(live.queue().push(StampedMessage{start + ns(arrivalFrame), noteOn(36)}));
        pushed = true;
      }
      live.run(left.data() + k * kPeriod, right.data() + k * kPeriod, kPeriod, {}, wakes[static_cast<std::size_t>(k)]);
    }
    const int expected = static_cast<int>(std::floor(arrivalFrame)) + kPeriod;
    // Within one frame of the ideal: the timeline follows the wake-ups by a small fraction.
    EXPECT_NEAR(onset(left), expected, 1) << "arrival at frame " << arrivalFrame;
  }
}

TEST_F(Live, StaleQueuedMessagesAreDroppedWhenPlayingStarts) {
  ASSERT_TRUE(live.queue().push(StampedMessage{1, noteOn(36)}));
  live.prepare(kRate, kPeriod);
  const std::vector<float> out = play(4, [](int k) { return 2'000'000'000 + ns(k * kPeriod); });
  EXPECT_EQ(onset(out), -1);
}

TEST_F(Live, MessagesFromBothSourcesKeepTheirOrder) {
  // A queued note due at frame 10 and a backend note at frame 30 on another sound: both sound,
  // each from its own frame.
  for (auto& src : doc.sound(1).sources) src = 0;
  engine.voices().publish(1, 0, test::makeVoice(engine.mixer(), test::dc(kRate, 1000)));
  const uint64_t t0 = 3'000'000'000;
  // Period 0 wakes at t0; a message that arrived at t0 - period + 10 frames is due at frame 10.
  ASSERT_TRUE(live.queue().push(StampedMessage{t0 - ns(kPeriod) + ns(10.5), noteOn(36)}));
  const TimedMessage at30[] = {{30, noteOn(37)}};
  const std::vector<float> out = play(1, [&](int) { return t0; }, at30);
  EXPECT_EQ(onset(out), 10);
  // The second note adds its own sample on top from frame 30.
  EXPECT_EQ(out[29], out[20]);
  EXPECT_GT(out[30], out[29]);
}

TEST_F(Live, ABackendMessageBeforeAQueuedOneSoundsFirst) {
  // The same two sounds the other way round: the backend's at frame 5, the queued one due at 20.
  for (auto& src : doc.sound(1).sources) src = 0;
  engine.voices().publish(1, 0, test::makeVoice(engine.mixer(), test::dc(kRate, 1000)));
  const uint64_t t0 = 3'000'000'000;
  ASSERT_TRUE(live.queue().push(StampedMessage{t0 - ns(kPeriod) + ns(20.5), noteOn(36)}));
  const TimedMessage at5[] = {{5, noteOn(37)}};
  const std::vector<float> out = play(1, [&](int) { return t0; }, at5);
  EXPECT_EQ(onset(out), 5);
  EXPECT_EQ(out[19], out[10]);
  EXPECT_GT(out[20], out[19]);
}

TEST_F(Live, SongAndSequencerMessagesAreMergedByTheirStamps) {
  // The song's note is due first though it sits in the other queue.
  for (auto& src : doc.sound(1).sources) src = 0;
  engine.voices().publish(1, 0, test::makeVoice(engine.mixer(), test::dc(kRate, 1000)));
  const uint64_t t0 = 3'000'000'000;
  ASSERT_TRUE(live.queue().push(StampedMessage{t0 - ns(kPeriod) + ns(30.5), noteOn(37)}));
  ASSERT_TRUE(live.songQueue().push(StampedMessage{t0 - ns(kPeriod) + ns(10.5), noteOn(36)}));
  const std::vector<float> out = play(1, [&](int) { return t0; });
  EXPECT_EQ(onset(out), 10);
  EXPECT_EQ(out[29], out[20]);
  EXPECT_GT(out[30], out[29]);
}

// A song played in: every channel message stamped with the song's start plus its exact time.
class SongInputTest : public ::testing::Test {
 protected:
  static MidiSong song(std::vector<uint64_t> times, uint64_t unitsPerSecond) {
    MidiSong s;
    s.timeUnitsPerSecond = unitsPerSecond;
    for (std::size_t i = 0; i < times.size(); ++i) {
      MidiFileEvent e;
      e.time = times[i];
      e.message = packShortMessage(0x99, 36 + static_cast<int>(i), 100);
      s.events.push_back(e);
    }
    s.endTime = times.empty() ? 0 : times.back() + unitsPerSecond;
    return s;
  }
  std::vector<StampedMessage> drain() {
    std::vector<StampedMessage> out;
    StampedMessage m;
    while (queue.peek(m)) {
      out.push_back(m);
      queue.pop();
    }
    return out;
  }
  MessageQueue queue;
  SongInput input{queue};
};

TEST_F(SongInputTest, PushesEveryMessageStampedWithItsTimeFromTheStart) {
  // Stamps already past are pushed at once; 44100 units a second, so one unit is 22675.7 ns.
  const uint64_t start = 1000;
  input.start(song({0, 1, 44100, 44100, 441000}, 44100), start);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!input.finished() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(input.finished());
  const std::vector<StampedMessage> got = drain();
  const std::vector<uint64_t> stamps = {start, start + 22676, start + 1'000'000'000, start + 1'000'000'000, start + 10'000'000'000};
  ASSERT_EQ(got.size(), stamps.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].timeNs, stamps[i]) << i;
    EXPECT_EQ(got[i].message, packShortMessage(0x99, 36 + static_cast<int>(i), 100)) << i;
  }
  EXPECT_EQ(input.endNs(), start + 11'000'000'000);
}

TEST_F(SongInputTest, PushesOnlyWhatIsDueAndStopsAtOnce) {
  // The first note is due now, the second in an hour: only the first goes, and stopping does not
  // wait for the second.
  input.start(song({0, 3600ull * 1000}, 1000), steadyNowNs());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  StampedMessage m;
  while (!queue.peek(m) && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const auto before = std::chrono::steady_clock::now();
  input.stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
  EXPECT_FALSE(input.finished());
  EXPECT_EQ(drain().size(), 1u);
}

// A server that switches its rate under the running program: the next period plays at the new
// rate, so a sample keeps its pitch (it lasts as long in seconds, longer in frames).
TEST_F(Live, FollowsTheDeviceRateWhenTheServerChangesIt) {
  for (auto& src : doc.sound(1).sources) src = 0;
  engine.voices().publish(1, 0, test::makeVoice(engine.mixer(), test::dc(1000, 1000)));
  live.followDeviceRate(48000);
  const TimedMessage hit[] = {{0, noteOn(37)}};
  const std::vector<float> out = play(40, [](int k) { return 1'000'000'000 + ns(k * kPeriod); }, hit);
  EXPECT_EQ(engine.mixer().deviceRate(), 48000);
  int sounding = 0;
  for (float v : out) sounding += v != 0.0f;
  EXPECT_NEAR(sounding, 1000.0 * 48000 / kRate, 2);
  live.followDeviceRate(1);  // nothing the mixer could play: ignored
  play(1, [](int) { return 2'000'000'000; });
  EXPECT_EQ(engine.mixer().deviceRate(), 48000);
}

// The percentile leaves out the slowest hundredth of the periods, and no more.
TEST_F(Live, TheNinetyNinthPercentileLeavesOutTheSlowestHundredth) {
  float left[kPeriod], right[kPeriod];
  const auto runTaking = [&](uint64_t ns) { live.run(left, right, kPeriod, {}, steadyNowNs() - ns); };
  for (int k = 0; k < 100; ++k) runTaking(0);
  for (int k = 0; k < 3; ++k) runTaking(1'500'000);
  runTaking(1'000'000'000);
  // Four slow periods of 104: the second slowest bucket decides.
  CycleStats s = live.stats();
  EXPECT_GE(s.p99Ns, 1'500'000u);
  EXPECT_LT(s.p99Ns, 1'900'000u);
  EXPECT_GE(s.maxNs, 1'000'000'000u);
  // Two in the open-ended last bucket: only the slowest period bounds it.
  runTaking(1'000'000'000);
  s = live.stats();
  EXPECT_EQ(s.p99Ns, s.maxNs);
  live.resetStats();
  runTaking(0);
  EXPECT_LT(live.stats().p99Ns, 1'000'000u);
}

// Freewheeling (a host exporting) has no deadline: a long callback is no slow period, and a
// queued message has no place on a clock the periods do not follow, so it goes first.
TEST_F(Live, FreewheelingCountsNoSlowPeriodsAndPlaysQueuedMessagesAtOnce) {
  float left[kPeriod], right[kPeriod];
  const uint64_t secondAgo = steadyNowNs() - 1'000'000'000;
  live.run(left, right, kPeriod, {}, secondAgo);
  EXPECT_EQ(live.stats().slowCycles, 1u);
  live.setFreewheel(true);
  live.run(left, right, kPeriod, {}, secondAgo);
  EXPECT_EQ(live.stats().slowCycles, 1u);
  // Periods a microsecond apart; the message arrived just before the last one.
  const uint64_t t0 = 5'000'000'000;
  for (int k = 0; k < 10; ++k) live.run(left, right, kPeriod, {}, t0 + 1000 * static_cast<uint64_t>(k));
  ASSERT_TRUE(live.queue().push(StampedMessage{t0 + 9500, noteOn(36)}));
  const std::vector<float> out = play(1, [&](int) { return t0 + 10'000; });
  EXPECT_EQ(onset(out), 0);
}

// Wake-up times: the k-th period wakes at start + k periods stretched by `drift`, plus noise.
std::vector<uint64_t> wakeTimes(int periods, double jitterFrames, double drift, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> jitter(-jitterFrames, jitterFrames);
  std::vector<uint64_t> wakes;
  for (int k = 0; k < periods; ++k) wakes.push_back(1'000'000'000 + ns(k * kPeriod * (1.0 + drift) + jitter(rng)));
  return wakes;
}

// The largest distance, in frames, between the timeline and the true period starts over the
// last half of the run.
double worstSettledError(const std::vector<uint64_t>& wakes, double drift) {
  ArrivalTimeline t;
  t.reset(kRate, kPeriod);
  double worst = 0.0;
  for (std::size_t k = 0; k < wakes.size(); ++k) {
    const double placed = t.beginPeriod(wakes[k], kPeriod);
    const double truth = 1e9 + static_cast<double>(k) * kPeriod * (1.0 + drift) * 1e9 / kRate;
    if (k >= wakes.size() / 2) worst = std::max(worst, std::fabs(placed - truth) * kRate / 1e9);
  }
  return worst;
}

TEST(ArrivalTimelineTest, FiltersWakeJitterAndFollowsClockDrift) {
  constexpr int kPeriods = 8000;  // about 12 s of 64-frame periods
  // Regular wake-ups are taken as they are.
  EXPECT_LT(worstSettledError(wakeTimes(kPeriods, 0.0, 0.0, 1), 0.0), 0.01);
  // Wake-ups an eighth of a period early or late: the settled timeline stays within a frame.
  EXPECT_LT(worstSettledError(wakeTimes(kPeriods, kPeriod / 8.0, 0.0, 2), 0.0), 1.0);
  // A device clock 200 ppm slow against the system's, plus jitter: followed without lag.
  EXPECT_LT(worstSettledError(wakeTimes(kPeriods, kPeriod / 8.0, 200e-6, 3), 200e-6), 1.0);
}

TEST(ArrivalTimelineTest, LongPeriodsKeepTheLoopStable) {
  // 8192 frames at 8000 Hz: a period longer than a second, where the loop's widest stable
  // bandwidth lies below the one it settles to elsewhere.
  ArrivalTimeline t;
  t.reset(8000, 8192);
  const double length = 8192 * 1e9 / 8000;
  for (int k = 0; k < 50; ++k) {
    const double placed = t.beginPeriod(static_cast<uint64_t>(1e9 + k * length + (k % 2 ? 2e6 : -2e6)), 8192);
    EXPECT_LE(std::fabs(placed - (1e9 + k * length)), 2e6) << k;
  }
}

TEST(ArrivalTimelineTest, StartsAfreshAfterAGap) {
  ArrivalTimeline t;
  t.reset(kRate, kPeriod);
  const uint64_t start = 1'000'000'000;
  for (int k = 0; k < 100; ++k) t.beginPeriod(start + ns(k * kPeriod), kPeriod);
  // An xrun: a whole second passes; the timeline jumps to the wake-up.
  const uint64_t later = start + 1'000'000'000;
  EXPECT_DOUBLE_EQ(t.beginPeriod(later, kPeriod), static_cast<double>(later));
  EXPECT_EQ(t.dueFrame(later - ns(kPeriod), static_cast<double>(later)), 0);
  EXPECT_EQ(t.dueFrame(later - ns(kPeriod) + ns(10.5), static_cast<double>(later)), 10);
  EXPECT_LT(t.dueFrame(later - ns(2 * kPeriod), static_cast<double>(later)), 0);
}

// PulseAudio asks for three periods at once, so RtAudio calls three periods back to back and
// then none for two periods. Within the slack the backend gives (its buffer) the timeline keeps
// an even grid; with only one period of slack it took each burst for a gap, started afresh at
// the raw wake-ups, and notes landed up to two periods off.
TEST(ArrivalTimelineTest, BurstsWithinTheSlackKeepAnEvenGrid) {
  const auto worstStep = [](int slack) {
    ArrivalTimeline t;
    t.reset(kRate, kPeriod, slack);
    const uint64_t start = 1'000'000'000;
    double last = 0, worst = 0;
    for (int k = 0; k < 3000; ++k) {
      const double at = t.beginPeriod(start + ns((k / 3) * 3 * kPeriod) + 2000 * static_cast<uint64_t>(k % 3), kPeriod);
      if (k > 500) worst = std::max(worst, std::fabs(at - last - ns(kPeriod)));
      last = at;
    }
    return worst;
  };
  EXPECT_LT(worstStep(3 * kPeriod), ns(kPeriod) / 8.0);
  EXPECT_GT(worstStep(0), ns(kPeriod));
}

}  // namespace
}  // namespace zumbel
