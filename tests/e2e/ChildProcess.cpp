#include "ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

extern char** environ;

namespace zumbel::test {

namespace {

ChildExit decode(int status) {
  ChildExit e;
  if (WIFEXITED(status)) {
    e.exited = true;
    e.status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    e.signal = WTERMSIG(status);
  }
  return e;
}

// The parent's environment with the changes applied, as posix_spawn takes it.
std::vector<std::string> childEnvironment(const ChildProcess::Options& o) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const auto& [k, v] : o.setEnv) replaced = replaced || k == name;
    for (const auto& k : o.unsetEnv) replaced = replaced || k == name;
    if (!replaced) env.push_back(entry);
  }
  for (const auto& [k, v] : o.setEnv) env.push_back(k + "=" + v);
  return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> p;
  for (std::string& s : strings) p.push_back(s.data());
  p.push_back(nullptr);
  return p;
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !exit_) stop(std::chrono::milliseconds(0));
}

bool ChildProcess::start(const Options& options, std::string& error) {
  if (options.argv.empty()) {
    error = "no program";
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string out = options.stdoutPath.empty() ? "/dev/null" : options.stdoutPath;
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (options.stderrPath.empty()) {
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, options.stderrPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  if (options.stdinPath.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, options.stdinPath.c_str(), O_RDWR, 0);
  }

  std::vector<std::string> args = options.argv;
  std::vector<std::string> env = childEnvironment(options);
  std::vector<char*> argp = pointers(args);
  std::vector<char*> envp = pointers(env);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    error = "cannot start " + args[0] + ": " + std::strerror(rc);
    return false;
  }
  pid_ = pid;
  exit_.reset();
  return true;
}

bool ChildProcess::running() { return pid_ > 0 && !exit_ && !wait(std::chrono::milliseconds(0)); }

std::optional<ChildExit> ChildProcess::wait(std::chrono::milliseconds timeout) {
  if (exit_ || pid_ <= 0) return exit_;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      exit_ = decode(status);
      return exit_;
    }
    if (r < 0) {
      exit_ = ChildExit{};  // reaped elsewhere: nothing more to learn
      return exit_;
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

ChildExit ChildProcess::stop(std::chrono::milliseconds grace) {
  if (pid_ <= 0) return ChildExit{};
  if (!exit_) {
    ::kill(pid_, SIGTERM);
    if (!wait(grace)) {
      ::kill(pid_, SIGKILL);
      int status = 0;
      ::waitpid(pid_, &status, 0);
      exit_ = decode(status);
    }
  }
  return *exit_;
}

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace zumbel::test
