// The program's icon: the committed pictures are what the generator draws now, the SVG is the same
// drawing as the PNGs, and the pictures show the logo's grid with its one glowing pad.

#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>

#include "TestSupport.h"
#include "skin/IconArt.h"

namespace zumbel {
namespace {

const QString kIcons = QStringLiteral(ZUMBEL_SOURCE_DIR "/packaging/icons/");

QGuiApplication& offscreenApp() {
  static int argc = 1;
  static char name[] = "icon_art_tests";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QGuiApplication* app = new QGuiApplication(argc, argv);
  return *app;
}

int distance(QRgb a, QRgb b) {
  return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b)) +
         std::abs(qAlpha(a) - qAlpha(b));
}

// The largest difference of any pixel, and how many differ by more than `slack`.
struct Comparison {
  int largest = 0, beyondSlack = 0;
};
// Compared premultiplied, as they are drawn: Qt's way back from premultiplied colour rounds
// translucent pixels differently on different processors.
Comparison compare(const QImage& a, const QImage& b, int slack) {
  Comparison c;
  const QImage x = a.convertToFormat(QImage::Format_ARGB32_Premultiplied),
               y = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  for (int row = 0; row < x.height(); ++row) {
    for (int col = 0; col < x.width(); ++col) {
      const int d = distance(x.pixel(col, row), y.pixel(col, row));
      c.largest = std::max(c.largest, d);
      c.beyondSlack += d > slack;
    }
  }
  return c;
}

bool warm(QRgb c) { return qRed(c) > 200 && qBlue(c) < 140; }

TEST(Icon, CommittedPicturesAreWhatTheGeneratorDrawsAtEverySize) {
  offscreenApp();
  test::TempDir fresh;
  ASSERT_EQ(skinart::writeIconFiles(fresh.path()), "");
  for (const int size : skinart::kIconSizes) {
    const QImage committed(kIcons + skinart::iconPngFile(size));
    ASSERT_FALSE(committed.isNull()) << "missing " << size << "px; run make_skin --icons packaging/icons";
    EXPECT_EQ(committed.size(), QSize(size, size));
    EXPECT_TRUE(committed.hasAlphaChannel()) << size;
    const Comparison c = compare(committed, skinart::renderIcon(size), 0);
    EXPECT_EQ(c.largest, 0) << size << "px is stale; run make_skin --icons packaging/icons";
  }
  QFile svg(kIcons + QString::fromLatin1(skinart::kIconSvgFile)), written(QString::fromStdString(fresh.path()) + QStringLiteral("/zumbel.svg"));
  ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
  ASSERT_TRUE(written.open(QIODevice::ReadOnly));
  EXPECT_EQ(svg.readAll(), written.readAll()) << "the SVG is stale; run make_skin --icons packaging/icons";
}

TEST(Icon, TheSvgDrawsWhatThePngsShow) {
  offscreenApp();
  QSvgRenderer svg(kIcons + QString::fromLatin1(skinart::kIconSvgFile));
  ASSERT_TRUE(svg.isValid());
  constexpr int kSize = 128;
  QImage drawn(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
  drawn.fill(Qt::transparent);
  QPainter p(&drawn);
  svg.render(&p);
  p.end();
  // Anti-aliasing differs a little along the edges between the two painters; the drawing does not.
  const Comparison c = compare(drawn, skinart::renderIcon(kSize), 24);
  EXPECT_LT(c.beyondSlack, kSize * kSize / 100) << "largest difference " << c.largest;
}

TEST(Icon, ShowsTheLogosGridWithTheTopRightPadGlowingOnTransparentCorners) {
  offscreenApp();
  for (const int size : {16, 256}) {
    const QImage icon = skinart::renderIcon(size).convertToFormat(QImage::Format_ARGB32);
    EXPECT_LT(qAlpha(icon.pixel(0, 0)), 16) << size;  // the rounded corner, a trace of its edge at most
    EXPECT_EQ(qAlpha(icon.pixel(size / 2, size / 2)), 255) << size;
    const int quarter = size / 4, three = size * 3 / 4;
    EXPECT_TRUE(warm(icon.pixel(three, quarter))) << size;
    for (const auto& [x, y] : {std::pair{quarter, quarter}, {quarter, three}, {three, three}}) {
      EXPECT_FALSE(warm(icon.pixel(x, y))) << size << " at " << x << "," << y;
    }
  }
}

}  // namespace
}  // namespace zumbel

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
