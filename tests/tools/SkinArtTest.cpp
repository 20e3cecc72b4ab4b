#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "SkinLayout.h"
#include "TestSupport.h"
#include "skin/SkinArt.h"

namespace zumbel {
namespace {

using namespace skin;

const std::string kResources = std::string(ZUMBEL_SOURCE_DIR) + "/resources/";

QImage load(const std::string& path) { return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32); }

Rect blitWindowRect(const Blit& b) { return {b.x, b.y, b.x + b.w, b.y + b.h}; }
Rect intersected(const Rect& a, const Rect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

int distance(QRgb a, QRgb b) {
  return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
}

class CommittedSkin : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    skin1x_ = new QImage(load(kResources + "skin.png"));
    skin2x_ = new QImage(load(kResources + "skin@2x.png"));
  }
  static void TearDownTestSuite() {
    delete skin1x_;
    delete skin2x_;
  }

  static QRgb at(int x, int y) { return skin1x_->pixel(x, y); }
  static QRgb background(int x, int y) { return at(x, y + kBackgroundTop); }
  // What a window pixel shows when a blit has been copied over it.
  static QRgb blitted(const Blit& b, int x, int y) { return at(b.sx + x - b.x, b.sy + y - b.y); }

  // Pixels of the blit's image that differ from the background it is copied over, counted
  // inside `changes` and anywhere outside it.
  struct Differences {
    int inside = 0, outside = 0, strongest = 0;
  };
  static Differences differences(const Blit& b, const Rect& changes) {
    Differences d;
    for (int y = b.y; y < b.y + b.h; ++y) {
      for (int x = b.x; x < b.x + b.w; ++x) {
        const int change = distance(blitted(b, x, y), background(x, y));
        if (change == 0) continue;
        (changes.contains(x, y) ? d.inside : d.outside)++;
        d.strongest = std::max(d.strongest, change);
      }
    }
    return d;
  }

  static QImage* skin1x_;
  static QImage* skin2x_;
};

QImage* CommittedSkin::skin1x_ = nullptr;
QImage* CommittedSkin::skin2x_ = nullptr;

TEST_F(CommittedSkin, HasTheLayoutSizesAndBlackScratchAndListAreas) {
  ASSERT_EQ(skin1x_->size(), QSize(kSkinWidth, kSkinHeight));
  ASSERT_EQ(skin2x_->size(), QSize(2 * kSkinWidth, 2 * kSkinHeight));

  for (int y = kBackgroundTop + kWindowHeight; y < kSkinHeight; ++y) {
    for (int x = 0; x < kSkinWidth; ++x) ASSERT_EQ(at(x, y), qRgb(0, 0, 0)) << x << "," << y;
  }
  for (int y = 2 * (kBackgroundTop + kWindowHeight); y < 2 * kSkinHeight; ++y) {
    for (int x = 0; x < 2 * kSkinWidth; ++x) ASSERT_EQ(skin2x_->pixel(x, y), qRgb(0, 0, 0)) << x << "," << y;
  }
  // The program clears the lists to black; the list scratch copy is the same rectangle.
  const Rect lists = kListScratch.moved(0, -kBackgroundTop);
  for (int y = lists.top; y <= lists.bottom; ++y) {
    for (int x = lists.left; x <= lists.right; ++x) ASSERT_EQ(background(x, y), qRgb(0, 0, 0)) << x << "," << y;
  }
  // The memory readout is redrawn over a restore of its field, so the field must be plain.
  const Blit& m = kMemoryMeterRestore;
  for (int y = m.y; y < m.y + m.h; ++y) {
    for (int x = m.x; x < m.x + m.w; ++x) ASSERT_EQ(at(m.sx + x - m.x, m.sy + y - m.y), at(m.sx, m.sy)) << x << "," << y;
  }
  const Rgb track = kScrollTrackColour;
  for (int y = kScrollTrack.top; y < kScrollTrack.bottom; ++y) {
    for (int x = kScrollTrack.left; x < kScrollTrack.right; ++x) {
      ASSERT_EQ(background(x, y), qRgb(track.r, track.g, track.b)) << x << "," << y;
    }
  }
}

