#include "DesktopApp.h"

#include <QApplication>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "AppIcon.h"
#include "AudioSystem.h"
#include "CMainFrame.h"
#include "KeyboardReturn.h"
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

// An empty variable is as good as none.
std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The X server named by DISPLAY accepts us, as Qt's xcb platform will need: a display nobody
// listens on, or one that refuses us, would make Qt abort where we can still say why.
bool xDisplayOpens() {
  const std::string display = env("DISPLAY");
  if (display.empty()) return false;
  xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
  const bool ok = xcb_connection_has_error(connection) == 0;
  xcb_disconnect(connection);
  return ok;
}

// A Wayland compositor listens on WAYLAND_DISPLAY's socket (a name in XDG_RUNTIME_DIR, or a path).
bool waylandAnswers() {
  const std::string name = env("WAYLAND_DISPLAY");
  if (name.empty()) return false;
  const std::string path = name.front() == '/' ? name : env("XDG_RUNTIME_DIR") + "/" + name;
  sockaddr_un address{};
  if (path.size() >= sizeof(address.sun_path)) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  ::close(fd);
  return ok;
}

// Whether the platform Qt is about to load can show a window. QT_QPA_PLATFORM lists the ones to
// try in turn (with options after a colon); those that need no display server (offscreen, vnc,
// the framebuffers) are Qt's to judge.
bool haveDisplay() {
  const std::string platforms = env("QT_QPA_PLATFORM");
  if (platforms.empty()) return xDisplayOpens() || waylandAnswers();
  std::string_view rest = platforms;
  while (!rest.empty()) {
    const std::string_view entry = rest.substr(0, rest.find(';'));
    rest.remove_prefix(std::min(rest.size(), entry.size() + 1));
    const std::string_view name = entry.substr(0, entry.find(':'));
    if (name == "xcb") {
      if (xDisplayOpens()) return true;
    } else if (name.starts_with("wayland")) {
      if (waylandAnswers()) return true;
    } else if (!name.empty()) {
      return true;
    }
  }
  return false;
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
  applyAppIdentity();
  SettingsStore settings;
  SystemAudio system;
  QtPrompts prompts;
  CMainFrame frame(system, settings, prompts);
  prompts.setOwner(&frame);
  returnKeyboardAfterDialogs(&frame);
  frame.show();
  const QString file = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
  // A set named on the command line that cannot be opened ends the program, as it says.
  if (!frame.start(file)) return 1;
  if (terminated) return 0;
  return QApplication::exec();
}

}  // namespace zumbel
