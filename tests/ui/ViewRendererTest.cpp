// The main window's drawing, pixel by pixel, against a synthetic skin in which every pixel tells
// where it came from: a block copied from the wrong place, or drawn to the wrong place, shows.

#include <QGuiApplication>
#include <QImage>

#include <gtest/gtest.h>

#include "DrumEngine.h"
#include "EngineTestSupport.h"
#include "KitbeatDoc.h"
#include "LampPainter.h"
#include "ViewRenderer.h"

namespace zumbel {
namespace {

using skin::Blit;
using skin::Rect;

// Skin pixel (x, y) of a skin drawn at `scale`: a colour no other pixel has.
QRgb code(int x, int y) { return qRgb(x & 255, y & 255, ((x >> 8) << 4) | (y >> 8)); }

QImage syntheticSkin(int scale) {
  QImage img(skin::kSkinWidth * scale, skin::kSkinHeight * scale, QImage::Format_RGB32);
  for (int y = 0; y < img.height(); ++y) {
    for (int x = 0; x < img.width(); ++x) img.setPixel(x, y, code(x, y));
  }
  return img;
}

QRgb rgb(skin::Rgb c) { return qRgb(c.r, c.g, c.b); }

class View : public ::testing::Test {
 protected:
  View() {
    doc.OnNewDocument();
    renderer.setSkin(syntheticSkin(1), 1);
    renderer.setFreeMemory([] { return uint64_t{512} << 20; });
  }

  QRgb at(int x, int y) const { return renderer.backing().pixel(x, y); }

  // Every window pixel of `b` shows the skin pixel it was copied from.
  ::testing::AssertionResult copied(const Blit& b) const {
    for (int y = 0; y < b.h; ++y) {
      for (int x = 0; x < b.w; ++x) {
        if (at(b.x + x, b.y + y) != code(b.sx + x, b.sy + y)) {
          return ::testing::AssertionFailure() << "window (" << b.x + x << ", " << b.y + y << ") is not skin ("
                                               << b.sx + x << ", " << b.sy + y << ")";
        }
      }
    }
    return ::testing::AssertionSuccess();
  }
  ::testing::AssertionResult background(const Rect& r) const {
    return copied(Blit{r.left, r.top, r.width(), r.height(), r.left, r.top + skin::kBackgroundTop});
  }
  ::testing::AssertionResult flat(const Rect& r, skin::Rgb colour) const {
    for (int y = r.top; y < r.bottom; ++y) {
      for (int x = r.left; x < r.right; ++x) {
        if (at(x, y) != rgb(colour)) return ::testing::AssertionFailure() << "(" << x << ", " << y << ") is not flat";
      }
    }
    return ::testing::AssertionSuccess();
  }
  int count(const Rect& r, skin::Rgb colour) const {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y) {
      for (int x = r.left; x < r.right; ++x) n += at(x, y) == rgb(colour);
    }
    return n;
  }
  // A pad's window rectangle, its source in a strip at `stripX`.
  static Blit pad(int key, int layer, int stripX) {
    const bool right = key >= skin::kKeys;
    const int k = right ? key - skin::kKeys : key;
    const Rect cell = skin::padCell(k, layer).moved(right ? skin::kRightKeyboardOffset : 0, 0);
    const Rect shape = skin::kPadShape[k][layer];
    return {cell.left, cell.top, shape.width(), shape.height(), shape.left + stripX, shape.top};
  }
  void addGroup(const std::string& name, int entries, const std::string& prefix = "C:\\kits\\") {
    const int g = doc.appendGroup(name);
    for (int i = 0; i < entries; ++i) doc.appendSample(g, prefix + "hit" + std::to_string(i) + ".wav");
  }
  static void own(Sound& s, int layer) {
    if (s.isEmpty()) {
      for (auto& src : s.sources) src = layer;
    }
    s.sources[layer] = layer;
  }

