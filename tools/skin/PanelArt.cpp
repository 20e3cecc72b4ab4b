#include "PanelArt.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <array>

#include "Paint.h"
#include "SkinPalette.h"

namespace zumbel::skinart {

namespace {

constexpr std::size_t at(int i) { return static_cast<std::size_t>(i); }

// A face with a rim, a vertical gradient and a sheen line; the ink is engraved on idle faces.
void drawFace(QPainter& p, const QRectF& r, skin::Rgb top, skin::Rgb bottom, const QString& label, const QFont& font,
              skin::Rgb ink) {
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  g.setColorAt(0, colour(top));
  g.setColorAt(1, colour(bottom));
  roundedFace(p, r, kButtonRadius, colour(kButtonRim), g);
  p.fillRect(QRectF(r.left() + 2, r.top() + 1, r.width() - 4, 1), QColor(255, 255, 255, 60));
  engravedText(p, r.adjusted(0, 0, 0, -1), label, font, colour(ink));
}

}  // namespace

skin::Rect buttonFace(int button) {
  const skin::Blit& lit = skin::kButtonLit[at(button)];
  return intersected(skin::kButtonRects[at(button)], {lit.x, lit.y, lit.x + lit.w, lit.y + lit.h});
}

skin::Rect octaveFace(int pair) {
  const skin::Blit& lit = skin::kOctaveSelected[at(pair)];
  return intersected(skin::kOctaveButtons[at(pair)], {lit.x, lit.y, lit.x + lit.w, lit.y + lit.h});
}

QString buttonLabel(int button) {
  static const std::array<const char*, skin::kButtonCount> labels{
      "Options", "Load set", "Save set", "New group", "Import", "Save list", "Load list"};
  return QString::fromUtf8(labels[at(button)]);
}

QString octaveLabel(int pair) {
  return QStringLiteral("Octaves %1\u2013%2").arg(2 * pair + 1).arg(2 * pair + 2);
}

void drawButton(QPainter& p, int button, bool lit) {
  const QRectF face = toRectF(buttonFace(button));
  const QString label = buttonLabel(button);
  // One size for every label, the largest at which each fits its face, so the panel reads evenly.
  QFont font = skinFont(kButtonLabelPx, false);
  for (int other = 0; other < skin::kButtonCount; ++other) {
    const QFont fits = fittedFont(buttonLabel(other), buttonFace(other).width() - 2 * kLabelMargin, kButtonLabelPx, false);
    if (fits.pixelSize() < font.pixelSize()) font = fits;
  }
  if (lit) {
    drawFace(p, face, kButtonLitTop, kButtonLitBottom, label, font, kButtonLitInk);
  } else {
    drawFace(p, face, kButtonTop, kButtonBottom, label, font, kLabelInk);
  }
}

void drawOctaveButton(QPainter& p, int pair, bool selected) {
  const QRectF face = toRectF(octaveFace(pair));
  const QFont font = skinFont(kOctaveLabelPx, true);
  if (selected) {
    drawFace(p, face, kSelectedTop, kSelectedBottom, octaveLabel(pair), font, kSelectedInk);
  } else {
    drawFace(p, face, kButtonTop, kButtonBottom, octaveLabel(pair), font, kLabelInk);
  }
}

void drawCaptionPlate(QPainter& p) {
  const QRectF r(0, 0, skin::kCaptionWidth, skin::kCaptionHeight);
  fillVertical(p, r, kPlateTop, kPlateBottom);
  bevel(p, r, colour(kPanelShadow, 200), colour(kPanelHighlight, 110));
  // A thin accent rule on the left ties the caption to its keyboard below.
  p.fillRect(QRectF(4, 8, 2, skin::kCaptionHeight - 16), colour(kAccentDeep));
}

void drawCaption(QPainter& p, int octave) {
  drawCaptionPlate(p);
  const QRectF text(12, 5, skin::kCaptionWidth - 16, 18);
  engravedText(p, text, QStringLiteral("Octave %1").arg(octave), skinFont(14, true), colour(kLogoInk),
               Qt::AlignLeft | Qt::AlignVCenter);
  engravedText(p, QRectF(12, 24, skin::kCaptionWidth - 16, 13), QStringLiteral("C%1 \u2013 B%1").arg(octave),
               skinFont(10, false), colour(kCaptionInk), Qt::AlignLeft | Qt::AlignVCenter);
}

void drawMidiLens(QPainter& p, bool lit) {
  const QPointF centre(kLampCentreX, kLampCentreY);
  p.save();
  p.setPen(Qt::NoPen);
  if (lit) {
    // The glow spills over the bezel but stays inside what switching off restores.
    QRadialGradient halo(centre, kLampBezelRadius + 6);
    halo.setColorAt(0, colour(kLampLitEdge, 160));
    halo.setColorAt(1, colour(kLampLitEdge, 0));
    p.setBrush(halo);
    p.drawEllipse(centre, kLampBezelRadius + 6, kLampBezelRadius + 6);
  }
  QRadialGradient lens(centre + QPointF(-1.5, -1.5), kLampLensRadius + 1.5);
  lens.setColorAt(0, colour(lit ? kLampLitCentre : kLampOffCentre));
  lens.setColorAt(1, colour(lit ? kLampLitEdge : kLampOffEdge));
  p.setBrush(lens);
  p.drawEllipse(centre, kLampLensRadius, kLampLensRadius);
  // The specular spot of a glass lens, upper left.
  p.setBrush(QColor(255, 255, 255, lit ? 170 : 60));
  p.drawEllipse(centre + QPointF(-2.5, -3), 2.2, 1.5);
  p.restore();
}

void drawMidiLamp(QPainter& p) {
  const QPointF centre(kLampCentreX, kLampCentreY);
  p.save();
  p.setPen(Qt::NoPen);
  QLinearGradient ring(centre - QPointF(0, kLampBezelRadius), centre + QPointF(0, kLampBezelRadius));
  ring.setColorAt(0, colour(kPanelShadow));
  ring.setColorAt(1, colour(kPanelHighlight));
  p.setBrush(ring);
  p.drawEllipse(centre, kLampBezelRadius, kLampBezelRadius);
  p.setBrush(colour(kButtonRim));
  p.drawEllipse(centre, kLampLensRadius + 1.5, kLampLensRadius + 1.5);
  p.restore();
  drawMidiLens(p, false);
  engravedText(p, QRectF(581, 470, 54, 12), QStringLiteral("MIDI IN"), skinFont(9, true, 0.5), colour(kCaptionInk));
}

void drawTrash(QPainter& p) {
  const QRectF area = toRectF(skin::kTrashArea);
  sunkenWell(p, area.adjusted(3, 3, -3, -3), kWellFill);
  const QColor ink = colour(kCaptionInk);
  const double cx = area.center().x();
  const double top = area.top() + 15;
  p.save();
  p.setPen(Qt::NoPen);
  // Handle and lid.
  p.setBrush(ink);
  QPainterPath handle;
  handle.addRoundedRect(QRectF(cx - 5, top, 10, 4), 1.5, 1.5);
  handle.addRect(QRectF(cx - 3, top + 1.5, 6, 2.5));
  p.drawPath(handle.simplified());
  p.drawRoundedRect(QRectF(cx - 13, top + 4, 26, 4), 1.5, 1.5);
  // The can tapers towards its foot.
  QPolygonF can;
  can << QPointF(cx - 11, top + 10) << QPointF(cx + 11, top + 10) << QPointF(cx + 9, top + 36)
      << QPointF(cx - 9, top + 36);
  p.drawPolygon(can);
  p.setBrush(colour(kWellFill));
  for (int rib = -1; rib <= 1; ++rib) {
    const double x = cx + 5.5 * rib;
    QPolygonF slot;
    slot << QPointF(x - 1.2, top + 14) << QPointF(x + 1.2, top + 14) << QPointF(x + 1.2 - 0.3 * rib, top + 32)
         << QPointF(x - 1.2 - 0.3 * rib, top + 32);
    p.drawPolygon(slot);
  }
  p.restore();
}

void drawScrollArrows(QPainter& p) {
  const QColor face = colour(kButtonBottom);
  const QColor ink = colour(kLabelInk, 200);
  const skin::Rect& t = skin::kScrollTrack;
  const QRectF up(t.left, 28, t.width(), t.top - 28 - 1);
  const QRectF down(t.left, t.bottom + 1, t.width(), 221 - t.bottom - 1);
  p.save();
  p.setPen(Qt::NoPen);
  for (const QRectF& r : {up, down}) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, colour(kButtonTop));
    g.setColorAt(1, face);
    roundedFace(p, r, 2, colour(kButtonRim), g);
  }
  p.setBrush(ink);
  const double cx = up.center().x();
  QPolygonF upArrow;
  upArrow << QPointF(cx, up.center().y() - 2.5) << QPointF(cx + 4, up.center().y() + 2.5)
          << QPointF(cx - 4, up.center().y() + 2.5);
  QPolygonF downArrow;
  downArrow << QPointF(cx, down.center().y() + 2.5) << QPointF(cx + 4, down.center().y() - 2.5)
            << QPointF(cx - 4, down.center().y() - 2.5);
  p.drawPolygon(upArrow);
  p.drawPolygon(downArrow);
  p.restore();
}

