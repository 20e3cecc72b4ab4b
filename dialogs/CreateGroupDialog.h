#pragma once
// "Create Group": asks for the name of a new sample group. The caller presets the name and reads
// it back after OK; a name is at most 50 characters, and the box takes no more.

#include <QDialog>

class QLineEdit;

namespace zumbel {

class CreateGroupDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CreateGroupDialog(QWidget* parent = nullptr);

  void setName(const QString& name);
  QString name() const;

 private:
  QLineEdit* edit_;
};

}  // namespace zumbel
