#pragma once
// Small pieces every command's argument parsing shares.

#include <ostream>
#include <string>

#include "Commands.h"

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

}  // namespace zumbel
