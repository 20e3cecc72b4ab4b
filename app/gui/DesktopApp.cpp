#include "DesktopApp.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "AudioSystem.h"
#include "CMainFrame.h"
#include "QtPrompts.h"
#include "SettingsStore.h"

namespace zumbel {

namespace {

bool haveDisplay() {
  return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") || std::getenv("QT_QPA_PLATFORM");
}

}  // namespace

int runDesktop(int argc, char** argv) {
  if (!haveDisplay()) {
    std::fprintf(stderr,
                 "zumbel: there is no display to show the window on; 'zumbel play KIT.drums' plays a set\n"
                 "without one ('zumbel --help' lists every command)\n");
    return 2;
  }
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Nordwick"));
  QApplication::setApplicationName(QStringLiteral("Zumbel"));
  SettingsStore settings;
  SystemAudio system;
  QtPrompts prompts;
  CMainFrame frame(system, settings, prompts);
  prompts.setOwner(&frame);
  frame.show();
  const QString file = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
  // A set named on the command line that cannot be opened ends the program, as it says.
  if (!frame.start(file)) return 1;
  return QApplication::exec();
}

}  // namespace zumbel