void drawPadGrid(QPainter& p, const QPointF& topLeft) {
  constexpr double kCell = 12, kGap = 3;
  for (int i = 0; i < 4; ++i) {
    const QRectF cell(topLeft.x() + (i % 2) * (kCell + kGap), topLeft.y() + (i / 2) * (kCell + kGap), kCell, kCell);
    QLinearGradient g(cell.topLeft(), cell.bottomLeft());
    g.setColorAt(0, colour(i == 1 ? kButtonLitTop : kButtonTop));
    g.setColorAt(1, colour(i == 1 ? kButtonLitBottom : kButtonBottom));
    roundedFace(p, cell, 2.5, colour(kButtonRim), g);
  }
}

void drawLogo(QPainter& p, const QRectF& box) {
  // The pad grid beside the word mark.
  const double icon = kPadGridSize;
  const QFont word = skinFont(30, true, -0.5);
  const double wordWidth = QFontMetricsF(word).horizontalAdvance(QStringLiteral("Zumbel"));
  const double left = box.center().x() - (icon + 9 + wordWidth) / 2;
  const double iconTop = box.top() + 8;
  drawPadGrid(p, QPointF(left, iconTop));
  engravedText(p, QRectF(left + icon + 9, iconTop - 6, wordWidth + 4, icon + 10), QStringLiteral("Zumbel"), word,
               colour(kLogoInk), Qt::AlignLeft | Qt::AlignVCenter);
  const QRectF tagline(box.left(), iconTop + icon + 8, box.width(), 12);
  engravedText(p, tagline, QStringLiteral("DRUM SAMPLER"), skinFont(9, true, 2.5), colour(kAccent));
}

}  // namespace zumbel::skinart
