// Zumbel's entry point. The command-line tools run without a window.

#include <iostream>
#include <string>
#include <vector>

#include "DesktopApp.h"
#include "cli/Commands.h"

namespace {

bool endsWithDrums(const std::string& s) {
  return s.size() >= 6 && (s.compare(s.size() - 6, 6, ".drums") == 0 || s.compare(s.size() - 6, 6, ".DRUMS") == 0);
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  // No arguments, or a drum set alone: the desktop program.
  if (args.empty() || (args.size() == 1 && endsWithDrums(args[0]))) return zumbel::runDesktop(argc, argv);
  const int status = zumbel::runCommandLine(args, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
