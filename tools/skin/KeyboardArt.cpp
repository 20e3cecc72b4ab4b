#include "KeyboardArt.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>

#include "Paint.h"
#include "SkinPalette.h"

namespace zumbel::skinart {

namespace {

const PadColours& coloursOf(PadLook look, bool blackKey) {
  switch (look) {
    case PadLook::kIdleEmpty: return blackKey ? kIdleEmptyBlack : kIdleEmptyWhite;
    case PadLook::kIdleLoaded: return blackKey ? kIdleLoadedBlack : kIdleLoadedWhite;
    case PadLook::kLitEmpty: return blackKey ? kLitEmptyBlack : kLitEmptyWhite;
    case PadLook::kLitLoaded: return blackKey ? kLitLoadedBlack : kLitLoadedWhite;
  }
  return kIdleEmptyWhite;
}

bool isLit(PadLook look) { return look == PadLook::kLitEmpty || look == PadLook::kLitLoaded; }

QBrush faceBrush(const QRectF& face, const PadColours& c, bool lit) {
  if (lit) {
    const double radius = 0.75 * std::max(face.width(), face.height());
    QRadialGradient g(face.center(), radius);
    g.setColorAt(0, colour(c.faceA));
    g.setColorAt(1, colour(c.faceB));
    return g;
  }
  QLinearGradient g(face.topLeft(), face.bottomLeft());
  g.setColorAt(0, colour(c.faceA));
  g.setColorAt(1, colour(c.faceB));
  return g;
}

}  // namespace

void drawPad(QPainter& p, const skin::Rect& shape, bool blackKey, PadLook look) {
  const PadColours& c = coloursOf(look, blackKey);
  const QRectF outer(shape.left + kPadInsetX, shape.top, shape.width() - 2 * kPadInsetX, shape.height());
  const QRectF face = outer.adjusted(1, 1, -1, -1);
  roundedFace(p, outer, kPadRadius, colour(kPadRim), faceBrush(face, c, isLit(look)));

  p.save();
  QPainterPath clip;
  clip.addRoundedRect(face, kPadRadius - 1, kPadRadius - 1);
  p.setClipPath(clip, Qt::IntersectClip);
  // A sheen along the top edge: the face catches light like a rubber pad.
  p.fillRect(QRectF(face.left(), face.top(), face.width(), 1), QColor(255, 255, 255, isLit(look) ? 90 : 34));
  p.fillRect(QRectF(face.left(), face.bottom() - 1, face.width(), 1), QColor(0, 0, 0, 60));

  // The sample mark sits on whole pixels around the pad's centre pixel, so it is sharp at 1x.
  const int cx = (shape.left + shape.right) / 2;
  const int cy = (shape.top + shape.bottom) / 2;
  const int width = std::min(kLedMaxWidth, (static_cast<int>(face.width()) - 2 * kLedSideRoom) / 2 * 2);
  const QRectF led(cx - width / 2, cy - kLedHeight / 2, width, kLedHeight);
  if (c.ledGlowAlpha > 0) {
    QRadialGradient glow(led.center(), 2.2 * width / 2 + 3);
    glow.setColorAt(0, colour(c.led, c.ledGlowAlpha));
    glow.setColorAt(1, colour(c.led, 0));
    p.fillRect(face, glow);
  }
  p.setPen(Qt::NoPen);
  // The socket: a dark recess one pixel larger, which also outlines a lit mark.
  p.setBrush(QColor(0, 0, 0, c.ledGlowAlpha > 0 ? 110 : 150));
  p.drawRoundedRect(led.adjusted(-1, -1, 1, 1), 2.5, 2.5);
  p.setBrush(colour(c.led));
  p.drawRoundedRect(led, 2, 2);
  if (c.ledGlowAlpha == 0) {
    // An unlit socket shows a faint rim of light along its lower edge.
    p.fillRect(QRectF(led.left() + 1, led.bottom(), led.width() - 2, 1), QColor(255, 255, 255, 26));
  }
  p.restore();
}

void drawKeyboard(QPainter& p, PadLook look) {
  fillVertical(p, QRectF(0, 0, skin::kPadStripWidth, skin::kPadStripHeight), kBodyTop, kBodyBottom);
  for (int key = 0; key < skin::kKeys; ++key) {
    for (int layer = 0; layer < skin::kPadLayers; ++layer) {
      drawPad(p, skin::kPadShape[static_cast<std::size_t>(key)][static_cast<std::size_t>(layer)],
              skin::isBlackKey(key), look);
    }
  }
}

}  // namespace zumbel::skinart
