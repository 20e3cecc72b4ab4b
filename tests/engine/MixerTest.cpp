// The mixer's laws: volume and pan in hundredths of a decibel, frequency with its accepted range,
// exact copies at rate 1, cubic interpolation otherwise, ramps instead of clicks.

#include <cmath>
#include <algorithm>
#include <numbers>
#include <random>

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "MixKernels.h"
#include "Mixer.h"

namespace zumbel {
namespace {

using test::mix;
using test::s16;

// Left rises by `step` per frame, right falls by half of it.
std::vector<int16_t> ramp(int frames, int step = 100) {
  std::vector<int16_t> out;
  for (int i = 0; i < frames; ++i) {
    out.push_back(static_cast<int16_t>(step * i));
    out.push_back(static_cast<int16_t>(-step / 2 * i));
  }
  return out;
}

struct Fixture {
  explicit Fixture(std::vector<int16_t> frames, int rate = kOutputRate)
      : mixer(rate), pcm(PcmBlock::create(frames.data(), static_cast<int64_t>(frames.size() / 2))),
        slot(mixer.acquireSlot(pcm.get())) {}
  Mixer mixer;
  std::unique_ptr<PcmBlock> pcm;
  SlotId slot;
};

TEST(Mixer, RateOneIsAnExactCopyAndEndsWithTheSample) {
  Fixture f(ramp(100));
  f.mixer.play(f.slot, false);
  const auto r = mix(f.mixer, 128);
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(r.left[static_cast<std::size_t>(i)], s16(100 * i)) << i;
    ASSERT_EQ(r.right[static_cast<std::size_t>(i)], s16(-50 * i)) << i;
  }
  for (int i = 100; i < 128; ++i) EXPECT_EQ(r.left[static_cast<std::size_t>(i)], 0.0f);
  EXPECT_FALSE(f.mixer.isSounding(f.slot));
  EXPECT_EQ(f.mixer.activeSlotCount(), 0);
}

TEST(Mixer, VolumeAndPanAreHundredthsOfADecibel) {
  struct Case {
    int32_t volume, pan;
    double left, right;  // expected gains
  };
  const Case cases[] = {
      {0, 0, 1.0, 1.0},
      {-600, 0, std::pow(10.0, -0.3), std::pow(10.0, -0.3)},
      {-2000, 0, 0.1, 0.1},
      {0, 1000, std::pow(10.0, -0.5), 1.0},     // pan right attenuates the left side
      {0, -2000, 1.0, 0.1},
      {-1000, 500, std::pow(10.0, -0.75), std::pow(10.0, -0.5)},
      {0, 10000, 0.0, 1.0},                       // hard right: left silent
      {-10000, 0, 0.0, 0.0},                      // the bottom of the range is silence
      {-20000, 0, 0.0, 0.0},                      // beyond it is clamped, not ignored
      {500, 0, 1.0, 1.0},                         // no gain above 0 dB
  };
  for (const Case& c : cases) {
    Fixture f(test::dc(64, 10000));
    f.mixer.setVolume(f.slot, c.volume);
    f.mixer.setPan(f.slot, c.pan);
    f.mixer.play(f.slot, false);
    const auto r = mix(f.mixer, 32);
    EXPECT_NEAR(r.left[5], s16(10000) * c.left, 1e-6) << c.volume << "/" << c.pan;
    EXPECT_NEAR(r.right[5], s16(10000) * c.right, 1e-6) << c.volume << "/" << c.pan;
  }
}

TEST(Mixer, FrequencyRangeAndOwnRate) {
  Fixture f(ramp(400, 50));
  EXPECT_TRUE(f.mixer.setFrequency(f.slot, 22050));
  for (int refused : {99, 100001, -8000, 50, 1000000}) {
    EXPECT_FALSE(f.mixer.setFrequency(f.slot, refused)) << refused;
    EXPECT_EQ(f.mixer.frequency(f.slot), 22050) << refused;
  }
  EXPECT_TRUE(f.mixer.setFrequency(f.slot, 100));
  EXPECT_TRUE(f.mixer.setFrequency(f.slot, 100000));
  EXPECT_TRUE(f.mixer.setFrequency(f.slot, 0));

  // Half speed passes through every sample on the even frames (cubic interpolation is exact
  // there) and doubles the length; double speed takes every other sample.
  f.mixer.setFrequency(f.slot, 22050);
  f.mixer.play(f.slot, false);
  auto r = mix(f.mixer, 800);
  for (int k = 0; k < 400; ++k) ASSERT_FLOAT_EQ(r.left[static_cast<std::size_t>(2 * k)], s16(50 * k)) << k;
  for (int k = 1; k < 398; ++k) ASSERT_NEAR(r.left[static_cast<std::size_t>(2 * k + 1)], s16(50 * k + 25), 1e-6) << k;
  f.mixer.setFrequency(f.slot, 88200);
  f.mixer.play(f.slot, false);
  r = mix(f.mixer, 250);
  for (int k = 0; k < 200; ++k) ASSERT_FLOAT_EQ(r.right[static_cast<std::size_t>(k)], s16(-50 * k)) << k;
  EXPECT_EQ(r.right[200], 0.0f);
}

TEST(Mixer, CubicInterpolationOfASineStaysWithinOneStep) {
  // A 440 Hz sine at 44.1 kHz, read at an awkward ratio, against the ideal resampled sine.
  const int frames = 20000;
  const double amplitude = 30000;
  std::vector<int16_t> sine;
  for (int i = 0; i < frames; ++i) {
    const auto v = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * std::numbers::pi * 440 * i / 44100.0)));
    sine.push_back(v);
    sine.push_back(v);
  }
  for (int hz : {37913, 44101, 52356, 61234}) {
    Fixture f(sine);
    f.mixer.setFrequency(f.slot, hz);
    f.mixer.play(f.slot, false);
    const auto r = mix(f.mixer, 4000);
    const double ratio = hz / 44100.0;
    double worst = 0;
    for (int k = 2; k < 4000; ++k) {
      const double ideal = amplitude * std::sin(2 * std::numbers::pi * 440 * (k * ratio) / 44100.0);
      worst = std::max(worst, std::abs(r.left[static_cast<std::size_t>(k)] * 32768.0 - ideal));
    }
    EXPECT_LT(worst, 1.0) << hz;  // rounding of the stored samples alone is 0.5
  }
}

