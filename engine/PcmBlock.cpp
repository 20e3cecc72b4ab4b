#include "PcmBlock.h"

#include <algorithm>

namespace zumbel {

std::unique_ptr<PcmBlock> PcmBlock::create(const int16_t* frames, int64_t frameCount) noexcept {
  if (frameCount < 0) return nullptr;
  const auto samples = static_cast<std::size_t>(2 * (kLeadFrames + frameCount + kTailFrames));
  std::unique_ptr<int16_t[]> storage(new (std::nothrow) int16_t[samples]);
  if (!storage) return nullptr;
  // Only the guard frames need zeros: clearing the whole block first doubled the memory traffic
  // of building a voice, for memory the copy overwrites at once.
  int16_t* const lead = storage.get();
  int16_t* const data = lead + 2 * kLeadFrames;
  std::fill_n(lead, 2 * kLeadFrames, int16_t{0});
  if (frameCount > 0) std::copy_n(frames, 2 * frameCount, data);
  std::fill_n(data + 2 * frameCount, 2 * kTailFrames, int16_t{0});
  std::unique_ptr<PcmBlock> block(new (std::nothrow) PcmBlock(std::move(storage), frameCount));
  return block;
}

}  // namespace zumbel
