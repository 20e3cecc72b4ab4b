#include "WavFileDialog.h"

#include <QFileDialog>

#include "LoadProgress.h"
#include "ProgramEnding.h"

namespace zumbel {

std::optional<std::string> askForWavFile(QWidget* owner, const std::string& suggested) {
  if (programEnding()) return std::nullopt;
  QFileDialog dialog(dialogOwner(owner), QObject::tr("Open"), QString::fromStdString(suggested), QObject::tr("Wav Files (*.wav)"));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setDefaultSuffix(QStringLiteral("wav"));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return files.front().toStdString();
}

}  // namespace zumbel
