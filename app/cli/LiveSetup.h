#pragma once
// What `zumbel play` and `zumbel devices` share: choosing devices by number or by name, and
// opening the audio output with its failures said in words that fit a terminal.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "AudioOutput.h"
#include "Prompts.h"

namespace zumbel {

// Keeps what would have been message boxes, so the command decides how to say them.
class CollectingPrompts : public Prompts {
 public:
  void showMessage(std::string_view text, std::string_view) override { messages.emplace_back(text); }
  std::vector<std::string> messages;
};

// A device given as a number, or as a name: an exact name first, then the one name that contains
// the text (case ignored). Nothing when no name or more than one matches.
std::optional<int> findDevice(const std::string& spec, const std::vector<std::string>& names);

// Opens `spec` (empty: the system default) on `output`; a chosen device that fails to open is
// reported and the system default opened instead. On failure prints why on `err` and returns
// false: a name no device has, or no device at all ("no audio device could be opened").
bool openAudio(AudioOutput& output, CollectingPrompts& prompts, const std::string& spec, std::ostream& err);

}  // namespace zumbel
