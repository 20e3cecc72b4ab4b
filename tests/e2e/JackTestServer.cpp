#include "JackTestServer.h"

#include <jack/jack.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace zumbel::test {

namespace {

// While the server comes up every refused connection makes libjack print a line; those are
// expected. Real trouble later still shows, prefixed.
void quiet(const char*) {}
void printJackError(const char* message) { std::fprintf(stderr, "jack: %s\n", message); }

std::string uniqueName() {
  static std::atomic<int> counter{0};
  return "zumbel-e2e-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

}  // namespace

std::string JackTestServer::jackdPath() {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    const std::string candidate = (dir.empty() ? "." : dir) + "/jackd";
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

bool JackTestServer::realtimeAllowed() {
  bool allowed = false;
  std::thread probe([&] {
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO);
    allowed = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
  });
  probe.join();
  return allowed;
}

JackTestServer::JackTestServer(int periodFrames, std::string logPath)
    : period_(periodFrames), logPath_(std::move(logPath)), name_(uniqueName()) {}

JackTestServer::~JackTestServer() { stop(); }

bool JackTestServer::start(std::string& error) {
  const std::string jackd = jackdPath();
  if (jackd.empty()) {
    error = "jackd is not installed";
    return false;
  }
  realtime_ = realtimeAllowed();
  ChildProcess::Options options;
  options.argv = {jackd, "-n", name_, realtime_ ? "--realtime" : "--no-realtime", "-d", "dummy", "-r", std::to_string(kRate), "-p",
                  std::to_string(period_)};
  // The server must not go looking for a D-Bus session or a device reservation.
  options.setEnv = {{"JACK_NO_AUDIO_RESERVATION", "1"}};
  options.stdoutPath = logPath_;
  if (!jackd_.start(options, error)) return false;

  jack_set_error_function(quiet);
  jack_set_info_function(quiet);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
  bool up = false;
  while (!up && std::chrono::steady_clock::now() < deadline && jackd_.running()) {
    jack_status_t status{};
    jack_client_t* probe = jack_client_open("zumbel-e2e-probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                            &status, name_.c_str());
    if (probe) {
      up = true;
      jack_client_close(probe);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  jack_set_error_function(printJackError);
  if (!up) {
    const bool died = !jackd_.running();
    stop();
    error = std::string(died ? "jackd exited" : "jackd did not accept a client within 10 s") + "; its log:\n" +
            readText(logPath_);
    return false;
  }
  return true;
}

void JackTestServer::stop() {
  if (jackd_.pid() > 0) jackd_.stop(std::chrono::seconds(5));
}

}  // namespace zumbel::test
