// The window as a module the program loads only when it opens one: the command-line tools then
// start without resolving Qt's thousands of symbols, which was most of a short render's time.

#include "DesktopApp.h"

extern "C" __attribute__((visibility("default"))) int zumbel_desktop_main(int argc, char** argv) {
  return zumbel::runDesktop(argc, argv);
}
