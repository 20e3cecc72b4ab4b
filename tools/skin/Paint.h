#pragma once
// Drawing primitives the skin is built from: colours, gradients, bevels, rounded faces and text.
// Everything is filled rather than stroked, so edges land on whole pixels at 1x and at 2x alike.

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <string>

#include "SkinLayout.h"

namespace zumbel::skinart {

QColor colour(skin::Rgb c, int alpha = 255);
QRectF toRectF(const skin::Rect& r);
skin::Rect intersected(const skin::Rect& a, const skin::Rect& b);

// Loads the bundled fonts; returns an error message, empty on success. Needs a QGuiApplication.
std::string loadSkinFonts();
QFont skinFont(int pixelSize, bool bold, double letterSpacing = 0.0);
// The largest font up to pixelSize whose rendering of text fits maxWidth.
QFont fittedFont(const QString& text, double maxWidth, int pixelSize, bool bold);

void fillVertical(QPainter& p, const QRectF& r, skin::Rgb top, skin::Rgb bottom);
// A one-pixel frame just inside r: light along the top and left, dark along the bottom and right.
void bevel(QPainter& p, const QRectF& r, QColor light, QColor dark);
// A raised plate with a bevelled edge, and a sunken well with the bevel reversed.
void raisedPlate(QPainter& p, const QRectF& r);
void sunkenWell(QPainter& p, const QRectF& r, skin::Rgb fill);
// A rounded face with a one-pixel rim; the brush fills the inside.
void roundedFace(QPainter& p, const QRectF& r, double radius, QColor rim, const QBrush& fill);

// Text with a one-pixel shadow below it, so light labels read as engraved into the panel.
void engravedText(QPainter& p, const QRectF& box, const QString& text, const QFont& font, QColor ink,
                  int flags = Qt::AlignCenter);

}  // namespace zumbel::skinart
