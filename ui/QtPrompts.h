#pragma once
// The window's answer to the engine's prompts: message boxes owned by the main window.

#include <QWidget>

#include "Prompts.h"

namespace zumbel {

class QtPrompts : public Prompts {
 public:
  explicit QtPrompts(QWidget* owner = nullptr) : owner_(owner) {}
  void setOwner(QWidget* owner) { owner_ = owner; }
  void showMessage(std::string_view text, std::string_view caption) override;
  void showAlert(MessageIcon icon, std::string_view text, std::string_view caption) override;
  bool askYesNo(std::string_view text, std::string_view caption) override;
  bool askOkCancel(std::string_view text, std::string_view caption) override;
  Answer askYesNoCancel(std::string_view text, std::string_view caption) override;
  Answer askYesNoNoToAll(std::string_view text, std::string_view caption) override;

 private:
  QWidget* owner_;
};

}  // namespace zumbel
