#pragma once
// Everything the engine must tell the user goes through this interface. The window shows message
// boxes; the command-line tools print to stderr; tests record what would have been shown.

#include <string_view>

namespace zumbel {

// The caption of a message box that names none.
inline constexpr std::string_view kAppCaption = "Zumbel";

// What a message box shows beside its text: no icon, a warning sign, or a stop sign.
enum class MessageIcon { kPlain, kWarning, kCritical };

class Prompts {
 public:
  virtual ~Prompts() = default;
  // A message box with an OK button.
  virtual void showMessage(std::string_view text, std::string_view caption) = 0;
  // The same with an icon: a warning when a drum set could not be opened or saved, a stop sign
  // when a sample list could not be read or written. Where no icon can be shown it is the plain
  // message.
  virtual void showAlert(MessageIcon icon, std::string_view text, std::string_view caption) {
    (void)icon;
    showMessage(text, caption);
  }
  // A question with Yes and No; true only for Yes. With nobody to ask (the command line) the
  // answer is No, which never loses or changes anything the user has not agreed to.
  virtual bool askYesNo(std::string_view text, std::string_view caption) {
    (void)text;
    (void)caption;
    return false;
  }
  // A question with OK and Cancel; true only for OK. With nobody to ask the answer is Cancel.
  virtual bool askOkCancel(std::string_view text, std::string_view caption) {
    (void)text;
    (void)caption;
    return false;
  }
  // A question with Yes, No and Cancel. With nobody to ask the answer is Cancel, which leaves
  // everything as it was.
  enum class Answer { kYes, kNo, kCancel, kNoToAll };
  virtual Answer askYesNoCancel(std::string_view text, std::string_view caption) {
    (void)text;
    (void)caption;
    return Answer::kCancel;
  }
  // A question with Yes, No and No to All, one of a series: No to All answers No for the rest of
  // the series without asking. With nobody to ask the answer is No.
  virtual Answer askYesNoNoToAll(std::string_view text, std::string_view caption) {
    (void)text;
    (void)caption;
    return Answer::kNo;
  }
};

}  // namespace zumbel
