// The window's geometry: which pad and which row a point hits, and the scroll thumb.

#include <gtest/gtest.h>

#include "SkinLayout.h"

namespace zumbel::skin {
namespace {

TEST(PadAt, KeysMeetWithoutGapsAndTheWideBottomRowRunsUnderTheBlackKeys) {
  EXPECT_EQ(padAt(30, 300, 0), (PadHit{0, 0, 0, false}));
  EXPECT_EQ(padAt(37, 290, 0), (PadHit{1, 1, 0, false}));  // key 0 ends at relative x 30
  EXPECT_EQ(padAt(40, 445, 0), (PadHit{0, 0, 4, false}));  // the C pad runs under C sharp
  EXPECT_FALSE(padAt(45, 446, 0));  // between the bottom pads of keys 0 and 2
  EXPECT_FALSE(padAt(37, 443, 0));  // below the black key's last pad
  EXPECT_FALSE(padAt(7, 286, 0));   // the keyboard's corner, left of key 0
  EXPECT_FALSE(padAt(600, 300, 0));
}

TEST(PadAt, TheRightKeyboardShowsTheNextOctave) {
  EXPECT_EQ(padAt(297, 300, 0), (PadHit{12, 0, 0, true}));
  EXPECT_EQ(padAt(304, 300, 24), (PadHit{37, 1, 0, true}));
  // The last pad the window can show: key 11, sound 71.
  const Rect last = padCell(11, 4).moved(kRightKeyboardOffset, 0);
  EXPECT_EQ(padAt(last.right - 1, last.bottom - 1, 48), (PadHit{71, 11, 4, true}));
}

TEST(PadAt, EveryPadIsHitAtEachCornerAndNoTwoOverlap) {
  for (int key = 0; key < kKeys; ++key) {
    for (int layer = 0; layer < kPadLayers; ++layer) {
      const Rect c = padCell(key, layer);
      for (const auto& [x, y] : {std::pair{c.left, c.top}, {c.right - 1, c.top}, {c.left, c.bottom - 1}, {c.right - 1, c.bottom - 1}}) {
        EXPECT_EQ(padAt(x, y, 0), (PadHit{key, key, layer, false})) << key << "," << layer << " at " << x << "," << y;
      }
    }
  }
}

TEST(Rows, OnlyRowsThatShowSomethingAreHit) {
  EXPECT_EQ(sampleEntryAt(120, 28, 10, 0), 0);
  EXPECT_EQ(sampleEntryAt(506, 28 + 12 * 6 + 11, 10, 3), 9);  // row 6 shows entry 9
  EXPECT_FALSE(sampleEntryAt(200, 28 + 12 * 7, 10, 3));       // rows 7..15 are empty
  EXPECT_FALSE(sampleEntryAt(507, 30, 10, 0));
  EXPECT_EQ(sampleEntryAt(130, 28 + 12 * 15, 100, 84), 99);
  EXPECT_EQ(groupAt(8, 40, 2), 1);
  EXPECT_FALSE(groupAt(8, 52, 2));
  EXPECT_FALSE(groupAt(118, 30, 2));
}

TEST(ScrollThumb, HeightAndStepFollowTheListLength) {
  const ScrollThumb t17 = scrollThumb(17, 1);
  EXPECT_EQ(t17.thumb, (Rect{510, 50, 524, 206}));
  EXPECT_NEAR(t17.step, 9.7647, 1e-4);
  EXPECT_EQ(t17.inner, (Rect{512, 52, 522, 204}));
  EXPECT_EQ(t17.core, (Rect{514, 54, 520, 202}));
  const ScrollThumb last = scrollThumb(100, 84);
  EXPECT_EQ(last.thumb, (Rect{510, 180, 524, 206}));
  EXPECT_NEAR(last.step, 1.66, 1e-9);
  // However long the list, the thumb stays inside the track on every page.
  for (int n : {17, 18, 33, 100, 1000, 5000}) {
    for (int top = 0; top <= n - kListRows; top += 1 + n / 50) {
      const Rect r = scrollThumb(n, top).thumb;
      EXPECT_GE(r.top, kScrollTrack.top) << n << " " << top;
      EXPECT_LE(r.bottom, kScrollTrack.bottom) << n << " " << top;
    }
  }
}

TEST(Octaves, CaptionsFollowTheFirstShownSound) {
  EXPECT_EQ(leftOctave(24), 3);
  EXPECT_EQ(rightOctave(24), 4);
  EXPECT_EQ(octavePair(48), 2);
  EXPECT_EQ(leftOctave(48), 5);
}

}  // namespace
}  // namespace zumbel::skin
