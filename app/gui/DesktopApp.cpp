#include "DesktopApp.h"

#include <QApplication>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "AudioSystem.h"
#include "CMainFrame.h"
#include "ProgramEnding.h"
#include "QtPrompts.h"
#include "SettingsStore.h"

namespace zumbel {

namespace {

// Written by the signal handler, read by the event loop: the only safe way out of a handler.
int signalPipe[2] = {-1, -1};
// Set once the event loop has seen the signal; one that came while the set was still opening
// (before the main loop ran) ends the program as soon as the opening is done.
bool terminated = false;

void onTerminate(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(signalPipe[0], &byte, 1);
}

// SIGTERM (a session ending, `kill`) and SIGINT (Ctrl+C in the terminal that started it) end the
// event loop, so the window closes its MIDI input and audio output as on Exit: a JACK client
// killed outright leaves the server waiting for it.
void quitOnTerminate(QApplication& app) {
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return;
  auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, &app);
  QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
    char byte = 0;
    [[maybe_unused]] const ssize_t n = ::read(signalPipe[1], &byte, 1);
    terminated = true;
    // A load or a question under way ends at once, also before the main loop runs (where quit()
    // does nothing).
    requestProgramEnd();
    QApplication::quit();
  });
  struct sigaction action {};
  action.sa_handler = onTerminate;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

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
  quitOnTerminate(app);
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
  if (terminated) return 0;
  return QApplication::exec();
}

}  // namespace zumbel
