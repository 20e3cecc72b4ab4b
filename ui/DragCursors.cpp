#include "DragCursors.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>
#include <functional>

namespace zumbel {

namespace {

// Both pointers are drawn on a 32 x 32 grid of logical pixels.
constexpr int kSize = 32;

QPixmap drawn(qreal devicePixelRatio, const std::function<void(QPainter&)>& draw) {
  const int scale = devicePixelRatio > 1.0 ? 2 : 1;
  QPixmap pixmap(kSize * scale, kSize * scale);
  pixmap.fill(Qt::transparent);
  pixmap.setDevicePixelRatio(scale);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  draw(p);
  return pixmap;
}

// A green disc in the lower right corner with a plus (a copy, an added take) or an arrow (a move).
void drawBadge(QPainter& p, bool plus) {
  p.setPen(QPen(QColor(20, 20, 20), 1.0));
  p.setBrush(QColor(60, 170, 70));
  p.drawEllipse(QRectF(20.5, 20.5, 11, 11));
  p.setPen(QPen(Qt::white, 1.8));
  if (plus) {
    p.drawLine(QPointF(26, 22.8), QPointF(26, 29.2));
    p.drawLine(QPointF(22.8, 26), QPointF(29.2, 26));
  } else {
    p.drawLine(QPointF(22.8, 26), QPointF(29.2, 26));
    p.drawLine(QPointF(26.4, 23.2), QPointF(29.2, 26));
    p.drawLine(QPointF(26.4, 28.8), QPointF(29.2, 26));
  }
}

}  // namespace

QCursor entryDragCursor(qreal devicePixelRatio, bool alternate) {
  return QCursor(drawn(devicePixelRatio, [alternate](QPainter& p) {
                   // A list card under the arrow: what is carried is a named entry.
                   p.setPen(QPen(QColor(20, 20, 20), 1.0));
                   p.setBrush(QColor(204, 170, 102));
                   p.drawRoundedRect(QRectF(11.5, 15.5, 18, 12), 2, 2);
                   p.setPen(QPen(QColor(40, 30, 10), 1.2));
                   for (int i = 0; i < 3; ++i) p.drawLine(QPointF(14, 19 + 3 * i), QPointF(27 - 3 * i, 19 + 3 * i));
                   QPainterPath arrow;
                   arrow.moveTo(1, 1);
                   arrow.lineTo(1, 18);
                   arrow.lineTo(5, 14);
                   arrow.lineTo(8, 21);
                   arrow.lineTo(11, 20);
                   arrow.lineTo(8, 13);
                   arrow.lineTo(13, 13);
                   arrow.closeSubpath();
                   p.setPen(QPen(Qt::black, 1.0));
                   p.setBrush(Qt::white);
                   p.drawPath(arrow);
                   // A plus on the card's corner, as file managers mark a copy.
                   if (alternate) drawBadge(p, true);
                 }),
                 1, 1);
}

QCursor padDragCursor(qreal devicePixelRatio, PadCarry carry) {
  return QCursor(drawn(devicePixelRatio, [carry](QPainter& p) {
                   // A decaying drum hit in a dark box: what is carried is a sound.
                   p.setPen(QPen(QColor(20, 20, 20), 1.0));
                   p.setBrush(QColor(0, 30, 30));
                   p.drawRoundedRect(QRectF(2.5, 6.5, 27, 19), 3, 3);
                   QPainterPath wave;
                   wave.moveTo(5, 16);
                   for (int i = 0; i <= 44; ++i) {
                     const double x = 5 + 0.5 * i;
                     const double decay = std::exp(-i / 14.0);
                     wave.lineTo(x, 16 - 8 * decay * std::sin(i * 0.9));
                   }
                   p.setBrush(Qt::NoBrush);
                   p.setPen(QPen(QColor(255, 216, 1), 1.4));
                   p.drawPath(wave);
                   if (carry != PadCarry::kPlain) drawBadge(p, carry == PadCarry::kCopy);
                 }),
                 16, 16);
}

}  // namespace zumbel
