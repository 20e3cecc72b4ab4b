#include "DialogUnits.h"

#include <QFontMetrics>

#include <algorithm>

namespace zumbel {

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average width of the 52 letters, rounded, as dialog templates have always measured it.
  const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  charWidth_ = std::max(1, (letters / 26 + 1) / 2);
  charHeight_ = std::max(1, metrics.height());
}

}  // namespace zumbel
