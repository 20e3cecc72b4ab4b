#include "WavWriteBehind.h"

#include <algorithm>
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

void WavWriteBehind::hand(int index) {
  std::unique_lock lock(mutex_);
  full_.push(index);
  changed_.notify_all();
  changed_.wait(lock, [this] { return !empty_.empty(); });
  filling_ = empty_.pop();
}

void WavWriteBehind::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return finishing_ || !full_.empty(); });
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
  }
  changed_.notify_all();
  thread_.join();
  return !failed_;
}

}  // namespace zumbel
