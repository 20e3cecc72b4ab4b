// What the Sound Properties dialog computes and writes without a window: the rate table, pitch
// to rate and back, and every label text with its thresholds.

#include <cstdlib>

#include <gtest/gtest.h>

#include "SoundLabels.h"
#include "SoundPitch.h"

namespace zumbel {
namespace {

TEST(SoundPitch, RateTableRunsFromHalfToDoubleTheSampleRate) {
  const auto& t = RateTable();
  EXPECT_EQ(t[0], 5512);
  EXPECT_EQ(t[12], 11025);
  EXPECT_EQ(t[24], 22050);
  EXPECT_EQ(t[35], 41624);
  EXPECT_EQ(t[36], 44100);
  EXPECT_EQ(t[37], 46722);
  EXPECT_EQ(t[48], 88200);
  EXPECT_EQ(t[49], 93444);
}

TEST(SoundPitch, WholeStepsOfCentsFallOneHertzShortAndReadBackFromTheNearestSemitone) {
  struct Case {
    int semitone, cents, rate;
    Pitch readBack;
  };
  const Case cases[] = {
      {36, 0, 44100, {36, 0}},   {36, 100, 46721, {37, -1}}, {36, -100, 41625, {35, 0}},
      {36, 50, 45410, {36, 49}}, {1, -100, 5513, {1, -100}}, {48, 100, 93443, {48, 100}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PitchToRate(c.semitone, c.cents), c.rate) << c.semitone << " " << c.cents;
    EXPECT_EQ(RateToPitch(c.rate), c.readBack) << c.rate;
  }
  // Not set: the sample as recorded.
  EXPECT_EQ(RateToPitch(0), (Pitch{36, 0}));
}

TEST(SoundPitch, EveryRateTheDialogCanSetReadsBackWithinACentAndWithinTheControlsRanges) {
  for (int s = kMinSemitoneIndex; s <= kMaxSemitoneIndex; ++s) {
    for (int c = kMinCents; c <= kMaxCents; ++c) {
      const Pitch p = RateToPitch(PitchToRate(s, c));
      ASSERT_GE(p.semitoneIndex, kMinSemitoneIndex);
      ASSERT_LE(p.semitoneIndex, kMaxSemitoneIndex);
      ASSERT_GE(p.cents, kMinCents);
      ASSERT_LE(p.cents, kMaxCents);
      ASSERT_LE(std::abs((p.semitoneIndex - s) * 100 + p.cents - c), 1) << s << " " << c;
    }
  }
}

TEST(SoundPitch, RatesBeyondTheDialogsReachShowAsItsNearestEnd) {
  EXPECT_EQ(RateToPitch(93444), (Pitch{48, 100}));
  EXPECT_EQ(RateToPitch(100000), (Pitch{48, 100}));
  EXPECT_EQ(RateToPitch(INT32_MAX), (Pitch{48, 100}));
  // Above the midpoint of the top step: still the highest semitone, with the nearest cents.
  EXPECT_EQ(RateToPitch(93000), (Pitch{48, 92}));
  EXPECT_EQ(RateToPitch(5000), (Pitch{1, -100}));
  EXPECT_EQ(RateToPitch(-5), (Pitch{1, -100}));
  EXPECT_EQ(RateToPitch(INT32_MIN), (Pitch{1, -100}));
  // A rate the dialog could not set between the lowest two semitones reads as the nearest one.
  EXPECT_EQ(PitchToRate(1, -50), 5677);
  EXPECT_EQ(RateToPitch(5677), (Pitch{1, -50}));
}

TEST(SoundLabels, CompressReadsOneOfTwoFamiliesOfTextsByItsDegree) {
  EXPECT_EQ(CompressLabel(0), "Compress 100 (hi compress)");
  EXPECT_EQ(CompressLabel(-2080), "Compress 74 (medium compress)");
  EXPECT_EQ(CompressLabel(-4080), "Compress 49 (slight compress)");
  EXPECT_EQ(CompressLabel(-6000), "Compress 25 (slight compress)");
  EXPECT_EQ(CompressLabel(-6080), "Compress 24 (hi dynamics)");
  EXPECT_EQ(CompressLabel(-6079), "Compress 25 (slight compress)");  // truncated toward zero
  EXPECT_EQ(CompressLabel(-8000), "Compress 0 (hi dynamics)");
  EXPECT_EQ(CompressMovingLabel(-8000), "Compres 0 (full dynamics)");
  EXPECT_EQ(CompressMovingLabel(-6000), "Compres 25 (slight compress)");
  EXPECT_EQ(CompressMovingLabel(-4000), "Compres 50 (medium compress)");
  EXPECT_EQ(CompressMovingLabel(0), "Compres 100 (hi compress)");
}

TEST(SoundLabels, NotesCountOctavesFromTheFirstSoundAndNameTheSeventhDegreeH) {
  EXPECT_EQ(OctaveLabel(0), "Octave 1 C");
  EXPECT_EQ(OctaveLabel(1), "Octave 1 C#");
  EXPECT_EQ(OctaveLabel(11), "Octave 1 H");
  EXPECT_EQ(OctaveLabel(71), "Octave 6 H");
  EXPECT_EQ(MidinoteLabel(1), "Midinote 2 ");
  const CutLabels off = CutNoteLabels(-1);
  EXPECT_EQ(off.first, "Cut function Off");
  EXPECT_EQ(off.second, "");
  const CutLabels twelve = CutNoteLabels(12);
  EXPECT_EQ(twelve.first, "This note will cut note 13");
  EXPECT_EQ(twelve.second, "(Octave 2 C)");
  EXPECT_EQ(CutNoteLabels(13).second, "(Octave 2 C#)");
  // A cut note a damaged file left negative still names a note.
  EXPECT_EQ(NoteName(-1), std::string("H"));
}

}  // namespace
}  // namespace zumbel
