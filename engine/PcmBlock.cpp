#include "PcmBlock.h"

#include <algorithm>

namespace zumbel {

std::unique_ptr<PcmBlock> PcmBlock::create(const int16_t* frames, int64_t frameCount) noexcept {
  if (frameCount < 0) return nullptr;
  const auto samples = static_cast<std::size_t>(2 * (kLeadFrames + frameCount + kTailFrames));
  std::unique_ptr<int16_t[]> storage(new (std::nothrow) int16_t[samples]);
  if (!storage) return nullptr;
  std::fill_n(storage.get(), samples, int16_t{0});
  if (frameCount > 0) std::copy_n(frames, 2 * frameCount, storage.get() + 2 * kLeadFrames);
  std::unique_ptr<PcmBlock> block(new (std::nothrow) PcmBlock(std::move(storage), frameCount));
  return block;
}

}  // namespace zumbel