TEST_F(CommittedSkin, LitButtonsSelectedOctavesAndTheLampChangeOnlyWhatLights) {
  for (int b = 0; b < kButtonCount; ++b) {
    const Blit& lit = kButtonLit[static_cast<std::size_t>(b)];
    const Rect face = intersected(kButtonRects[static_cast<std::size_t>(b)], blitWindowRect(lit));
    const Differences d = differences(lit, face);
    EXPECT_EQ(d.outside, 0) << "button " << b;
    EXPECT_GT(d.inside, face.width() * face.height() / 2) << "button " << b;
  }
  for (int pair = 0; pair < kOctavePairs; ++pair) {
    const Blit& selected = kOctaveSelected[static_cast<std::size_t>(pair)];
    const Rect face = intersected(kOctaveButtons[static_cast<std::size_t>(pair)], blitWindowRect(selected));
    const Differences d = differences(selected, face);
    EXPECT_EQ(d.outside, 0) << "octave pair " << pair;
    EXPECT_GT(d.inside, face.width() * face.height() / 2) << "octave pair " << pair;
  }
  // Going off restores less than lighting covers, so the lamp may light only inside that.
  const Differences lamp = differences(kMidiLampLit, blitWindowRect(kMidiLampOff));
  EXPECT_EQ(lamp.outside, 0);
  EXPECT_GT(lamp.inside, 150);
  EXPECT_GT(lamp.strongest, 300) << "a lit lamp is bright, not a faint change";
}

TEST_F(CommittedSkin, EveryPadHasFourDistinctLooksOnTheSameRim) {
  constexpr std::array<int, 3> kStrips{kStripLitEmptyX, kStripLoadedX, kStripLitLoadedX};
  for (int key = 0; key < kKeys; ++key) {
    for (int layer = 0; layer < kPadLayers; ++layer) {
      const Rect& shape = kPadShape[static_cast<std::size_t>(key)][static_cast<std::size_t>(layer)];
      const Rect cell = padCell(key, layer);
      const int cx = (shape.left + shape.right) / 2, cy = (shape.top + shape.bottom) / 2;
      std::array<QRgb, 4> centre{background(cell.left + cx - shape.left, cell.top + cy - shape.top)};
      for (std::size_t s = 0; s < kStrips.size(); ++s) centre[s + 1] = at(kStrips[s] + cx, cy);
      for (std::size_t a = 0; a < centre.size(); ++a) {
        for (std::size_t b = a + 1; b < centre.size(); ++b) {
          EXPECT_GT(distance(centre[a], centre[b]), 60) << "key " << key << " layer " << layer << " looks " << a << b;
        }
      }
      // The right keyboard shows the same idle pad.
      EXPECT_EQ(background(cell.left + kRightKeyboardOffset + cx - shape.left, cell.top + cy - shape.top), centre[0]);
      // The pad's outer columns are rim and body in every look, as on the window's keyboard.
      for (const int x : {shape.left, shape.right - 1}) {
        for (int y = shape.top; y < shape.bottom; ++y) {
          const QRgb idle = background(cell.left + x - shape.left, cell.top + y - shape.top);
          for (const int strip : kStrips) {
            ASSERT_EQ(at(strip + x, y), idle) << "key " << key << " layer " << layer << " strip " << strip;
          }
        }
      }
    }
  }
}

double meanLightness(const QImage& image, int left, const Rect& shape) {
  double sum = 0;
  for (int y = shape.top; y < shape.bottom; ++y) {
    for (int x = shape.left; x < shape.right; ++x) sum += qGray(image.pixel(left + x, y));
  }
  return sum / (shape.width() * shape.height());
}

TEST_F(CommittedSkin, BlackKeyPadsAreDarkerThanWhiteKeyPadsInEveryLook) {
  // The idle keyboard is the background's; the lit and loaded ones are the strips.
  const QImage idle = skin1x_->copy(kKeyboardX, kKeyboardY + kBackgroundTop, kPadStripWidth, kPadStripHeight);
  const std::array<std::pair<const QImage*, int>, 4> looks{{
      {&idle, 0}, {skin1x_, kStripLitEmptyX}, {skin1x_, kStripLoadedX}, {skin1x_, kStripLitLoadedX}}};
  for (const auto& [image, left] : looks) {
    double darkestWhite = 255, lightestBlack = 0;
    for (int key = 0; key < kKeys; ++key) {
      for (int layer = 0; layer < kPadLayers; ++layer) {
        const double l = meanLightness(*image, left, kPadShape[static_cast<std::size_t>(key)][static_cast<std::size_t>(layer)]);
        if (isBlackKey(key)) {
          lightestBlack = std::max(lightestBlack, l);
        } else {
          darkestWhite = std::min(darkestWhite, l);
        }
      }
    }
    EXPECT_LT(lightestBlack + 10, darkestWhite) << "strip at " << left;
  }
}

