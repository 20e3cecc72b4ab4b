#include "Paint.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QStringList>
#include <algorithm>

#include "SkinPalette.h"

namespace zumbel::skinart {

namespace {

QString& loadedFamily() {
  static QString family;
  return family;
}

}  // namespace

QColor colour(skin::Rgb c, int alpha) { return QColor(c.r, c.g, c.b, alpha); }

QRectF toRectF(const skin::Rect& r) { return QRectF(r.left, r.top, r.width(), r.height()); }

skin::Rect intersected(const skin::Rect& a, const skin::Rect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

std::string loadSkinFonts() {
  for (const char* file : {kSansFile, kSansBoldFile}) {
    const int id = QFontDatabase::addApplicationFont(QString::fromUtf8(file));
    const QStringList families = id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
    if (families.isEmpty()) return std::string("cannot load the font ") + file;
    loadedFamily() = families.front();
  }
  return {};
}

QFont skinFont(int pixelSize, bool bold, double letterSpacing) {
  QFont font(loadedFamily());
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  font.setLetterSpacing(QFont::AbsoluteSpacing, letterSpacing);
  // Light hinting keeps the advances of the 1x and 2x text in proportion; grey antialiasing
  // avoids colour fringes that depend on the screen's subpixel order.
  font.setHintingPreference(QFont::PreferVerticalHinting);
  font.setStyleStrategy(static_cast<QFont::StyleStrategy>(QFont::PreferAntialias | QFont::NoSubpixelAntialias |
                                                          QFont::NoFontMerging));
  return font;
}

QFont fittedFont(const QString& text, double maxWidth, int pixelSize, bool bold) {
  QFont font = skinFont(pixelSize, bold);
  while (pixelSize > 6 && QFontMetricsF(font).horizontalAdvance(text) > maxWidth) {
    font = skinFont(--pixelSize, bold);
  }
  return font;
}

void fillVertical(QPainter& p, const QRectF& r, skin::Rgb top, skin::Rgb bottom) {
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  g.setColorAt(0, colour(top));
  g.setColorAt(1, colour(bottom));
  p.fillRect(r, g);
}

void bevel(QPainter& p, const QRectF& r, QColor light, QColor dark) {
  p.fillRect(QRectF(r.left(), r.top(), r.width(), 1), light);
  p.fillRect(QRectF(r.left(), r.top() + 1, 1, r.height() - 1), light);
  p.fillRect(QRectF(r.left() + 1, r.bottom() - 1, r.width() - 1, 1), dark);
  p.fillRect(QRectF(r.right() - 1, r.top() + 1, 1, r.height() - 2), dark);
}

void raisedPlate(QPainter& p, const QRectF& r) {
  p.fillRect(r, colour(kPanelShadow));
  const QRectF inner = r.adjusted(1, 1, -1, -1);
  fillVertical(p, inner, kPlateTop, kPlateBottom);
  bevel(p, inner, colour(kPanelHighlight, 150), colour(kPanelShadow, 160));
}

void sunkenWell(QPainter& p, const QRectF& r, skin::Rgb fill) {
  bevel(p, r, colour(kPanelShadow), colour(kPanelHighlight, 120));
  p.fillRect(r.adjusted(1, 1, -1, -1), colour(fill));
}

void roundedFace(QPainter& p, const QRectF& r, double radius, QColor rim, const QBrush& fill) {
  p.save();
  p.setPen(Qt::NoPen);
  p.setBrush(rim);
  p.drawRoundedRect(r, radius, radius);
  p.setBrush(fill);
  p.drawRoundedRect(r.adjusted(1, 1, -1, -1), std::max(0.0, radius - 1), std::max(0.0, radius - 1));
  p.restore();
}

void engravedText(QPainter& p, const QRectF& box, const QString& text, const QFont& font, QColor ink, int flags) {
  p.save();
  p.setFont(font);
  // Light ink sits in a groove; dark ink on a lit face gets a glint below instead.
  p.setPen(ink.lightness() > 128 ? colour(kEngraveShadow, 200) : QColor(255, 255, 255, 70));
  p.drawText(box.translated(0, 1), flags, text);
  p.setPen(ink);
  p.drawText(box, flags, text);
  p.restore();
}

}  // namespace zumbel::skinart
