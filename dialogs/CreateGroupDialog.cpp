#include "CreateGroupDialog.h"

#include <QLineEdit>
#include <QPushButton>

#include "DialogUnits.h"
#include "Limits.h"

namespace zumbel {

CreateGroupDialog::CreateGroupDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Create Group"));
  const DialogUnits du(font());
  setFixedSize(du.size(186, 47));
  edit_ = new QLineEdit(this);
  edit_->setMaxLength(kMaxGroupNameLength);
  edit_->setGeometry(du.rect(25, 16, 80, 14));
  auto* ok = new QPushButton(tr("OK"), this);
  ok->setGeometry(du.rect(129, 7, 50, 14));
  ok->setDefault(true);
  auto* cancel = new QPushButton(tr("Cancel"), this);
  cancel->setGeometry(du.rect(129, 26, 50, 14));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  edit_->setFocus();
}

void CreateGroupDialog::setName(const QString& name) {
  edit_->setText(name.left(kMaxGroupNameLength));
  edit_->selectAll();
}

QString CreateGroupDialog::name() const { return edit_->text(); }

}  // namespace zumbel
