#include "PulseTestServer.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace zumbel::test {

namespace {

using namespace std::chrono_literals;

bool writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

constexpr const char* kMissing =
    " is not installed; Debian's pulseaudio and pulseaudio-utils packages provide it (scripts/install-deps "
    "installs them)";

}  // namespace

std::string PulseTestServer::programPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

PulseTestServer::PulseTestServer(std::string dir)
    : dir_(std::move(dir)), socket_(dir_ + "/runtime/native"), log_(dir_ + "/pulseaudio.log") {
  const std::string home = dir_ + "/home";
  clientEnv_ = {
      {"PULSE_SERVER", "unix:" + socket_},
      // A client that cannot reach this server must not start one of its own.
      {"PULSE_CLIENTCONFIG", home + "/.config/pulse/client.conf"},
      // ALSA reads ~/.asoundrc; PulseAudio reads its configuration below XDG_CONFIG_HOME.
      {"HOME", home},
      {"XDG_CONFIG_HOME", home + "/.config"},
      {"XDG_RUNTIME_DIR", dir_ + "/runtime"},
  };
}

PulseTestServer::~PulseTestServer() { stop(); }

bool PulseTestServer::start(std::string& error) {
  const std::string daemon = programPath("pulseaudio");
  if (daemon.empty()) {
    error = std::string("pulseaudio") + kMissing;
    return false;
  }
  if (programPath("pactl").empty() || programPath("parec").empty()) {
    error = std::string("pactl or parec") + kMissing;
    return false;
  }
  const std::string home = dir_ + "/home";
  std::error_code ec;
  for (const std::string& d : {dir_ + "/runtime", dir_ + "/state", home + "/.config/pulse"}) {
    std::filesystem::create_directories(d, ec);
    if (ec) {
      error = "cannot make " + d + ": " + ec.message();
      return false;
    }
  }
  std::filesystem::permissions(dir_ + "/runtime", std::filesystem::perms::owner_all, ec);

  // Read instead of /etc/pulse/daemon.conf and client.conf, which are not read then.
  const bool written =
      writeFile(home + "/.config/pulse/daemon.conf",
                "default-sample-format = float32le\ndefault-sample-rate = 44100\nalternate-sample-rate = 44100\n"
                "default-sample-channels = 2\navoid-resampling = yes\nexit-idle-time = -1\nflat-volumes = no\n") &&
      writeFile(home + "/.config/pulse/client.conf", "autospawn = no\n") &&
      // The system's configuration already sends ALSA's default device to PulseAudio when it
      // runs, but through whatever server PULSE_SERVER names; this names ours, so an ALSA client
      // plays here whatever its environment says about PulseAudio.
      writeFile(home + "/.asoundrc", "pcm.!default {\n  type pulse\n  server \"unix:" + socket_ + "\"\n  device \"" +
                                         kSinkName + "\"\n}\nctl.!default {\n  type pulse\n  server \"unix:" + socket_ +
                                         "\"\n}\n") &&
      writeFile(dir_ + "/server.pa", std::string("load-module module-null-sink sink_name=") + kSinkName +
                                         " rate=44100 format=float32le channels=2 channel_map=front-left,front-right"
                                         " sink_properties=device.description=" + kSinkDescription + "\n" +
                                         "set-default-sink " + kSinkName + "\n" +
                                         "load-module module-native-protocol-unix auth-anonymous=1 socket=" + socket_ + "\n");
  if (!written) {
    error = "cannot write the configuration into " + dir_;
    return false;
  }

  ChildProcess::Options options;
  options.argv = {daemon, "-n", "-F", dir_ + "/server.pa", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                  "--log-target=stderr", "--system=no", "--disallow-exit"};
  // Underruns are logged only at debug level; a test that wants to count them sets this.
  if (const char* level = std::getenv("ZUMBEL_PULSE_LOG_LEVEL")) options.argv.push_back(std::string("--log-level=") + level);
  options.setEnv = clientEnv_;
  options.setEnv.emplace_back("PULSE_RUNTIME_PATH", dir_ + "/runtime");
  options.setEnv.emplace_back("PULSE_STATE_PATH", dir_ + "/state");
  // No D-Bus session: without one the daemon would try to start a bus of its own on a display.
  options.setEnv.emplace_back("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir_ + "/no-bus");
  options.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY", "PULSE_SERVER_TYPE"};
  options.stdoutPath = log_;
  if (!daemon_.start(options, error)) return false;

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
  bool up = false;
  while (!up && std::chrono::steady_clock::now() < deadline && daemon_.running()) {
    up = pactl({"info"});
    if (!up) std::this_thread::sleep_for(20ms);
  }
  if (!up) {
    const bool died = !daemon_.running();
    stop();
    error = std::string(died ? "pulseaudio exited" : "pulseaudio did not answer pactl within 10 s") + "; its log:\n" +
            readText(log_);
    return false;
  }
  return true;
}

void PulseTestServer::stop() {
  if (daemon_.pid() > 0) daemon_.stop(5s);
}

bool PulseTestServer::running() { return daemon_.running(); }

void PulseTestServer::exportEnvironment() const {
  for (const auto& [name, value] : clientEnv_) ::setenv(name.c_str(), value.c_str(), 1);
}

bool PulseTestServer::pactl(const std::vector<std::string>& args, const std::string& outputPath) const {
  ChildProcess p;
  ChildProcess::Options options;
  options.argv = {programPath("pactl")};
  options.argv.insert(options.argv.end(), args.begin(), args.end());
  options.setEnv = clientEnv_;
  options.stdoutPath = outputPath;
  std::string error;
  if (!p.start(options, error)) return false;
  const std::optional<ChildExit> exit = p.wait(5s);
  if (!exit) p.stop(1s);
  return exit && exit->exited && exit->status == 0;
}

PulseRecorder::PulseRecorder(const PulseTestServer& server, std::string rawPath)
    : server_(server), path_(std::move(rawPath)) {}

PulseRecorder::~PulseRecorder() {
  if (parec_.pid() > 0) parec_.stop(2s);
}

bool PulseRecorder::start(std::string& error) {
  const std::string parec = PulseTestServer::programPath("parec");
  if (parec.empty()) {
    error = std::string("parec") + kMissing;
    return false;
  }
  ChildProcess::Options options;
  // Small fragments, so what was played reaches the file soon and little is left behind at stop.
  options.argv = {parec, "-d", server_.monitorName(), "--format=float32le", "--rate=44100", "--channels=2", "--raw",
                  "--latency-msec=10", "--client-name=zumbel-e2e-recorder"};
  options.setEnv = server_.clientEnvironment();
  options.stdoutPath = path_;
  options.stderrPath = path_ + ".log";
  if (!parec_.start(options, error)) return false;
  // The monitor delivers silence as soon as the stream runs: the first bytes say it does.
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  std::error_code ec;
  while (std::chrono::steady_clock::now() < deadline && parec_.running()) {
    if (std::filesystem::file_size(path_, ec) > 0 && !ec) return true;
    std::this_thread::sleep_for(5ms);
  }
  error = "parec recorded nothing: " + readText(path_ + ".log");
  parec_.stop(2s);
  return false;
}

PulseTake PulseRecorder::stop() {
  parec_.stop(2s);
  const std::string bytes = readText(path_);
  PulseTake take;
  const std::size_t frames = bytes.size() / (sizeof(float) * PulseTestServer::kChannels);
  take.left.resize(frames);
  take.right.resize(frames);
  for (std::size_t i = 0; i < frames; ++i) {
    std::memcpy(&take.left[i], bytes.data() + i * 8, 4);
    std::memcpy(&take.right[i], bytes.data() + i * 8 + 4, 4);
  }
  return take;
}

}  // namespace zumbel::test
