#include "WavWriteBehind.h"

#include <algorithm>

#include "EngineConfig.h"
#include "WavFileWriter.h"

namespace zumbel {

WavWriteBehind::WavWriteBehind(WavFileWriter& writer) : writer_(writer) {
  for (std::size_t i = 0; i < buffers_.size(); ++i) {
    buffers_[i].left.resize(kWriteBehindFrames);
    buffers_[i].right.resize(kWriteBehindFrames);
    if (i > 0) empty_.push_back(static_cast<int>(i));
  }
  thread_ = std::thread([this] { work(); });
}

WavWriteBehind::~WavWriteBehind() { finish(); }

bool WavWriteBehind::write(const float* left, const float* right, int frames) {
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
  std::lock_guard lock(mutex_);
  return !failed_;
}

void WavWriteBehind::hand(int index) {
  std::unique_lock lock(mutex_);
  full_.push_back(index);
  changed_.notify_all();
  changed_.wait(lock, [this] { return !empty_.empty(); });
  filling_ = empty_.front();
  empty_.pop_front();
}

void WavWriteBehind::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return finishing_ || !full_.empty(); });
    if (full_.empty()) return;
    const int index = full_.front();
    full_.pop_front();
    Buffer& b = buffers_[static_cast<std::size_t>(index)];
    const bool skip = failed_;
    lock.unlock();
    const bool ok = skip || writer_.write(b.left.data(), b.right.data(), b.frames);
    lock.lock();
    failed_ = failed_ || !ok;
    b.frames = 0;
    empty_.push_back(index);
    changed_.notify_all();
  }
}

bool WavWriteBehind::finish() {
  if (!thread_.joinable()) return !failed_;
  {
    std::lock_guard lock(mutex_);
    if (buffers_[static_cast<std::size_t>(filling_)].frames > 0) full_.push_back(filling_);
    finishing_ = true;
  }
  changed_.notify_all();
  thread_.join();
  return !failed_;
}

}  // namespace zumbel
