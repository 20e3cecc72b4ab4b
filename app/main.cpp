// Zumbel's entry point. The command-line tools run without a window.

#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int status = zumbel::runCommandLine(args, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
