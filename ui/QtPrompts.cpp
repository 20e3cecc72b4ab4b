#include "QtPrompts.h"

#include <QMessageBox>

#include "LoadProgress.h"
#include "ProgramEnding.h"

namespace zumbel {

namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

}  // namespace

void QtPrompts::showMessage(std::string_view text, std::string_view caption) {
  showAlert(MessageIcon::kPlain, text, caption);
}

void QtPrompts::showAlert(MessageIcon icon, std::string_view text, std::string_view caption) {
  if (programEnding()) return;
  const QMessageBox::Icon shown = icon == MessageIcon::kWarning    ? QMessageBox::Warning
                                  : icon == MessageIcon::kCritical ? QMessageBox::Critical
                                                                   : QMessageBox::NoIcon;
  QMessageBox box(shown, qs(caption.empty() ? kAppCaption : caption), qs(text), QMessageBox::Ok, dialogOwner(owner_));
  box.exec();
}

bool QtPrompts::askYesNo(std::string_view text, std::string_view caption) {
  if (programEnding()) return false;
  QMessageBox box(QMessageBox::Question, qs(caption.empty() ? kAppCaption : caption), qs(text),
                  QMessageBox::Yes | QMessageBox::No, dialogOwner(owner_));
  return box.exec() == QMessageBox::Yes;
}

bool QtPrompts::askOkCancel(std::string_view text, std::string_view caption) {
  if (programEnding()) return false;
  QMessageBox box(QMessageBox::Question, qs(caption.empty() ? kAppCaption : caption), qs(text),
                  QMessageBox::Ok | QMessageBox::Cancel, dialogOwner(owner_));
  return box.exec() == QMessageBox::Ok;
}

Prompts::Answer QtPrompts::askYesNoCancel(std::string_view text, std::string_view caption) {
  // "Save changes?" as the program ends: Cancel would keep a program running that was told to go.
  if (programEnding()) return Answer::kNo;
  QMessageBox box(QMessageBox::Question, qs(caption.empty() ? kAppCaption : caption), qs(text),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, dialogOwner(owner_));
  switch (box.exec()) {
    case QMessageBox::Yes: return Answer::kYes;
    case QMessageBox::No: return Answer::kNo;
    default: return Answer::kCancel;
  }
}

Prompts::Answer QtPrompts::askYesNoNoToAll(std::string_view text, std::string_view caption) {
  if (programEnding()) return Answer::kNoToAll;
  QMessageBox box(QMessageBox::Question, qs(caption.empty() ? kAppCaption : caption), qs(text),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::NoToAll, dialogOwner(owner_));
  switch (box.exec()) {
    case QMessageBox::Yes: return Answer::kYes;
    case QMessageBox::NoToAll: return Answer::kNoToAll;
    default: return Answer::kNo;
  }
}

}  // namespace zumbel
