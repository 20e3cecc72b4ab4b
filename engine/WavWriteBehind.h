#pragma once
// Hands rendered audio to a WavFileWriter on a thread of its own, so converting and writing one
// stretch of the file overlaps rendering the next. The file comes out byte for byte as if written
// directly. Rendering waits only when every buffer is still being written.
//
// Nothing is allocated once it runs, and nothing thrown leaves its thread: a write that fails for
// want of memory is a failed write like any other, which the writer's errorNumber() names. Where
// its buffers or its thread cannot be had, it writes on the caller's thread instead.

#include <array>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace zumbel {

class WavFileWriter;

class WavWriteBehind {
 public:
  explicit WavWriteBehind(WavFileWriter& writer);
  ~WavWriteBehind();  // finishes first
  WavWriteBehind(const WavWriteBehind&) = delete;
  WavWriteBehind& operator=(const WavWriteBehind&) = delete;

  // False once a write has failed, and after finish(); what comes then is dropped.
  bool write(const float* left, const float* right, int frames);
  // Room for the next `frames` frames (1..kWriteBehindFrames) in the buffer being filled, for a
  // caller that renders them in place: write() with these pointers then copies nothing. Null
  // pointers when there is no such buffer (no thread, or finished).
  std::pair<float*, float*> room(int frames);
  // Writes what is left and waits for the thread; false when any write failed. The writer is
  // then the caller's again (to close or abandon).
  bool finish();

 private:
  static constexpr std::size_t kBuffers = 3;

  struct Buffer {
    std::vector<float> left, right;
    int frames = 0;
  };
  // Buffer numbers in the order they were queued; never more than there are buffers.
  class Queue {
   public:
    bool empty() const { return count_ == 0; }
    void push(int index) { items_[(head_ + count_++) % kBuffers] = index; }
    int pop() {
      const int index = items_[head_];
      head_ = (head_ + 1) % kBuffers;
      --count_;
      return index;
    }

   private:
    std::array<int, kBuffers> items_{};
    std::size_t head_ = 0;
    std::size_t count_ = 0;
  };

  void hand(int index);  // queues a full buffer and takes an empty one
  void work();

  WavFileWriter& writer_;
  std::array<Buffer, kBuffers> buffers_;
  int filling_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  Queue full_;
  Queue empty_;
  bool finishing_ = false;
  std::atomic<bool> failed_{false};  // set by the thread under the lock, read by write() without it
  // Buffers queued so far, counted under the lock; the thread watches it while it waits awake.
  std::atomic<uint64_t> queued_{0};
  bool sleeping_ = false;  // the thread waits on `changed_` and must be woken (under the lock)
  bool spins_ = false;     // there is a core to spare for waiting awake
  bool finished_ = false;  // only the caller's thread reads and writes it
  bool direct_ = false;    // no thread: every write goes straight to the writer
  std::thread thread_;
};

}  // namespace zumbel
