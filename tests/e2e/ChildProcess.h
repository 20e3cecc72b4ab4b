#pragma once
// A program the end-to-end tests start and stop: its own process, a few environment variables
// changed, its standard output and error written to files so a failed test can show them.

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace zumbel::test {

// How a child ended: its exit status, or the signal that ended it.
struct ChildExit {
  bool exited = false;
  int status = -1;  // valid when exited
  int signal = 0;   // valid when !exited
};

class ChildProcess {
 public:
  struct Options {
    std::vector<std::string> argv;                                // argv[0] is the program's path
    std::vector<std::pair<std::string, std::string>> setEnv;     // added or replaced
    std::vector<std::string> unsetEnv;
    std::string stdoutPath;  // empty: /dev/null
    std::string stderrPath;  // empty: the same file as stdout
    // Empty: /dev/null. A FIFO is opened for reading and writing, so a program that ends when its
    // input does (an interactive prompt) waits for input instead.
    std::string stdinPath;
  };

  ChildProcess() = default;
  // A child still running is killed (SIGKILL) and reaped, so no test leaves one behind.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // False with `error` when the program could not be started.
  bool start(const Options& options, std::string& error);
  bool running();
  pid_t pid() const noexcept { return pid_; }

  // Waits up to `timeout` for the child to end by itself; nothing when it has not.
  std::optional<ChildExit> wait(std::chrono::milliseconds timeout);
  // SIGTERM, up to `grace` to end, then SIGKILL. Returns how it ended.
  ChildExit stop(std::chrono::milliseconds grace);

 private:
  pid_t pid_ = -1;
  std::optional<ChildExit> exit_;
};

// A whole file as text; empty when it cannot be read.
std::string readText(const std::string& path);

}  // namespace zumbel::test
