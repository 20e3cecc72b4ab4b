#pragma once
// A private PulseAudio daemon for one test or benchmark, and a recorder of what it plays.
//
// The daemon runs in a folder of its own: its socket, runtime and state files, and a home folder
// with its own configuration, so neither the system's nor a user's PulseAudio configuration is
// read and no running sound server is touched. It has one sink, a null sink at 44.1 kHz in float
// stereo (nothing is heard), which is the default; its monitor is what the recorder records.
//
// A client reaches it through clientEnvironment(): PulseAudio clients through PULSE_SERVER, and
// ALSA clients too, since the home folder's .asoundrc makes ALSA's "default" device the pulse
// plugin pointed at this daemon. A test of the program in this process applies the environment
// with exportEnvironment() before the program opens its output.
//
// Starting fails with a message naming the missing package where PulseAudio is not installed:
// scripts/install-deps installs it, so a test should fail then rather than skip.

#include <string>
#include <utility>
#include <vector>

#include "ChildProcess.h"

namespace zumbel::test {

using Environment = std::vector<std::pair<std::string, std::string>>;

class PulseTestServer {
 public:
  static constexpr int kRate = 44100;
  static constexpr int kChannels = 2;
  // The sink's name, and its description, which is what RtAudio and `zumbel devices` call it
  // ("PulseAudio: Zumbel-E2E-Sink").
  static constexpr const char* kSinkName = "zumbel_e2e";
  static constexpr const char* kSinkDescription = "Zumbel-E2E-Sink";
  static constexpr int kStartTimeoutMs = 10000;

  // `dir` is an existing, empty folder the server may fill (a test's TempDir).
  explicit PulseTestServer(std::string dir);
  // Stops the daemon.
  ~PulseTestServer();
  PulseTestServer(const PulseTestServer&) = delete;
  PulseTestServer& operator=(const PulseTestServer&) = delete;

  // Writes the configuration, starts the daemon and waits until `pactl info` answers. False with
  // `error` (which quotes the daemon's log) otherwise.
  bool start(std::string& error);
  // SIGTERM, then SIGKILL if it lingers; waits for it to end. Idempotent.
  void stop();
  bool running();

  // Variables a client process needs to reach this daemon (and nothing else) through PulseAudio
  // or ALSA's default device.
  const Environment& clientEnvironment() const noexcept { return clientEnv_; }
  // Sets clientEnvironment() in this process.
  void exportEnvironment() const;

  std::string monitorName() const { return std::string(kSinkName) + ".monitor"; }
  const std::string& socketPath() const noexcept { return socket_; }
  const std::string& logPath() const noexcept { return log_; }

  // The program `name` on PATH; empty when there is none.
  static std::string programPath(const std::string& name);
  // Runs `pactl args...` against this daemon; true when it exits with 0. Its output goes to
  // `outputPath` (empty: discarded).
  bool pactl(const std::vector<std::string>& args, const std::string& outputPath = {}) const;

 private:
  std::string dir_;
  std::string socket_;
  std::string log_;
  Environment clientEnv_;
  ChildProcess daemon_;
};

// Float stereo at the sink's rate, as recorded from its monitor.
struct PulseTake {
  std::vector<float> left, right;
  std::size_t frames() const noexcept { return left.size(); }
};

// Records the sink's monitor with parec into a raw float file until stopped.
class PulseRecorder {
 public:
  PulseRecorder(const PulseTestServer& server, std::string rawPath);
  ~PulseRecorder();
  PulseRecorder(const PulseRecorder&) = delete;
  PulseRecorder& operator=(const PulseRecorder&) = delete;

  // Starts parec and waits until the first frames have arrived, so nothing played after this
  // returns is missed.
  bool start(std::string& error);
  // Stops parec and reads what it recorded.
  PulseTake stop();

 private:
  const PulseTestServer& server_;
  std::string path_;
  ChildProcess parec_;
};

}  // namespace zumbel::test