TEST_F(CommittedSkin, CaptionsAreSixDifferentTextsOnTheCaptionPlate) {
  std::array<QImage, 6> captions;
  for (std::size_t i = 0; i < captions.size(); ++i) {
    const auto& [x, y] = kOctaveCaptionSource[i];
    captions[i] = skin1x_->copy(x, y, kCaptionWidth, kCaptionHeight);
  }
  for (const int x : {kOctaveLabelLeftX, kOctaveLabelRightX}) {
    const QImage plate = skin1x_->copy(x, kOctaveLabelY + kBackgroundTop, kCaptionWidth, kCaptionHeight);
    for (std::size_t i = 0; i < captions.size(); ++i) {
      int same = 0, text = 0;
      for (int py = 0; py < kCaptionHeight; ++py) {
        for (int px = 0; px < kCaptionWidth; ++px) {
          const int d = distance(captions[i].pixel(px, py), plate.pixel(px, py));
          same += d == 0;
          text += d > 150;
        }
      }
      // Mostly the plate, with legible light text on it.
      EXPECT_GT(same, kCaptionWidth * kCaptionHeight * 6 / 10) << "octave " << i + 1 << " at " << x;
      EXPECT_GT(text, 40) << "octave " << i + 1;
    }
  }
  for (std::size_t a = 0; a < captions.size(); ++a) {
    for (std::size_t b = a + 1; b < captions.size(); ++b) EXPECT_TRUE(captions[a] != captions[b]) << a << " " << b;
  }
}

TEST_F(CommittedSkin, DoubleSizePictureIsTheSameLayout) {
  const auto halved = [](int x, int y) {
    int r = 0, g = 0, b = 0;
    for (const auto& [dx, dy] : {std::pair{0, 0}, std::pair{1, 0}, std::pair{0, 1}, std::pair{1, 1}}) {
      const QRgb p = skin2x_->pixel(2 * x + dx, 2 * y + dy);
      r += qRed(p), g += qGreen(p), b += qBlue(p);
    }
    return qRgb(r / 4, g / 4, b / 4);
  };
  // Region centres: pads in every look, buttons lit and unlit, the lamp, the lists, a caption.
  std::vector<std::pair<int, int>> points;
  for (int key = 0; key < kKeys; ++key) {
    const Rect& s = kPadShape[static_cast<std::size_t>(key)][2];
    for (const int left : {kStripLitEmptyX, kStripLoadedX, kStripLitLoadedX}) {
      points.emplace_back(left + (s.left + s.right) / 2, (s.top + s.bottom) / 2);
    }
    const Rect c = padCell(key, 4);
    points.emplace_back((c.left + c.right) / 2, (c.top + c.bottom) / 2 + kBackgroundTop);
  }
  for (const Blit& b : kButtonLit) {
    // Beside the label, inside the face.
    points.emplace_back(b.sx + 4, b.sy + b.h / 2);
    points.emplace_back(b.x + 4, b.y + kBackgroundTop + b.h / 2);
  }
  points.emplace_back(kMidiLampLit.sx + 27, kMidiLampLit.sy + 16);
  points.emplace_back(300, 150 + kBackgroundTop);
  points.emplace_back(kOctaveCaptionSource[0][0] + 90, kOctaveCaptionSource[0][1] + 35);
  for (const auto& [x, y] : points) EXPECT_LT(distance(halved(x, y), at(x, y)), 12) << x << "," << y;

  // And over the whole picture the two agree up to antialiasing and hinting.
  double total = 0;
  for (int y = 0; y < kSkinHeight; ++y) {
    for (int x = 0; x < kSkinWidth; ++x) total += distance(halved(x, y), at(x, y));
  }
  EXPECT_LT(total / (kSkinWidth * kSkinHeight), 3.0);
}

// ---- The generator -------------------------------------------------------------------------

QGuiApplication& offscreenApp() {
  static int argc = 1;
  static char name[] = "skin_art_tests";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Never destroyed: Qt's own statics may be gone by the time static destructors run.
  static QGuiApplication* app = new QGuiApplication(argc, argv);
  return *app;
}

TEST(SkinGenerator, WritesTheSameBytesEachRunAndTheCommittedPicturesAreCurrent) {
  offscreenApp();
  test::TempDir first, second;
  ASSERT_EQ(skinart::writeSkinFiles(first.path()), "");
  ASSERT_EQ(skinart::writeSkinFiles(second.path()), "");
  for (const std::string name : {skinart::kSkinFile, skinart::kSkin2xFile}) {
    const std::vector<uint8_t> bytes = test::readBytes(first / name);
    ASSERT_FALSE(bytes.empty()) << name;
    EXPECT_TRUE(bytes == test::readBytes(second / name)) << name;
    EXPECT_TRUE(load(first / name) == load(kResources + name)) << name << " is stale; run make_skin";
  }
  EXPECT_NE(skinart::writeSkinFiles(first / "missing/folder"), "");
}

}  // namespace
}  // namespace zumbel