TEST(Mixer, AnyDeviceRateScalesTheStep) {
  Fixture f(ramp(441, 60), 48000);
  f.mixer.play(f.slot, false);
  const auto r = mix(f.mixer, 600);
  // 441 frames at 44100 Hz last 10 ms: 480 frames at 48000 Hz.
  int last = 0;
  for (int i = 0; i < 600; ++i) {
    if (r.left[static_cast<std::size_t>(i)] != 0.0f) last = i;
  }
  EXPECT_NEAR(last, 479, 1);
  // Frame k of the output sits at 44100/48000 k frames of the sample.
  EXPECT_NEAR(r.left[240] * 32768.0f, 60 * 240 * 44100.0 / 48000.0, 1.0);
}

TEST(Mixer, StopFadesOutInsteadOfClicking) {
  Fixture f(test::dc(44100, 20000));
  f.mixer.play(f.slot, false);
  mix(f.mixer, 100);
  f.mixer.stop(f.slot);
  const auto r = mix(f.mixer, 400);
  const auto rampFrames = static_cast<int>(std::lround(kStopRampSeconds * kOutputRate));
  EXPECT_NEAR(r.left[0], s16(20000), 1e-3);
  for (int i = 1; i < rampFrames; ++i) {
    ASSERT_LE(r.left[static_cast<std::size_t>(i)], r.left[static_cast<std::size_t>(i - 1)]);
    ASSERT_LT(r.left[static_cast<std::size_t>(i - 1)] - r.left[static_cast<std::size_t>(i)], 2.0f * s16(20000) / rampFrames);
  }
  for (int i = rampFrames; i < 400; ++i) ASSERT_EQ(r.left[static_cast<std::size_t>(i)], 0.0f) << i;
  EXPECT_FALSE(f.mixer.isSounding(f.slot));
}

TEST(Mixer, RestartingASoundingSlotFadesTheOldSoundUnderTheNewOne) {
  Fixture f(ramp(600, 50));
  f.mixer.play(f.slot, false);
  mix(f.mixer, 100);
  f.mixer.play(f.slot, false);
  const auto r = mix(f.mixer, 300);
  const auto rampFrames = static_cast<int>(std::lround(kStopRampSeconds * kOutputRate));
  EXPECT_FLOAT_EQ(r.left[0], s16(50 * 100));  // the old sound at full level, the new one at 0
  EXPECT_LT(r.left[rampFrames / 2], s16(50 * (100 + rampFrames / 2)));
  for (int i = rampFrames; i < 300; ++i) ASSERT_EQ(r.left[static_cast<std::size_t>(i)], s16(50 * i)) << i;
}

TEST(Mixer, VolumeChangeOfASoundingSlotGlides) {
  Fixture f(test::dc(44100, 20000));
  f.mixer.play(f.slot, false);
  mix(f.mixer, 10);
  f.mixer.setVolume(f.slot, -2000);
  const auto r = mix(f.mixer, 400);
  EXPECT_GT(r.left[0], s16(19000));
  EXPECT_NEAR(r.left[399], s16(2000), 1e-4);
  EXPECT_TRUE(f.mixer.isSounding(f.slot));
}

