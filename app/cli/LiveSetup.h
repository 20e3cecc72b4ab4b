#pragma once
// What `zumbel play` and `zumbel devices` share: choosing devices by number or by name, and
// opening the audio output with its failures said in words that fit a terminal.

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
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

// A device given as a number within the list, or as a name: an exact name first, then the one
// name that contains the text (case ignored). Nothing when no device or more than one matches.
std::optional<int> findDevice(const std::string& spec, const std::vector<std::string>& names);

// The device `spec` names among `names` (empty: device 0). When there is none, says so on `err`
// as an error of `command`, with the list of the `kind`s there are, and gives nothing: a device
// that does not exist is always an error, whatever the command and option.
std::optional<int> chooseDevice(const std::string& spec, const std::vector<std::string>& names, std::string_view command,
                                std::string_view kind, std::ostream& err);

// The audio outputs as play and devices number them (entry 0 is the system default); empty when
// they cannot be listed.
std::vector<std::string> audioOutputNames(AudioOutput& output);

// Opens `device` on `output`; a device that exists but fails to open is reported and the system
// default opened instead. On failure prints why on `err` and returns false ("no audio device
// could be opened").
bool openAudio(AudioOutput& output, CollectingPrompts& prompts, int device, std::ostream& err);

}  // namespace zumbel
