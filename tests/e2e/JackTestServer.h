#pragma once
// A private JACK server for one test or benchmark: `jackd` on the dummy driver under a name of its
// own, so nothing on the machine (a user's server, another test run) is touched or heard. Child
// processes reach it through JACK_DEFAULT_SERVER, clients in this process through JackServerName.

#include <string>

#include "ChildProcess.h"

namespace zumbel::test {

class JackTestServer {
 public:
  static constexpr int kRate = 44100;
  // How long a started server may take to accept a client before it counts as broken.
  static constexpr int kStartTimeoutMs = 10000;

  // The jackd on PATH; empty when JACK is not installed.
  static std::string jackdPath();
  // Whether this process may schedule threads in real time (root, or an rtprio limit).
  static bool realtimeAllowed();

  // `logPath` receives the server's output.
  JackTestServer(int periodFrames, std::string logPath);
  // Stops the server: SIGTERM, then SIGKILL if it lingers.
  ~JackTestServer();
  JackTestServer(const JackTestServer&) = delete;
  JackTestServer& operator=(const JackTestServer&) = delete;

  // Starts jackd and waits until a client can connect. False with `error` (which quotes the
  // server's log) when it would not start. The server, and with it every client's process
  // thread, runs in real time where the system allows: without, a busy machine wakes the threads
  // late often enough at short periods to cause xruns that no client is to blame for.
  bool start(std::string& error);
  void stop();

  // Unique per process and per server started in it.
  const std::string& name() const noexcept { return name_; }
  int periodFrames() const noexcept { return period_; }
  bool realtime() const noexcept { return realtime_; }

 private:
  int period_;
  std::string logPath_;
  std::string name_;
  bool realtime_ = false;
  ChildProcess jackd_;
};

}  // namespace zumbel::test
