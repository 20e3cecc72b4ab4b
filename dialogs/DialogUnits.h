#pragma once
// Dialog layouts are given in dialog units, which scale with the dialog's font: a horizontal
// unit is a quarter of the font's average character width, a vertical one an eighth of its
// height. Converting with the font actually used keeps a dialog's proportions on any desktop
// font and at any screen scale.

#include <QFont>
#include <QRect>

namespace zumbel {

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  int x(int units) const { return (units * charWidth_ + 2) / 4; }
  int y(int units) const { return (units * charHeight_ + 4) / 8; }
  QRect rect(int left, int top, int width, int height) const { return {x(left), y(top), x(width), y(height)}; }
  QSize size(int width, int height) const { return {x(width), y(height)}; }

 private:
  int charWidth_;
  int charHeight_;
};

}  // namespace zumbel
