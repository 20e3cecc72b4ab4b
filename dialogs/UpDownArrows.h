#pragma once
// A small pair of up and down arrows that steps a value through its range, with no box of its
// own showing the value: the labels beside it say what it means. The up arrow and the Up key
// raise the value; holding an arrow repeats.

#include <QAbstractSlider>

namespace zumbel {

class UpDownArrows : public QAbstractSlider {
  Q_OBJECT

 public:
  explicit UpDownArrows(QWidget* parent = nullptr);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QRect upperHalf() const;
  QRect lowerHalf() const;

  SliderAction pressed_ = SliderNoAction;
};

}  // namespace zumbel
