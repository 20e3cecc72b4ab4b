#include "IconArt.h"

#include <QLinearGradient>
#include <QPainter>
#include <QSvgGenerator>

#include "Paint.h"
#include "PanelArt.h"
#include "SkinPalette.h"

namespace zumbel::skinart {

namespace {

// The icon is drawn on a square this many logo units wide, so the pad grid keeps a margin of
// panel around it at every size.
constexpr double kIconUnits = 35;
constexpr double kCornerRadius = 6.5;

void drawIcon(QPainter& p, double size) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / kIconUnits, size / kIconUnits);
  const QRectF square(0, 0, kIconUnits, kIconUnits);
  QLinearGradient panel(square.topLeft(), square.bottomLeft());
  panel.setColorAt(0, colour(kPanelTop));
  panel.setColorAt(1, colour(kPanelBottom));
  roundedFace(p, square, kCornerRadius, colour(kPanelShadow), panel);
  const double margin = (kIconUnits - kPadGridSize) / 2;
  drawPadGrid(p, QPointF(margin, margin));
  p.restore();
}

}  // namespace

QString iconPngFile(int size) { return QStringLiteral("zumbel-%1.png").arg(size); }

QImage renderIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  drawIcon(p, size);
  p.end();
  return image;
}

std::string writeIconFiles(const std::string& folder) {
  const QString dir = QString::fromStdString(folder) + QLatin1Char('/');
  for (const int size : kIconSizes) {
    const QString path = dir + iconPngFile(size);
    if (!renderIcon(size).save(path)) return "cannot write " + path.toStdString();
  }
  const QString svgPath = dir + QString::fromLatin1(kIconSvgFile);
  QSvgGenerator svg;
  svg.setFileName(svgPath);
  svg.setSize(QSize(256, 256));
  svg.setViewBox(QRectF(0, 0, 256, 256));
  svg.setTitle(QStringLiteral("Zumbel"));
  svg.setDescription(QStringLiteral("The Zumbel drum sampler's icon"));
  QPainter p;
  if (!p.begin(&svg)) return "cannot write " + svgPath.toStdString();
  drawIcon(p, 256);
  p.end();
  return {};
}

}  // namespace zumbel::skinart
