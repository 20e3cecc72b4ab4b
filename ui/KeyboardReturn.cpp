#include "KeyboardReturn.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

namespace zumbel {

namespace {

class KeyboardReturn : public QObject {
 public:
  explicit KeyboardReturn(QWidget* main) : QObject(main), main_(main) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::WindowDeactivate || !watched->isWidgetType()) return false;
    auto* w = static_cast<QWidget*>(watched);
    // A dialog that lets go of the keyboard because it is being hidden, not because the user went
    // to another program. Asked once the hiding is over.
    if (w->isWindow() && w != main_ && w->windowType() == Qt::Dialog && w->isHidden()) {
      QMetaObject::invokeMethod(this, [this] { giveBack(); }, Qt::QueuedConnection);
    }
    return false;
  }

 private:
  void giveBack() {
    if (!main_ || !main_->isVisible()) return;
    // A window manager may have given it to a window of ours already.
    if (const QWidget* active = QApplication::activeWindow(); active && active->isVisible()) return;
    QWidget* modal = QApplication::activeModalWidget();
    (modal ? modal : main_.data())->activateWindow();
  }

  QPointer<QWidget> main_;
};

}  // namespace

void returnKeyboardAfterDialogs(QWidget* main) {
  if (!main || !qApp) return;
  qApp->installEventFilter(new KeyboardReturn(main));
}

}  // namespace zumbel
