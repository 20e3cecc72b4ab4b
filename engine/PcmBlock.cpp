#include "PcmBlock.h"

#include <algorithm>

namespace zumbel {

namespace {
void silenceTail(int16_t* data, int64_t frameCount, int channels) {
  std::fill_n(data + channels * frameCount, channels * PcmBlock::kTailFrames, int16_t{0});
}
}  // namespace

std::unique_ptr<PcmBlock> PcmBlock::allocate(int64_t frameCount, int channels) noexcept {
  if (frameCount < 0 || channels < 1 || channels > 2) return nullptr;
  const auto samples = static_cast<std::size_t>(channels * (kLeadFrames + frameCount + kTailFrames));
  PcmMemory storage = PcmMemory::allocate(samples * sizeof(int16_t));
  if (!storage) return nullptr;
  std::fill_n(storage.get(), channels * kLeadFrames, int16_t{0});
  silenceTail(storage.get() + channels * kLeadFrames, frameCount, channels);
  return std::unique_ptr<PcmBlock>(new (std::nothrow) PcmBlock(std::move(storage), frameCount, channels));
}

std::unique_ptr<PcmBlock> PcmBlock::create(const int16_t* frames, int64_t frameCount) noexcept {
  std::unique_ptr<PcmBlock> block = allocate(frameCount);
  if (block && frameCount > 0) std::copy_n(frames, 2 * frameCount, block->writableFrames());
  return block;
}

void PcmBlock::truncate(int64_t frameCount) noexcept {
  if (frameCount < 0 || frameCount >= frameCount_) return;
  frameCount_ = frameCount;
  silenceTail(writableFrames(), frameCount_, channels_);
}

}  // namespace zumbel
