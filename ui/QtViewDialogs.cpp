#include "QtViewDialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "CreateGroupDialog.h"
#include "LoadProgress.h"
#include "OptionsDialog.h"
#include "ProgramEnding.h"

namespace zumbel {

namespace {
QString qs(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

std::vector<std::string> QtViewDialogs::run(const FileRequest& request, int mode, bool save) {
  // A program told to end answers every dialog with Cancel instead of opening it.
  if (programEnding()) return {};
  QFileDialog dialog(dialogOwner(owner_), qs(request.title), qs(request.initial), qs(request.filter));
  dialog.setFileMode(static_cast<QFileDialog::FileMode>(mode));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  // The dialog adds the extension before it checks for a file to replace, so a name typed
  // without it still asks before overwriting.
  if (!request.suffix.empty()) dialog.setDefaultSuffix(qs(request.suffix));
  if (dialog.exec() != QDialog::Accepted) return {};
  std::vector<std::string> files;
  for (const QString& f : dialog.selectedFiles()) files.push_back(f.toStdString());
  return files;
}

std::vector<std::string> QtViewDialogs::openFiles(const FileRequest& request) {
  return run(request, QFileDialog::ExistingFiles, false);
}

std::optional<std::string> QtViewDialogs::openFile(const FileRequest& request) {
  auto files = run(request, QFileDialog::ExistingFile, false);
  if (files.empty()) return std::nullopt;
  return files.front();
}

std::optional<std::string> QtViewDialogs::saveFile(const FileRequest& request) {
  auto files = run(request, QFileDialog::AnyFile, true);
  if (files.empty()) return std::nullopt;
  return files.front();
}

std::optional<std::string> QtViewDialogs::askGroupName(const std::string& preset) {
  if (programEnding()) return std::nullopt;
  CreateGroupDialog dialog(dialogOwner(owner_));
  dialog.setName(qs(preset));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.name().toStdString();
}

std::optional<OptionsValues> QtViewDialogs::runOptions(const OptionsValues& values) {
  if (programEnding()) return std::nullopt;
  OptionsDialog dialog(values, dialogOwner(owner_));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.values();
}

OccupiedPadAnswer QtViewDialogs::askReplaceOrSwap(const std::string& text, bool offerSwap) {
  if (programEnding()) return OccupiedPadAnswer::kCancel;
  QMessageBox box(QMessageBox::Question, QObject::tr("Replace sound?"), qs(text), QMessageBox::NoButton,
                  dialogOwner(owner_));
  QPushButton* replace = box.addButton(QObject::tr("Replace"), QMessageBox::AcceptRole);
  QPushButton* swap = offerSwap ? box.addButton(QObject::tr("Swap"), QMessageBox::AcceptRole) : nullptr;
  QPushButton* cancel = box.addButton(QMessageBox::Cancel);
  // Return keeps both sounds: replacing loses one.
  box.setDefaultButton(offerSwap ? swap : cancel);
  box.setEscapeButton(cancel);
  box.exec();
  if (box.clickedButton() == replace) return OccupiedPadAnswer::kReplace;
  if (swap && box.clickedButton() == swap) return OccupiedPadAnswer::kSwap;
  return OccupiedPadAnswer::kCancel;
}

}  // namespace zumbel
