#pragma once
// The about box: our own picture with the version label, no buttons; Escape or the close box
// closes it.

#include <QDialog>

namespace zumbel {

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);
};

// The picture the box shows: the logo on the dark panel, drawn from the skin built into the
// program.
QImage aboutPicture();

}  // namespace zumbel
