#include "UpDownArrows.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace zumbel {

namespace {
// The pause before a held arrow repeats, and the pace after it, as spin boxes have them.
constexpr int kRepeatDelayMs = 400;
constexpr int kRepeatIntervalMs = 60;
}  // namespace

UpDownArrows::UpDownArrows(QWidget* parent) : QAbstractSlider(parent) {
  setOrientation(Qt::Vertical);
  setFocusPolicy(Qt::StrongFocus);
  setPageStep(1);
}

QSize UpDownArrows::sizeHint() const { return {16, 22}; }

QRect UpDownArrows::upperHalf() const { return {0, 0, width(), height() / 2}; }
QRect UpDownArrows::lowerHalf() const { return {0, height() / 2, width(), height() - height() / 2}; }

void UpDownArrows::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const auto arrow = [&](const QRect& r, QStyle::PrimitiveElement element, bool down) {
    QStyleOption option;
    option.initFrom(this);
    option.rect = r;
    if (down) option.state |= QStyle::State_Sunken;
    else option.state |= QStyle::State_Raised;
    style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &option, &p, this);
    option.rect = r.adjusted(2, 1, -2, -1);
    style()->drawPrimitive(element, &option, &p, this);
  };
  arrow(upperHalf(), QStyle::PE_IndicatorArrowUp, pressed_ == SliderSingleStepAdd);
  arrow(lowerHalf(), QStyle::PE_IndicatorArrowDown, pressed_ == SliderSingleStepSub);
  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
  }
}

void UpDownArrows::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  pressed_ = upperHalf().contains(event->position().toPoint()) ? SliderSingleStepAdd : SliderSingleStepSub;
  triggerAction(pressed_);
  setRepeatAction(pressed_, kRepeatDelayMs, kRepeatIntervalMs);
  update();
}

void UpDownArrows::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  pressed_ = SliderNoAction;
  setRepeatAction(SliderNoAction);
  update();
}

}  // namespace zumbel
