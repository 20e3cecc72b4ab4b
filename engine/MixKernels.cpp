#include "MixKernels.h"

namespace zumbel {

void mixCopy(const int16_t* src, float* out, int frames, float gainLeft, float gainRight) noexcept {
  const float gl = gainLeft * kSampleScale;
  const float gr = gainRight * kSampleScale;
  for (int i = 0; i < frames; ++i) {
    out[2 * i] += static_cast<float>(src[2 * i]) * gl;
    out[2 * i + 1] += static_cast<float>(src[2 * i + 1]) * gr;
  }
}

uint64_t mixCubic(const int16_t* frames, uint64_t position, uint64_t step, float* out, int count,
                  float gainLeft, float gainRight) noexcept {
  const float gl = gainLeft * kSampleScale;
  const float gr = gainRight * kSampleScale;
  for (int i = 0; i < count; ++i) {
    const int16_t* s = frames + 2 * static_cast<int64_t>(position >> 32);
    const float t = fractionOf(position);
    out[2 * i] += cubicPoint(s[-2], s[0], s[2], s[4], t) * gl;
    out[2 * i + 1] += cubicPoint(s[-1], s[1], s[3], s[5], t) * gr;
    position += step;
  }
  return position;
}

}  // namespace zumbel
