#include "SampleReadAhead.h"

#include <algorithm>
#include <new>
#include <system_error>

#include "EngineConfig.h"

namespace zumbel {

SampleReadAhead::SampleReadAhead(int threads) : maxThreads_(std::clamp(threads, 1, kMaxSampleReadThreads)) {}

SampleReadAhead::~SampleReadAhead() {
  stop();
  for (std::thread& t : workers_) t.join();
}

void SampleReadAhead::stop() {
  stopped_.store(true, std::memory_order_relaxed);
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  changed_.notify_all();
}

int SampleReadAhead::machineThreads() {
  return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kMaxSampleReadThreads);
}

void SampleReadAhead::request(const std::string& path) {
  std::lock_guard lock(mutex_);
  auto [it, added] = jobs_.try_emplace(path);
  if (!added) return;
  it->second = std::make_unique<Job>();
  it->second->path = path;
  queue_.push_back(it->second.get());
  changed_.notify_one();
}

void SampleReadAhead::start() {
  std::size_t wanted;
  {
    std::lock_guard lock(mutex_);
    wanted = std::min(queue_.size(), static_cast<std::size_t>(maxThreads_));
  }
  while (workers_.size() < wanted) {
    try {
      workers_.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
      break;  // no more threads to be had: the caller reads what is left itself
    }
  }
}

// Decoding allocates; a file too large for the memory left is a file that gives no voice, as it
// is when read on the user-interface thread, not the end of the program.
DecodedSample SampleReadAhead::decode(const std::string& path) {
  try {
    return DecodeSampleFile(path, &stopped_);
  } catch (const std::bad_alloc&) {
    DecodedSample failed;
    failed.status = DecodedSample::Status::kNoMemory;
    return failed;
  }
}

void SampleReadAhead::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;
    Job* job = queue_.front();
    queue_.pop_front();
    read(*job, lock);
  }
}

void SampleReadAhead::read(Job& job, std::unique_lock<std::mutex>& lock) {
  job.state = Job::State::kReading;
  lock.unlock();
  DecodedSample result = decode(job.path);
  lock.lock();
  job.result = std::move(result);
  job.state = Job::State::kDone;
  changed_.notify_all();
}

const DecodedSample* SampleReadAhead::take(const std::string& path) {
  std::unique_lock lock(mutex_);
  const auto it = jobs_.find(path);
  if (it == jobs_.end()) return nullptr;
  Job* job = it->second.get();
  if (job->state == Job::State::kQueued) {
    // After stop() the queue no longer holds it; the read then ends at once, stopped.
    if (const auto queued = std::find(queue_.begin(), queue_.end(), job); queued != queue_.end()) queue_.erase(queued);
    read(*job, lock);
  }
  changed_.wait(lock, [job] { return job->state == Job::State::kDone; });
  return &job->result;
}

}  // namespace zumbel
