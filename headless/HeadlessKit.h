#pragma once
// Opening a drum set for playing without a window, as the program opens one but with nobody to
// ask: the relink probes run, a sample nobody can locate stays silent, and each one missing is
// reported on the error stream.

#include <ostream>
#include <string>

#include "KitbeatDoc.h"
#include "Prompts.h"

namespace zumbel {

class DrumEngine;

// Prints what would have been a message box.
class StreamPrompts : public Prompts {
 public:
  explicit StreamPrompts(std::ostream& err) : err_(err) {}
  void showMessage(std::string_view text, std::string_view caption) override;

 private:
  std::ostream& err_;
};

struct HeadlessLoad {
  int voices = 0;      // layers that got a voice
  int missing = 0;     // pool entries whose file is nowhere
  int unreadable = 0;  // files that are there but gave no voice, each named on the error stream
};

// The set must already be open in `doc`. Builds every voice into `engine`.
HeadlessLoad loadVoicesHeadless(CKitbeatDoc& doc, DrumEngine& engine, Prompts& prompts, std::ostream& err);

}  // namespace zumbel
