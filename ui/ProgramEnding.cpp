#include "ProgramEnding.h"

#include <QApplication>
#include <QDialog>

namespace zumbel {

namespace {

bool ending = false;

}  // namespace

void requestProgramEnd() {
  ending = true;
  // A question or a file dialog waiting in its own event loop: closed as Cancel would.
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QDialog*>(w);
    if (dialog && dialog->isVisible() && dialog->isModal()) dialog->reject();
  }
}

bool programEnding() noexcept { return ending; }

}  // namespace zumbel
