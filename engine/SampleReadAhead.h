#pragma once
// Reads and decodes sample files on every core while the user-interface thread goes through a
// set's layers in order. Only files are read here: which file a layer uses, every question and
// every message stay with the caller, in the caller's order. The caller asks for files in the
// order it will need them, and the workers take them in that order.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "WaveReader.h"

namespace zumbel {

class SampleReadAhead {
 public:
  // At most `threads` workers (at least one), started by start().
  explicit SampleReadAhead(int threads);
  // Stops first (stop()), then waits for the workers.
  ~SampleReadAhead();
  SampleReadAhead(const SampleReadAhead&) = delete;
  SampleReadAhead& operator=(const SampleReadAhead&) = delete;

  // Queues `path` once, however often it is asked for.
  void request(const std::string& path);
  // Starts the workers, no more than there are files queued.
  void start();
  // The read of `path`, waiting for it; a file still queued is read on the calling thread rather
  // than waited for. Null when `path` was never requested. Valid until this object goes.
  const DecodedSample* take(const std::string& path);

  // Drops the files not begun and ends those being read at their next step, so a cancelled load
  // does not wait for a long file. Any thread may call it. take() then gives no block for a file
  // not read whole before.
  void stop();

  // Workers for this machine: one per core.
  static int machineThreads();

 private:
  struct Job {
    std::string path;
    enum class State { kQueued, kReading, kDone } state = State::kQueued;
    DecodedSample result;
  };
  void work();
  // Reads `job` with the lock let go meanwhile; the lock is held again on return.
  void read(Job& job, std::unique_lock<std::mutex>& lock);
  DecodedSample decode(const std::string& path);

  const int maxThreads_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::unordered_map<std::string, std::unique_ptr<Job>> jobs_;
  std::deque<Job*> queue_;
  bool stopping_ = false;
  std::atomic<bool> stopped_{false};  // reached by every read in progress
  std::vector<std::thread> workers_;
};

}  // namespace zumbel
