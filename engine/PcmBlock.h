#pragma once
// One sample's audio as every slot plays it: 16-bit frames at the file's own rate, immutable once
// built. A mono file keeps one value a frame, which both sides play: half the memory, and half
// the bytes the mixer streams for it. Voices hold it through a shared pointer, so layers using the same file
// share one block, and the mixer's slots read it through a plain pointer the voices keep alive.

#include <cstdint>
#include <memory>
#include <new>

#include "PcmMemory.h"

namespace zumbel {

class PcmBlock {
 public:
  // Zero frames the interpolator may read around the data, so the inner loops need no bounds
  // checks: one before the first frame and three after the last.
  static constexpr int64_t kLeadFrames = 1;
  static constexpr int64_t kTailFrames = 3;

  // Copies `frameCount` interleaved stereo frames. Returns null when memory runs out.
  static std::unique_ptr<PcmBlock> create(const int16_t* frames, int64_t frameCount) noexcept;
  // Room for `frameCount` frames of `channels` (1 or 2) values for a decoder to fill through
  // writableFrames(), nothing of it cleared but the guard frames: a decoder writes every frame it
  // keeps, and pages it never touches are never faulted in. Null when memory runs out.
  static std::unique_ptr<PcmBlock> allocate(int64_t frameCount, int channels = 2) noexcept;

  int64_t frameCount() const noexcept { return frameCount_; }
  // 1: one value a frame; 2: interleaved L R.
  int channels() const noexcept { return channels_; }
  // Frames -1 and frameCount .. frameCount + 2 read as silence.
  const int16_t* frames() const noexcept { return storage_.get() + channels_ * kLeadFrames; }
  int16_t* writableFrames() noexcept { return storage_.get() + channels_ * kLeadFrames; }
  // Keeps only the first `frameCount` frames (a stream that ended before it said it would). The
  // memory stays as it is rather than being copied into a smaller block.
  void truncate(int64_t frameCount) noexcept;
  // Bytes allocated, guard frames included.
  int64_t allocatedBytes() const noexcept {
    return static_cast<int64_t>(sizeof(int16_t)) * channels_ * (kLeadFrames + capacity_ + kTailFrames);
  }

 private:
  PcmBlock(PcmMemory storage, int64_t frameCount, int channels) noexcept
      : storage_(std::move(storage)), frameCount_(frameCount), capacity_(frameCount), channels_(channels) {}

  PcmMemory storage_;
  int64_t frameCount_;
  int64_t capacity_;
  int channels_;
};

}  // namespace zumbel
