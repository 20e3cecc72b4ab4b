// Zumbel's entry point. The command-line tools run without a window.

#include <algorithm>
#include <cctype>
#include <iostream>
#include <string>
#include <vector>

#include "DesktopLoader.h"
#include "cli/Commands.h"

namespace {

// Any case, as the Open dialog's filter and the file managers treat it.
bool endsWithDrums(const std::string& s) {
  if (s.size() < 6) return false;
  std::string ext = s.substr(s.size() - 6);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == ".drums";
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  // No arguments, or a drum set alone: the desktop program.
  if (args.empty() || (args.size() == 1 && endsWithDrums(args[0]))) return zumbel::runDesktopModule(argc, argv);
  const int status = zumbel::runCommandLine(args, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
