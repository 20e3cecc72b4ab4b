#pragma once
// One sample's audio as every slot of a voice plays it: 16-bit stereo frames at the file's own
// rate, immutable once built and shared by all the voice's slots.

#include <cstdint>
#include <memory>
#include <new>

namespace zumbel {

class PcmBlock {
 public:
  // Zero frames the interpolator may read around the data, so the inner loops need no bounds
  // checks: one before the first frame and three after the last.
  static constexpr int64_t kLeadFrames = 1;
  static constexpr int64_t kTailFrames = 3;

  // Copies `frameCount` interleaved stereo frames. Returns null when memory runs out.
  static std::unique_ptr<PcmBlock> create(const int16_t* frames, int64_t frameCount) noexcept;

  int64_t frameCount() const noexcept { return frameCount_; }
  // Interleaved L R; frames -1 and frameCount .. frameCount + 2 read as silence.
  const int16_t* frames() const noexcept { return storage_.get() + 2 * kLeadFrames; }

 private:
  PcmBlock(std::unique_ptr<int16_t[]> storage, int64_t frameCount) noexcept
      : storage_(std::move(storage)), frameCount_(frameCount) {}

  std::unique_ptr<int16_t[]> storage_;
  int64_t frameCount_;
};

}  // namespace zumbel
