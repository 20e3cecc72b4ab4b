#include "WavWriteBehind.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <system_error>

#include "EngineConfig.h"
#include "WavFileWriter.h"

namespace zumbel {

WavWriteBehind::WavWriteBehind(WavFileWriter& writer) : writer_(writer) {
  for (std::size_t i = 1; i < buffers_.size(); ++i) empty_.push(static_cast<int>(i));
  try {
    for (Buffer& b : buffers_) {
      b.left.resize(kWriteBehindFrames);
      b.right.resize(kWriteBehindFrames);
    }
    spins_ = std::thread::hardware_concurrency() > 1;
    thread_ = std::thread([this] { work(); });
  } catch (const std::bad_alloc&) {
    direct_ = true;
  } catch (const std::system_error&) {
    direct_ = true;
  }
  if (direct_) {
    for (Buffer& b : buffers_) b = Buffer{};
  }
}

WavWriteBehind::~WavWriteBehind() { finish(); }

bool WavWriteBehind::write(const float* left, const float* right, int frames) {
  if (finished_) return false;
  if (direct_) {
    if (!failed_ && !writer_.write(left, right, frames)) failed_ = true;
    return !failed_;
  }
  Buffer& current = buffers_[static_cast<std::size_t>(filling_)];
  if (left == current.left.data() + current.frames && right == current.right.data() + current.frames &&
      frames <= kWriteBehindFrames - current.frames) {
    // Rendered in place (room()).
    current.frames += frames;
    if (current.frames == kWriteBehindFrames) hand(filling_);
    return !failed_.load(std::memory_order_relaxed);
  }
  while (frames > 0) {
    Buffer& b = buffers_[static_cast<std::size_t>(filling_)];
    const int n = std::min(frames, kWriteBehindFrames - b.frames);
    std::copy_n(left, n, b.left.begin() + b.frames);
    std::copy_n(right, n, b.right.begin() + b.frames);
    b.frames += n;
    left += n;
    right += n;
    frames -= n;
    if (b.frames == kWriteBehindFrames) hand(filling_);
  }
  return !failed_.load(std::memory_order_relaxed);
}

std::pair<float*, float*> WavWriteBehind::room(int frames) {
  if (finished_ || direct_ || frames <= 0 || frames > kWriteBehindFrames) return {nullptr, nullptr};
  // A buffer without room enough goes to the thread as it is; the file is the same either way.
  if (kWriteBehindFrames - buffers_[static_cast<std::size_t>(filling_)].frames < frames) hand(filling_);
  Buffer& b = buffers_[static_cast<std::size_t>(filling_)];
  return {b.left.data() + b.frames, b.right.data() + b.frames};
}

void WavWriteBehind::hand(int index) {
  std::unique_lock lock(mutex_);
  full_.push(index);
  queued_.fetch_add(1, std::memory_order_release);
  if (sleeping_) changed_.notify_all();
  changed_.wait(lock, [this] { return !empty_.empty(); });
  filling_ = empty_.pop();
}

void WavWriteBehind::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (spins_ && full_.empty() && !finishing_) {
      // Waking a sleeping thread cost the renderer 15-20 us a buffer on a virtual machine, a
      // sixth of a long render; the next buffer is usually due sooner than that wait ends.
      const uint64_t seen = queued_.load(std::memory_order_relaxed);
      lock.unlock();
      const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(kWriteBehindSpinMicroseconds);
      while (queued_.load(std::memory_order_acquire) == seen && std::chrono::steady_clock::now() < until) {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
      }
      lock.lock();
    }
    sleeping_ = true;
    changed_.wait(lock, [this] { return finishing_ || !full_.empty(); });
    sleeping_ = false;
    if (full_.empty()) return;
    const int index = full_.pop();
    Buffer& b = buffers_[static_cast<std::size_t>(index)];
    const bool skip = failed_;
    lock.unlock();
    const bool ok = skip || writer_.write(b.left.data(), b.right.data(), b.frames);
    lock.lock();
    if (!ok) failed_ = true;
    b.frames = 0;
    empty_.push(index);
    changed_.notify_all();
  }
}

bool WavWriteBehind::finish() {
  // Once finished no other thread is left to touch the flags.
  if (finished_ || direct_) {
    finished_ = true;
    return !failed_;
  }
  finished_ = true;
  {
    std::lock_guard lock(mutex_);
    if (buffers_[static_cast<std::size_t>(filling_)].frames > 0) full_.push(filling_);
    finishing_ = true;
    queued_.fetch_add(1, std::memory_order_release);
  }
  changed_.notify_all();
  thread_.join();
  return !failed_;
}

}  // namespace zumbel
