#pragma once
// The bundled manual in a window of the program's own, for a desktop where F1 finds no browser to
// open it in. Links inside the manual are followed here; links out of it go to the desktop.

#include <QDialog>

namespace zumbel {

class HelpWindow : public QDialog {
  Q_OBJECT

 public:
  explicit HelpWindow(QWidget* parent = nullptr);
};

}  // namespace zumbel
