#include "ChunkWalk.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include <unistd.h>

#include "SampleFileLimits.h"

namespace zumbel {

namespace {

// The file seen through one buffer: bytes are read a window at a time, so walking many small
// chunks costs one system call per window rather than one per chunk.
class FileWindow {
 public:
  FileWindow(int fd, int64_t fileBytes, const std::atomic<bool>* stop) : fd_(fd), fileBytes_(fileBytes), stop_(stop) {}

  // The `n` bytes at `at` (n at most a window), valid until the next call; null when the file
  // ends before them, a read fails or the walk was stopped.
  const uint8_t* bytes(int64_t at, std::size_t n) {
    if (at < 0 || n > kChunkWalkWindowBytes || fileBytes_ - at < static_cast<int64_t>(n)) return nullptr;
    if (at >= start_ && at - start_ + static_cast<int64_t>(n) <= static_cast<int64_t>(size_)) {
      return buffer_.data() + (at - start_);
    }
    if (stop_ && stop_->load(std::memory_order_relaxed)) {
      stopped_ = true;
      return nullptr;
    }
    buffer_.resize(kChunkWalkWindowBytes);
    start_ = at;
    size_ = 0;
    while (size_ < n) {
      const ssize_t got = ::pread(fd_, buffer_.data() + size_, buffer_.size() - size_, at + static_cast<int64_t>(size_));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return nullptr;
      size_ += static_cast<std::size_t>(got);
    }
    return buffer_.data();
  }
  bool stopped() const { return stopped_; }

 private:
  int fd_;
  int64_t fileBytes_;
  const std::atomic<bool>* stop_;
  std::vector<uint8_t> buffer_;
  int64_t start_ = 0;
  std::size_t size_ = 0;
  bool stopped_ = false;
};

enum class Walk { kSound, kNotSound, kStopped };

Walk failed(const FileWindow& window) { return window.stopped() ? Walk::kStopped : Walk::kNotSound; }

uint32_t littleEndian32(const uint8_t* b) {
  return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}
uint32_t bigEndian32(const uint8_t* b) {
  return uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | uint32_t{b[3]};
}

// libsndfile also reads the big-endian "RIFX" form as a WAV; only "RIFF" ... "WAVE" is one here.
// Only "data" may run past the end: that is a recording cut short, and it plays what it holds. A
// chunk of odd size is followed by a zero pad byte; some writers leave it out (kits in the wild
// have such files, and they play), so a non-zero byte there is taken as the next chunk's first.
Walk walkRiffWave(FileWindow& window, int64_t fileBytes) {
  const uint8_t* head = window.bytes(0, 12);
  if (!head) return failed(window);
  if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return Walk::kNotSound;
  int64_t at = 12;
  for (std::size_t chunks = 0; fileBytes - at >= 8; ++chunks) {
    if (chunks == kMaxSampleFileChunks) return Walk::kNotSound;
    const uint8_t* header = window.bytes(at, 8);
    if (!header) return failed(window);
    const bool isData = std::memcmp(header, "data", 4) == 0;
    const uint32_t size = littleEndian32(header + 4);
    const int64_t end = at + 8 + int64_t{size};
    if (end > fileBytes) return isData ? Walk::kSound : Walk::kNotSound;
    bool padded = false;
    if ((size & 1) != 0 && end < fileBytes) {
      const uint8_t* pad = window.bytes(end, 1);
      if (!pad) return failed(window);
      padded = *pad == 0;
    }
    at = end + (padded ? 1 : 0);
  }
  return Walk::kSound;
}

// AIFF and AIFC: the same walk over big-endian chunks, each padded to an even size. Only the
// sound data ("SSND") may run past the end.
Walk walkAiff(FileWindow& window, int64_t fileBytes) {
  const uint8_t* head = window.bytes(0, 12);
  if (!head) return failed(window);
  if (std::memcmp(head, "FORM", 4) != 0 || (std::memcmp(head + 8, "AIFF", 4) != 0 && std::memcmp(head + 8, "AIFC", 4) != 0)) {
    return Walk::kNotSound;
  }
  int64_t at = 12;
  for (std::size_t chunks = 0; fileBytes - at >= 8; ++chunks) {
    if (chunks == kMaxSampleFileChunks) return Walk::kNotSound;
    const uint8_t* header = window.bytes(at, 8);
    if (!header) return failed(window);
    const bool isSound = std::memcmp(header, "SSND", 4) == 0;
    const uint32_t size = bigEndian32(header + 4);
    const int64_t end = at + 8 + int64_t{size};
    if (end > fileBytes) return isSound ? Walk::kSound : Walk::kNotSound;
    at = end + (size & 1);
  }
  return Walk::kSound;
}

}  // namespace

SampleContainer sniffContainer(int fd, int64_t fileBytes, const std::atomic<bool>* stop) {
  FileWindow window(fd, fileBytes, stop);
  switch (walkRiffWave(window, fileBytes)) {
    case Walk::kSound: return SampleContainer::kWav;
    case Walk::kStopped: return SampleContainer::kStopped;
    case Walk::kNotSound: break;
  }
  switch (walkAiff(window, fileBytes)) {
    case Walk::kSound: return SampleContainer::kAiff;
    case Walk::kStopped: return SampleContainer::kStopped;
    case Walk::kNotSound: break;
  }
  // FLAC is read by libFLAC, which walks its own metadata blocks safely.
  const uint8_t* head = window.bytes(0, 4);
  if (!head) return window.stopped() ? SampleContainer::kStopped : SampleContainer::kNone;
  return std::memcmp(head, "fLaC", 4) == 0 ? SampleContainer::kFlac : SampleContainer::kNone;
}

}  // namespace zumbel
