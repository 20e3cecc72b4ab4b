#pragma once
// Names and paths from files, made safe to print on a terminal or into a host's log.

#include <ostream>
#include <string_view>

namespace zumbel {

// Text for a terminal: control characters (C0, DEL, C1) and bytes that are not UTF-8 come out as
// '?', so no name or path in a file can drive the terminal.
struct Printable {
  std::string_view text;
};
std::ostream& operator<<(std::ostream& out, Printable p);
inline Printable printable(std::string_view s) { return Printable{s}; }

}  // namespace zumbel