TEST(Mixer, TrimLiftsLowersGlidesAndSilences) {
  Fixture f(test::dc(44100, 10000));
  f.mixer.setTrim(f.slot, 600);  // +6 dB: above full scale, which only a trim may reach
  f.mixer.play(f.slot, false);
  EXPECT_NEAR(mix(f.mixer, 8).left[0], s16(10000) * std::pow(10.0, 0.3), 1e-4);
  // A level change while the hit rings glides over the stop ramp: no step between two frames
  // is larger than the ramp's share of the change, and the new level holds within a period.
  f.mixer.setTrim(f.slot, -600);
  const auto r = mix(f.mixer, 256);
  const double from = s16(10000) * std::pow(10.0, 0.3), to = s16(10000) * std::pow(10.0, -0.3);
  const int ramp = static_cast<int>(std::lround(kStopRampSeconds * kOutputRate));
  for (int i = 1; i < 256; ++i) EXPECT_LE(std::abs(r.left[i] - r.left[i - 1]), (from - to) / ramp + 1e-5) << i;
  EXPECT_NEAR(r.left[255], to, 1e-4);
  // The volume law's silence stays silence however high the trim, and the trim's floor is off.
  f.mixer.setTrim(f.slot, kMaxTrim);
  f.mixer.setVolume(f.slot, kSilentVolume);
  f.mixer.play(f.slot, false);  // the hit it restarts fades out under it first
  EXPECT_EQ(mix(f.mixer, 256).left[255], 0.0f);
  f.mixer.setVolume(f.slot, 0);
  f.mixer.setTrim(f.slot, INT32_MIN);
  f.mixer.play(f.slot, false);
  EXPECT_EQ(mix(f.mixer, 256).left[255], 0.0f);
}

TEST(Mixer, EachSlotPlaysOnItsOutputAndUnaskedPairsFallToTheFirst) {
  Fixture f(test::dc(1000, 1000));
  const auto other = PcmBlock::create(test::dc(1000, 3000).data(), 1000);
  const SlotId second = f.mixer.acquireSlot(other.get());
  f.mixer.setOutput(f.slot, 0);
  f.mixer.setOutput(second, 5);
  f.mixer.play(f.slot, false);
  f.mixer.play(second, false);
  std::vector<float> buf(16 * 64, -1.0f);
  OutputPairs out;
  out.count = kMixerOutputPairs;
  for (int k = 0; k < kMixerOutputPairs; ++k) {
    out.left[static_cast<std::size_t>(k)] = buf.data() + 128 * k;
    out.right[static_cast<std::size_t>(k)] = buf.data() + 128 * k + 64;
  }
  f.mixer.beginCycle();
  f.mixer.render(out, 64);
  f.mixer.endCycle();
  for (int k = 0; k < kMixerOutputPairs; ++k) {
    const float want = k == 0 ? s16(1000) : k == 5 ? s16(3000) : 0.0f;
    EXPECT_EQ(out.left[static_cast<std::size_t>(k)][63], want) << k;
    EXPECT_EQ(out.right[static_cast<std::size_t>(k)][0], want) << k;
  }
  // Asked for three pairs only, output 6 plays on the first: one pair is always the whole mix.
  out.count = 3;
  f.mixer.beginCycle();
  f.mixer.render(out, 64);
  f.mixer.endCycle();
  EXPECT_EQ(out.left[0][10], s16(1000) + s16(3000));
  EXPECT_EQ(out.left[2][10], 0.0f);
}

TEST(Mixer, TheLastCommandBeforeARenderWins) {
  Fixture f(test::dc(1000, 1000));
  f.mixer.play(f.slot, false);
  f.mixer.stop(f.slot);
  EXPECT_EQ(mix(f.mixer, 16).left[3], 0.0f);
  f.mixer.stop(f.slot);
  f.mixer.play(f.slot, false);
  EXPECT_EQ(mix(f.mixer, 16).left[3], s16(1000));
}

TEST(Mixer, LoopingWrapsUntilStopped) {
  Fixture f(ramp(10));
  f.mixer.play(f.slot, true);
  auto r = mix(f.mixer, 35);
  for (int i = 0; i < 35; ++i) ASSERT_EQ(r.left[static_cast<std::size_t>(i)], s16(100 * (i % 10))) << i;
  f.mixer.stop(f.slot);
  mix(f.mixer, 400);
  // A fractional rate interpolates across the wrap from the end back to the start.
  f.mixer.setFrequency(f.slot, 22050);
  f.mixer.play(f.slot, true);
  r = mix(f.mixer, 40);
  EXPECT_FLOAT_EQ(r.left[20], s16(0));
  EXPECT_GT(r.left[19], s16(0));  // between 900 and 0 on the way round
  EXPECT_LT(r.left[19], s16(900));
  // Just past the seam the sample before the first is the loop's last one, not silence.
  EXPECT_FLOAT_EQ(r.left[21], cubicPoint(900, 0, 100, 200, 0.5f) * kSampleScale);
  f.mixer.stop(f.slot);
  mix(f.mixer, 400);
  EXPECT_FALSE(f.mixer.isSounding(f.slot));
}

