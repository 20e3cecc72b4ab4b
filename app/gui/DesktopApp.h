#pragma once
// The desktop program: the window on a new drum set, or on the one named on the command line.

namespace zumbel {

// Returns the exit status. Without a display to show the window on it says so and returns 2.
int runDesktop(int argc, char** argv);

}  // namespace zumbel
