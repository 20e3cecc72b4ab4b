#pragma once
// Small pieces every command's argument parsing shares.

#include <ostream>
#include <string>
#include <string_view>

#include "Commands.h"
#include "FileProblems.h"

namespace zumbel {

// A whole decimal integer within min..max.
inline bool parseIntArg(const std::string& s, long min, long max, long& out) {
  std::size_t used = 0;
  try {
    out = std::stol(s, &used);
  } catch (...) {
    return false;
  }
  return used == s.size() && out >= min && out <= max;
}

// A usage error of `command`, with the pointer to its help; returns the error status.
inline int commandError(std::ostream& err, const std::string& command, const std::string& message) {
  err << "zumbel: " << command << ": " << message << "\nTry 'zumbel " << command << " --help'.\n";
  return kExitError;
}

// A file the command cannot use: "zumbel: COMMAND: PATH: REASON"; returns the error status.
inline int fileError(std::ostream& err, std::string_view command, std::string_view path, std::string_view reason) {
  reportFileProblem(err, command, path, reason);
  return kExitError;
}

}  // namespace zumbel
