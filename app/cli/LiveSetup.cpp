#include "LiveSetup.h"

#include <algorithm>
#include <cctype>

#include "KitReport.h"

namespace zumbel {

namespace {

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

bool allDigits(const std::string& s) {
  return !s.empty() && s.size() < 9 && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

}  // namespace

std::optional<int> findDevice(const std::string& spec, const std::vector<std::string>& names) {
  if (allDigits(spec)) {
    const int number = std::stoi(spec);
    if (number < std::ssize(names)) return number;
    return std::nullopt;
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == spec) return static_cast<int>(i);
  }
  const std::string wanted = lower(spec);
  std::optional<int> match;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (lower(names[i]).find(wanted) == std::string::npos) continue;
    if (match) return std::nullopt;  // ambiguous
    match = static_cast<int>(i);
  }
  return match;
}

std::optional<int> chooseDevice(const std::string& spec, const std::vector<std::string>& names, std::string_view command,
                                std::string_view kind, std::ostream& err) {
  if (spec.empty()) return 0;
  if (const std::optional<int> found = findDevice(spec, names)) return found;
  err << "zumbel: " << command << ": '" << printable(spec) << "' names no single " << kind;
  if (names.empty()) {
    err << "; there are none\n";
    return std::nullopt;
  }
  err << "; there are:\n";
  for (std::size_t i = 0; i < names.size(); ++i) err << "  " << i << "  " << printable(names[i]) << '\n';
  return std::nullopt;
}

std::vector<std::string> audioOutputNames(AudioOutput& output) {
  std::vector<std::string> names;
  if (const std::optional<AudioDeviceList> list = output.ListAudioDevices()) {
    for (const AudioDeviceInfo& d : list->devices) names.push_back(d.description);
  }
  return names;
}

bool openAudio(AudioOutput& output, CollectingPrompts& prompts, int device, std::ostream& err) {
  prompts.messages.clear();
  if (output.InitAudioOutput(device) == 1) return true;
  if (device != 0) {
    // As the window does after a failed switch: say why, then play through the default.
    for (const std::string& m : prompts.messages) err << "zumbel: " << m << '\n';
    prompts.messages.clear();
    if (output.InitAudioOutput(0) == 1) {
      err << "zumbel: playing through the system default output instead\n";
      return true;
    }
  }
  // The default device's failure is said in plainer words than the message box's.
  err << "zumbel: no audio device could be opened";
  if (!output.lastDetail().empty()) err << " (" << output.lastDetail() << ")";
  err << '\n';
  return false;
}

}  // namespace zumbel
