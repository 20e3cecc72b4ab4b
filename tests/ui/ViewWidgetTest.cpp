// The main view as a widget, offscreen: the skin built into the program is loaded at the screen's
// pixel ratio, what the widget paints is the backing image, a note's lamps reach the screen, and
// releasing the right button puts back what a preview covered. Registered twice: at scale 1 and
// with QT_SCALE_FACTOR=2, where the 2x skin must be used and every copy stay in place.

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressDialog>
#include <QTest>
#include <QTimer>

#include <string>

#include <gtest/gtest.h>

#include "CKitbeatView.h"
#include "DrumEngine.h"
#include "EngineTestSupport.h"
#include "KitbeatDoc.h"
#include "LoadProgress.h"
#include "QtPrompts.h"

namespace zumbel {
namespace {

using skin::Blit;
using skin::Rect;

class Widget : public ::testing::Test {
 protected:
  Widget() {
    doc.OnNewDocument();
    for (auto& src : doc.sound(5).sources) src = 0;  // note 41, key 5 of the left keyboard
    engine.voices().publish(5, 0, test::makeVoice(engine.mixer(), test::dc(100, 1000)));
    view.show();
    EXPECT_TRUE(view.loadSkin());
    view.FullRedraw();
    skinImage = QImage(scale() == 2 ? QStringLiteral(":/skin@2x.png") : QStringLiteral(":/skin.png"))
                    .convertToFormat(QImage::Format_RGB32);
  }
  ~Widget() override { engine.voices().ReleaseAllVoices(); }

  int scale() const { return view.renderer().scale(); }

  // What the widget shows, in device pixels.
  QImage shown() { return view.grab().toImage().convertToFormat(QImage::Format_RGB32); }

  // The widget shows skin block `b` at its window place.
  ::testing::AssertionResult shows(const QImage& screen, const Blit& b) const {
    const int s = scale();
    for (int y = 0; y < b.h * s; ++y) {
      for (int x = 0; x < b.w * s; ++x) {
        if (screen.pixel(b.x * s + x, b.y * s + y) != skinImage.pixel(b.sx * s + x, b.sy * s + y)) {
          return ::testing::AssertionFailure() << "device pixel (" << b.x * s + x << ", " << b.y * s + y << ")";
        }
      }
    }
    return ::testing::AssertionSuccess();
  }
  static Blit pad(int key, int layer, int stripX) {
    const Rect cell = skin::padCell(key, layer);
    const Rect shape = skin::kPadShape[key][layer];
    return {cell.left, cell.top, shape.width(), shape.height(), shape.left + stripX, shape.top};
  }

  CKitbeatDoc doc;
  DrumEngine engine{doc};
  CKitbeatView view{doc, &engine};
  QImage skinImage;
};

TEST_F(Widget, UsesTheSkinForTheScreensPixelRatio) {
  ASSERT_FALSE(skinImage.isNull());
  EXPECT_EQ(scale(), qEnvironmentVariable("QT_SCALE_FACTOR") == "2" ? 2 : 1);
  EXPECT_EQ(scale(), view.devicePixelRatioF() > 1.0 ? 2 : 1);
  const QImage screen = shown();
  EXPECT_EQ(screen.size(), QSize(skin::kWindowWidth * scale(), skin::kWindowHeight * scale()));
  EXPECT_TRUE(shows(screen, Blit{0, 0, 120, 28, 0, skin::kBackgroundTop}));
  EXPECT_TRUE(shows(screen, skin::kOctaveSelected[0]));
  EXPECT_TRUE(shows(screen, pad(5, 0, skin::kStripLoadedX)));
}

TEST_F(Widget, ANoteLightsItsPadAndTheLampOnScreenAndItsNoteOffRestoresThem) {
  // The loudest band lights the top pad.
  test::cycle(engine, 16, {{0, packShortMessage(0x90, 41, 127)}});
  view.pollLamps();
  QImage screen = shown();
  EXPECT_TRUE(shows(screen, pad(5, 0, skin::kStripLitLoadedX)));
  EXPECT_TRUE(shows(screen, skin::kMidiLampLit));

  test::cycle(engine, 16, {{0, packShortMessage(0x80, 41, 0)}});
  view.pollLamps();
  screen = shown();
  EXPECT_TRUE(shows(screen, pad(5, 0, skin::kStripLoadedX)));
  EXPECT_TRUE(shows(screen, skin::kMidiLampOff));
}

TEST_F(Widget, ReleasingTheRightButtonPutsBackWhatAPreviewCovered) {
  const int g = doc.appendGroup("Kit");
  doc.appendSample(g, "C:\\kits\\kick.wav");
  view.state().locatedRow = 0;
  view.state().saveUnder = skin::sampleRow(0);
  engine.voices().setPreview(test::makeVoice(engine.mixer(), test::dc(100, 1000), 1));
  QTest::mouseRelease(&view, Qt::RightButton, Qt::NoModifier, QPoint(200, 30));
  EXPECT_EQ(view.state().locatedRow, -1);
  EXPECT_EQ(view.state().saveUnder, Rect{});
  EXPECT_EQ(engine.voices().preview(), nullptr);
  // The row is drawn again in the plain sample colour: no highlighted pixel is left.
  const QImage screen = shown();
  const QRgb highlight = qRgb(skin::kHighlightText.r, skin::kHighlightText.g, skin::kHighlightText.b);
  int highlighted = 0;
  for (int y = 28 * scale(); y < 40 * scale(); ++y) {
    for (int x = 120 * scale(); x < 507 * scale(); ++x) highlighted += screen.pixel(x, y) == highlight;
  }
  EXPECT_EQ(highlighted, 0);
}

// A message that comes up while a set loads (an unreadable sample) is owned by the progress
// dialog, so it stands above it and takes the focus instead of waiting hidden behind it; Cancel
// on the dialog stops the load at the next sample.
TEST(LoadProgressTest, MessagesComeAboveTheProgressAndCancelStopsTheLoad) {
  QWidget window;
  window.show();
  const int showAfter = LoadProgress::setShowAfterMs(0);
  LoadProgress progress(&window);
  ASSERT_TRUE(progress.report(0, 10));
  ASSERT_TRUE(progress.report(1, 10));
  auto* dialog = qobject_cast<QProgressDialog*>(LoadProgress::shownDialog());
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->isVisible());

  QtPrompts prompts(&window);
  QWidget* parent = nullptr;
  bool active = false;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    parent = box->parentWidget();
    active = QTest::qWaitForWindowActive(box, 5000);
    box->button(QMessageBox::Ok)->click();
  });
  prompts.showMessage("RUR", "");
  EXPECT_EQ(parent, dialog);
  EXPECT_TRUE(active);

  dialog->cancel();  // as the Cancel button does
  EXPECT_FALSE(progress.report(2, 10));
  progress.report(10, 10);
  EXPECT_FALSE(progress.loading());
  EXPECT_EQ(LoadProgress::shownDialog(), nullptr);
  LoadProgress::setShowAfterMs(showAfter);
}

}  // namespace
}  // namespace zumbel

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // --scale=2 runs the whole suite on a screen of twice the pixel density.
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--scale=2") qputenv("QT_SCALE_FACTOR", "2");
  }
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
