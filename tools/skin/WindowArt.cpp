#include "WindowArt.h"

#include "KeyboardArt.h"
#include "Paint.h"
#include "PanelArt.h"
#include "SkinLayout.h"
#include "SkinPalette.h"

namespace zumbel::skinart {

namespace {

using namespace skin;

// The list display: both lists and the scroll bar in one sunken bezel. The lists' rectangle is
// pure black because the program clears it to black whenever it draws them.
void drawListDisplay(QPainter& p) {
  const QRectF bezel(5, 26, kScrollTrack.right + 2 - 5, 224 - 26);
  bevel(p, bezel, colour(kPanelShadow), colour(kPanelHighlight, 140));
  p.fillRect(bezel.adjusted(1, 1, -1, -1), QColor(6, 6, 7));
  p.fillRect(QRectF(7, 28, 509 - 7, 222 - 28), Qt::black);
  p.fillRect(toRectF(kScrollTrack), colour(kScrollTrackColour));
  drawScrollArrows(p);

  // The free-memory readout: a black tab rising from the display, plain so text can be redrawn.
  const Blit& m = kMemoryMeterRestore;
  p.fillRect(QRectF(m.x - 1, m.y - 1, m.w + 2, 1), colour(kPanelShadow));
  p.fillRect(QRectF(m.x - 1, m.y - 1, 1, 27 - m.y + 1), colour(kPanelShadow));
  p.fillRect(QRectF(m.x + m.w, m.y - 1, 1, 27 - m.y + 1), colour(kPanelHighlight, 140));
  p.fillRect(QRectF(m.x, m.y, m.w, 28 - m.y), Qt::black);

  const QFont caption = skinFont(9, true, 1.5);
  engravedText(p, QRectF(kGroupList.left + 2, 11, 100, 14), QStringLiteral("GROUPS"), caption, colour(kCaptionInk),
               Qt::AlignLeft | Qt::AlignVCenter);
  engravedText(p, QRectF(kSampleList.left + 2, 11, 200, 14), QStringLiteral("SAMPLES"), caption,
               colour(kCaptionInk), Qt::AlignLeft | Qt::AlignVCenter);
}

void drawKeyboards(QPainter& p) {
  // The deck both keyboards and their captions sit in.
  raisedPlate(p, QRectF(3, 234, 526 - 3, 486 - 234));
  for (const int x : {kOctaveLabelLeftX, kOctaveLabelRightX}) {
    p.save();
    p.translate(x, kOctaveLabelY);
    drawCaptionPlate(p);
    p.restore();
  }
  for (const Rect& board : {kLeftKeyboard, kRightKeyboard}) {
    const QRectF r = toRectF(board);
    bevel(p, r.adjusted(-2, -2, 2, 2), colour(kPanelShadow), colour(kPanelHighlight, 150));
    p.fillRect(r.adjusted(-1, -1, 1, 1), colour(kPadRim));
    p.save();
    p.translate(board.left, board.top);
    drawKeyboard(p, PadLook::kIdleEmpty);
    p.restore();
  }
}

void drawControls(QPainter& p) {
  drawLogo(p, QRectF(530, 14, 190, 80));

  raisedPlate(p, QRectF(544, 116, 677 - 544, 229 - 116));
  for (int b = 0; b < kButtonCount; ++b) drawButton(p, b, false);

  const QFont caption = skinFont(9, true, 1.5);
  engravedText(p, QRectF(551, 272, 119, 12), QStringLiteral("OCTAVES"), caption, colour(kCaptionInk));
  raisedPlate(p, QRectF(551, 288, 670 - 551, 411 - 288));
  for (int pair = 0; pair < kOctavePairs; ++pair) drawOctaveButton(p, pair, false);

  drawMidiLamp(p);
  drawTrash(p);
}

}  // namespace

void drawWindow(QPainter& p) {
  p.save();
  const QRectF window(0, 0, kWindowWidth, kWindowHeight);
  p.setClipRect(window, Qt::IntersectClip);
  fillVertical(p, window, kPanelTop, kPanelBottom);
  bevel(p, window, colour(kPanelHighlight), colour(kPanelShadow));
  drawListDisplay(p);
  drawKeyboards(p);
  drawControls(p);
  p.restore();
}

}  // namespace zumbel::skinart
