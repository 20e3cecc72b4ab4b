#pragma once
// Starts the window from its module (zumbel-desktop.so), found beside the program in a build
// folder or in the installed library folder.

namespace zumbel {

// The window's exit status; 2 when the module cannot be loaded, after saying why.
int runDesktopModule(int argc, char** argv);

}  // namespace zumbel
