#pragma once
// Everything the engine must tell the user goes through this interface. The window shows message
// boxes; the command-line tools print to stderr; tests record what would have been shown.

#include <string_view>

namespace zumbel {

// The caption of a message box that names none.
inline constexpr std::string_view kAppCaption = "Zumbel";

class Prompts {
 public:
  virtual ~Prompts() = default;
  // A message box with an OK button.
  virtual void showMessage(std::string_view text, std::string_view caption) = 0;
};

}  // namespace zumbel