  CKitbeatDoc doc;
  ViewState state;
  ViewRenderer renderer{doc, state};
};

TEST_F(View, FullRedrawShowsTheBackgroundWithEveryRegionAtRest) {
  renderer.FullRedraw();
  // Left of the lists, the whole band under them, and the right side from the scroll bar on.
  EXPECT_TRUE(background(Rect{0, 0, 350, 28}));
  EXPECT_TRUE(background(Rect{0, 221, skin::kWindowWidth, 242}));
  EXPECT_TRUE(background(Rect{524, 28, skin::kWindowWidth, 296}));
  EXPECT_TRUE(background(Rect{0, 286, 558, skin::kWindowHeight}));  // keyboards: no pad holds a sample
  EXPECT_TRUE(background(skin::kMidiInLamp));
  // The sample list is the black scratch; the track is flat, with no thumb for an empty list.
  EXPECT_TRUE(flat(Rect{120, 28, 509, 221}, skin::kTextBackground));
  EXPECT_TRUE(flat(skin::kScrollTrack, skin::kScrollTrackColour));
  // The first octave pair is selected and captioned.
  EXPECT_TRUE(copied(skin::kOctaveSelected[0]));
  EXPECT_TRUE(copied(Blit{11, 242, 103, 42, 250, 196}));
  EXPECT_TRUE(copied(Blit{278, 242, 103, 42, 250, 238}));
  // And the memory meter wrote over its restored field.
  EXPECT_GT(count(Rect{350, 13, 475, 33}, skin::kMemoryText), 10);
}

TEST_F(View, OctaveSelectionCaptionsAndPadsFollowTheFirstShownSound) {
  own(doc.sound(24), 0);        // key 0 of the left keyboard at the second pair
  own(doc.sound(24 + 13), 2);   // right keyboard, key 1
  doc.sound(25).sources = {0, 0, 0, 0, 0};  // borrows: layer 0 only has its own
  own(doc.sound(0), 1);         // not shown at the second pair
  state.firstShownSound = 24;
  renderer.FullRedraw();
  EXPECT_TRUE(copied(skin::kOctaveSelected[1]));
  EXPECT_TRUE(copied(Blit{11, 242, 103, 42, 250, 280}));  // octave 3
  EXPECT_TRUE(copied(Blit{278, 242, 103, 42, 353, 196}));  // octave 4
  EXPECT_TRUE(copied(pad(0, 0, skin::kStripLoadedX)));
  EXPECT_TRUE(copied(pad(13, 2, skin::kStripLoadedX)));
  EXPECT_TRUE(copied(pad(1, 0, skin::kStripLoadedX)));
  EXPECT_TRUE(background(skin::padCell(1, 1)));  // a borrowing layer rests as empty
  EXPECT_TRUE(background(skin::padCell(0, 1)));  // sound 0 is on the other page

  // Back to the first pair: the keyboards are restored before the pads are drawn.
  state.firstShownSound = 0;
  renderer.DrawOctaveSelection();
  EXPECT_TRUE(background(skin::padCell(0, 0)));
  EXPECT_TRUE(copied(pad(0, 1, skin::kStripLoadedX)));
  EXPECT_TRUE(copied(skin::kOctaveSelected[0]));
  EXPECT_TRUE(background(Rect{558, 330, 663, 405}));  // the other two buttons at rest
}

TEST_F(View, ScrollThumbIsDrawnOnlyForLongListsAndAtItsPlace) {
  addGroup("Sixteen", 16);
  renderer.FullRedraw();
  EXPECT_TRUE(flat(skin::kScrollTrack, skin::kScrollTrackColour));

  addGroup("Seventeen", 17);
  state.currentGroup = 1;
  state.topRow = 1;
  renderer.DrawSampleAndGroupLists(false);
  EXPECT_TRUE(flat(Rect{510, 41, 524, 50}, skin::kScrollTrackColour));
  EXPECT_EQ(at(510, 50), rgb(skin::kThumbColour));
  EXPECT_EQ(at(523, 205), rgb(skin::kThumbColour));
  EXPECT_TRUE(flat(Rect{512, 52, 514, 204}, skin::kThumbInnerColour));
  EXPECT_TRUE(flat(Rect{514, 54, 520, 202}, skin::kThumbCoreColour));
  EXPECT_TRUE(flat(Rect{510, 206, 524, 207}, skin::kScrollTrackColour));
  EXPECT_EQ(state.scrollThumb, (Rect{510, 50, 524, 206}));

  addGroup("Hundred", 100);
  state.currentGroup = 2;
  state.topRow = 84;
  renderer.DrawSampleAndGroupLists(false);
  EXPECT_TRUE(flat(Rect{510, 41, 524, 180}, skin::kScrollTrackColour));
  EXPECT_EQ(at(517, 180), rgb(skin::kThumbColour));
  EXPECT_EQ(at(517, 205), rgb(skin::kThumbColour));
  // Keeping the thumb leaves it to the drag that draws it.
  state.topRow = 0;
  renderer.DrawSampleAndGroupLists(true);
  EXPECT_EQ(at(517, 180), rgb(skin::kThumbColour));
}

TEST_F(View, SampleRowsShowFileNamesFromTheTopRowAndHighlightTheLocatedOne) {
  const int g = doc.appendGroup("Kit");
  for (int i = 0; i < 10; ++i) doc.appendSample(g, "C:\\kits\\snare" + std::to_string(i) + ".wav");
  doc.appendSample(g, "bare.wav");
  doc.appendSample(g, "C:\\folder\\");
  state.topRow = 3;
  state.locatedRow = 5;
  renderer.FullRedraw();
  const auto row = [](int k) { return Rect{120, 28 + 12 * k, 509, 40 + 12 * k}; };
  EXPECT_GT(count(row(0), skin::kSampleText), 5);
  EXPECT_EQ(count(row(0), skin::kHighlightText), 0);
  EXPECT_GT(count(row(2), skin::kHighlightText), 5);  // entry 5
  EXPECT_EQ(count(row(2), skin::kSampleText), 0);
  EXPECT_GT(count(row(7), skin::kSampleText), 5);     // "bare.wav" shown whole
  EXPECT_TRUE(flat(row(8), skin::kTextBackground));   // a path ending in a separator names nothing
  for (int k = 9; k < 16; ++k) EXPECT_TRUE(flat(row(k), skin::kTextBackground)) << k;

  // The same file names from another folder look the same: only the name is shown.
  const QImage first = renderer.backing().copy(120, 28, 389, 24);
  const int other = doc.appendGroup("Moved");
  for (int i = 0; i < 10; ++i) doc.appendSample(other, "D:\\elsewhere\\deeper\\snare" + std::to_string(i) + ".wav");
  state.currentGroup = other;
  renderer.DrawSampleAndGroupLists(false);
  EXPECT_EQ(renderer.backing().copy(120, 28, 389, 24), first);
}

TEST_F(View, GroupNamesAreCutToTwentyCharactersAndTheCurrentOneStandsOut) {
  doc.appendGroup("ABCDEFGHIJKLMNOPQRSTUVWXY");  // 25 characters
  doc.appendGroup("Toms");
  state.currentGroup = 1;
  renderer.FullRedraw();
  const QImage cut = renderer.backing().copy(8, 28, 112, 12);
  EXPECT_GT(count(Rect{8, 28, 120, 40}, skin::kGroupText), 5);
  EXPECT_GT(count(Rect{8, 40, 120, 52}, skin::kHighlightText), 5);

  doc.renameGroup(0, "ABCDEFGHIJKLMNOPQRST");
  renderer.FullRedraw();
  EXPECT_EQ(renderer.backing().copy(8, 28, 112, 12), cut);
}

TEST_F(View, MemoryMeterShowsTheAmountItIsGiven) {
  renderer.FullRedraw();
  const QImage half = renderer.backing().copy(350, 13, 125, 20);
  renderer.setFreeMemory([] { return uint64_t{24} << 30; });  // more than 32 bits hold
  renderer.DrawMemoryMeter();
  EXPECT_NE(renderer.backing().copy(350, 13, 125, 20), half);
  // The longer number is narrowed into the field, not cut: its last letter reaches the end.
  EXPECT_FALSE(copied(Blit{462, 13, 13, 20, 462, 345}));
  EXPECT_TRUE(background(Rect{475, 13, 500, 28}));
  renderer.setFreeMemory([] { return uint64_t{512} << 20; });
  renderer.DrawMemoryMeter();
  EXPECT_EQ(renderer.backing().copy(350, 13, 125, 20), half);
}

TEST_F(View, ReleasingTheSaveUnderPutsBackTheStripAndForgetsIt) {
  renderer.FullRedraw();
  state.saveUnder = Rect{120, 64, 507, 76};
  renderer.restoreSaveUnder();
  // The strip is wider and taller than the row, so it also covers a path that ran past it.
  EXPECT_TRUE(copied(Blit{120, 64, 500, 20, 0, 820}));
  EXPECT_EQ(state.saveUnder, Rect{});
  // With nothing saved it draws nothing.
  const QImage before = renderer.backing();
  renderer.restoreSaveUnder();
  EXPECT_EQ(renderer.backing(), before);
}

TEST(ViewAt2x, EveryCopyStaysExactInWindowCoordinates) {
  CKitbeatDoc doc;
  doc.OnNewDocument();
  ViewState state;
  ViewRenderer renderer(doc, state);
  renderer.setSkin(syntheticSkin(2), 2);
  for (auto& src : doc.sound(3).sources) src = 0;
  renderer.FullRedraw();
  const QImage& b = renderer.backing();
  ASSERT_EQ(b.size(), QSize(2 * skin::kWindowWidth, 2 * skin::kWindowHeight));
  // A background pixel, a pad from the loaded strip, and the selected octave button.
  EXPECT_EQ(b.pixel(2 * 600 + 1, 2 * 250 + 1), code(2 * 600 + 1, 2 * (250 + skin::kBackgroundTop) + 1));
  const Rect cell = skin::padCell(3, 0);
  const Rect shape = skin::kPadShape[3][0];
  EXPECT_EQ(b.pixel(2 * cell.left + 3, 2 * cell.top + 5), code(2 * (shape.left + skin::kStripLoadedX) + 3, 2 * shape.top + 5));
  EXPECT_EQ(b.pixel(2 * 558, 2 * 296), code(2 * 130, 2 * 196));
}

// The engine's lamps reach the window: the band's pad and the MIDI lamp light on a note-on and
// rest again after its note-off; a hit released before the next frame still flashes for a frame.
TEST_F(View, NotesLightPadsAndTheMidiLampThroughTheIndicators) {
  DrumEngine engine(doc);
  for (auto& src : doc.sound(2).sources) src = 0;  // note 38: every band plays layer 0
  engine.voices().publish(2, 0, test::makeVoice(engine.mixer(), test::dc(100, 1000)));
  renderer.FullRedraw();
  LampPainter lamps(engine.indicators(), doc, state, renderer);
  EXPECT_FALSE(lamps.poll());

  test::cycle(engine, 16, {{0, packShortMessage(0x90, 38, 127)}});
  EXPECT_TRUE(lamps.poll());
  EXPECT_TRUE(copied(pad(2, 0, skin::kStripLitLoadedX)));
  EXPECT_TRUE(copied(skin::kMidiLampLit));

  test::cycle(engine, 16, {{0, packShortMessage(0x80, 38, 0)}});
  EXPECT_TRUE(lamps.poll());
  EXPECT_TRUE(copied(pad(2, 0, skin::kStripLoadedX)));  // at rest, still holding its sample
  EXPECT_TRUE(copied(skin::kMidiLampOff));

  // An empty sound on the right keyboard, hit and released within one frame.
  test::cycle(engine, 16, {{0, packShortMessage(0x90, 36 + 14, 127)}, {8, packShortMessage(0x90, 36 + 14, 0)}});
  EXPECT_TRUE(lamps.poll());
  const Blit litEmpty = pad(14, 0, skin::kStripLitEmptyX);
  EXPECT_TRUE(copied(litEmpty));
  EXPECT_TRUE(copied(skin::kMidiLampLit));
  EXPECT_TRUE(lamps.poll());
  EXPECT_TRUE(background(skin::padCell(2, 0).moved(skin::kRightKeyboardOffset, 0)));
  EXPECT_TRUE(copied(skin::kMidiLampOff));
  EXPECT_FALSE(lamps.poll());
  engine.voices().ReleaseAllVoices();
}

}  // namespace
}  // namespace zumbel

int main(int argc, char** argv) {
  // Text needs a font engine, which needs an application; no screen is needed.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