TEST(Mixer, ReleasedSlotsAreForgottenAndThePoolRunsOutQuietly) {
  Fixture f(test::dc(1000, 1000));
  f.mixer.play(f.slot, false);
  mix(f.mixer, 8);
  f.mixer.releaseSlot(f.slot);
  f.mixer.play(f.slot, false);  // a late command on a released slot does not restart it
  EXPECT_FALSE(f.mixer.isIdle(f.slot));
  const auto r = mix(f.mixer, 400);
  EXPECT_GT(r.left[0], 0.0f);  // it fades out instead of stopping dead
  EXPECT_LT(r.left[60], r.left[0]);
  EXPECT_EQ(r.left[399], 0.0f);
  EXPECT_EQ(f.mixer.activeSlotCount(), 0);
  EXPECT_TRUE(f.mixer.isIdle(f.slot));
  f.mixer.recycleSlot(f.slot);

  std::vector<SlotId> taken;
  for (SlotId s = f.mixer.acquireSlot(f.pcm.get()); s != kNoSlot; s = f.mixer.acquireSlot(f.pcm.get())) taken.push_back(s);
  EXPECT_EQ(taken.size(), static_cast<std::size_t>(kMaxSlots));
  EXPECT_EQ(f.mixer.freeSlotCount(), 0);
  f.mixer.play(kNoSlot, false);  // commands on no slot are ignored
  EXPECT_FALSE(f.mixer.setFrequency(kNoSlot, 44100));
}

// A host may cut the same stream into blocks of any size. Voices that end inside one block in one
// cutting and in different blocks in another must still be summed in the same order, and a ramp
// cut anywhere must go on with the same gains, or the last bits of a sample change.
TEST(Mixer, BlockBoundariesDoNotChangeASample) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> value(-20000, 20000);
  std::vector<std::unique_ptr<PcmBlock>> blocks;
  for (const int frames : {37, 300, 41, 999, 64, 500}) {
    std::vector<int16_t> noise(static_cast<std::size_t>(2 * frames));
    for (int16_t& v : noise) v = static_cast<int16_t>(value(random));
    blocks.push_back(PcmBlock::create(noise.data(), frames));
  }
  // Each voice starts at its frame, some off their own rate so they interpolate.
  const int starts[] = {0, 5, 5, 40, 90, 91};
  const int32_t rates[] = {0, 30000, 0, 52000, 0, 44000};
  constexpr int kTotal = 2000, kGlideAt = 120, kStopAt = 150;
  auto play = [&](std::vector<int> cuts) {
    Mixer mixer;
    std::vector<SlotId> slots;
    for (std::size_t v = 0; v < blocks.size(); ++v) {
      slots.push_back(mixer.acquireSlot(blocks[v].get()));
      mixer.setFrequency(slots.back(), rates[v]);
    }
    for (const int s : starts) cuts.push_back(s);
    cuts.insert(cuts.end(), {kGlideAt, kStopAt, kTotal});
    std::sort(cuts.begin(), cuts.end());
    std::vector<float> left(kTotal), right(kTotal);
    int at = 0;
    for (const int cut : cuts) {
      for (std::size_t v = 0; v < blocks.size(); ++v) {
        if (starts[v] == at) mixer.play(slots[v], false);
      }
      // A glide and a fade that the cuts split anywhere.
      if (at == kGlideAt) mixer.setVolume(slots[3], -900);
      if (at == kStopAt) mixer.stop(slots[1]);
      if (cut > at) mixer.render(left.data() + at, right.data() + at, cut - at);
      at = std::max(at, cut);
    }
    return std::pair{left, right};
  };
  const auto whole = play({});
  std::uniform_int_distribution<int> cut(1, kTotal - 1);
  for (int trial = 0; trial < 20; ++trial) {
    std::vector<int> cuts;
    for (int i = 0; i < 1 + trial * 3; ++i) cuts.push_back(cut(random));
    const auto pieces = play(cuts);
    for (int f = 0; f < kTotal; ++f) {
      ASSERT_EQ(whole.first[static_cast<std::size_t>(f)], pieces.first[static_cast<std::size_t>(f)]) << "trial " << trial << " frame " << f;
      ASSERT_EQ(whole.second[static_cast<std::size_t>(f)], pieces.second[static_cast<std::size_t>(f)]) << "trial " << trial << " frame " << f;
    }
  }
}

}  // namespace
}  // namespace zumbel
