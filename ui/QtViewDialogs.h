#pragma once
// The main window's dialogs as the desktop shows them: Qt's file dialogs, the Create Group and
// the Options dialogs, owned by the window (or by the progress dialog while a set loads).

#include <QPointer>
#include <QWidget>

#include "ViewDialogs.h"

namespace zumbel {

class QtViewDialogs : public ViewDialogs {
 public:
  explicit QtViewDialogs(QWidget* owner) : owner_(owner) {}
  std::vector<std::string> openFiles(const FileRequest& request) override;
  std::optional<std::string> openFile(const FileRequest& request) override;
  std::optional<std::string> saveFile(const FileRequest& request) override;
  std::optional<std::string> askGroupName(const std::string& preset) override;
  std::optional<OptionsValues> runOptions(const OptionsValues& values) override;
  OccupiedPadAnswer askReplaceOrSwap(const std::string& text, bool offerSwap) override;

 private:
  std::vector<std::string> run(const FileRequest& request, int mode, bool save);

  QPointer<QWidget> owner_;
};

}  // namespace zumbel
