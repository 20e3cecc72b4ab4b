#pragma once
// Hands rendered audio to a WavFileWriter on a thread of its own, so converting and writing one
// stretch of the file overlaps rendering the next. The file comes out byte for byte as if written
// directly. Rendering waits only when every buffer is still being written.

#include <array>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace zumbel {

class WavFileWriter;

class WavWriteBehind {
 public:
  explicit WavWriteBehind(WavFileWriter& writer);
  ~WavWriteBehind();  // finishes first
  WavWriteBehind(const WavWriteBehind&) = delete;
  WavWriteBehind& operator=(const WavWriteBehind&) = delete;

  // False once a write has failed; what comes after is dropped.
  bool write(const float* left, const float* right, int frames);
  // Writes what is left and waits for the thread; false when any write failed. The writer is
  // then the caller's again (to close or abandon).
  bool finish();

 private:
  struct Buffer {
    std::vector<float> left, right;
    int frames = 0;
  };
  void hand(int index);  // queues a full buffer and takes an empty one
  void work();

  WavFileWriter& writer_;
  std::array<Buffer, 3> buffers_;
  int filling_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<int> full_;
  std::deque<int> empty_;
  bool finishing_ = false;
  bool failed_ = false;
  std::thread thread_;
};

}  // namespace zumbel
