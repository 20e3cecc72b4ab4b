#pragma once
// The plain copy loops of the mixer's kernels, included by each file that builds them for a
// processor (MixKernels.cpp: the baseline and AVX2; MixKernelsWide.cpp: AVX-512). Not part of the
// engine's interface.

#include <cstdint>

#include "MixKernels.h"

// On x86-64 the copies have builds for AVX2 and AVX-512 beside the baseline one.
#if defined(__x86_64__) && defined(__GNUC__)
#define ZUMBEL_AVX2_COPY 1
#endif

namespace zumbel::loops {

__attribute__((always_inline)) inline void copyScaled(const int16_t* src, float* out, int frames, float gl,
                                                      float gr) noexcept {
  for (int i = 0; i < frames; ++i) {
    out[2 * i] += static_cast<float>(src[2 * i]) * gl;
    out[2 * i + 1] += static_cast<float>(src[2 * i + 1]) * gr;
  }
}

// Two and four slots' copies in one pass. Each product is added to the running sum in order, as
// separate passes would add them; only the loads and stores of the output are saved.
__attribute__((always_inline)) inline void copyScaled2(const int16_t* __restrict a, const int16_t* __restrict b,
                                                       float* __restrict out, int frames, const float* g) noexcept {
  const float al = g[0], ar = g[1], bl = g[2], br = g[3];
  for (int i = 0; i < frames; ++i) {
    out[2 * i] = (out[2 * i] + static_cast<float>(a[2 * i]) * al) + static_cast<float>(b[2 * i]) * bl;
    out[2 * i + 1] = (out[2 * i + 1] + static_cast<float>(a[2 * i + 1]) * ar) + static_cast<float>(b[2 * i + 1]) * br;
  }
}
__attribute__((always_inline)) inline void copyScaled4(const int16_t* __restrict a, const int16_t* __restrict b,
                                                       const int16_t* __restrict c, const int16_t* __restrict d,
                                                       float* __restrict out, int frames, const float* g) noexcept {
  const float al = g[0], ar = g[1], bl = g[2], br = g[3], cl = g[4], cr = g[5], dl = g[6], dr = g[7];
  for (int i = 0; i < frames; ++i) {
    out[2 * i] = (((out[2 * i] + static_cast<float>(a[2 * i]) * al) + static_cast<float>(b[2 * i]) * bl) +
                  static_cast<float>(c[2 * i]) * cl) +
                 static_cast<float>(d[2 * i]) * dl;
    out[2 * i + 1] = (((out[2 * i + 1] + static_cast<float>(a[2 * i + 1]) * ar) + static_cast<float>(b[2 * i + 1]) * br) +
                      static_cast<float>(c[2 * i + 1]) * cr) +
                     static_cast<float>(d[2 * i + 1]) * dr;
  }
}

// The same for mono blocks: one value a frame, scaled for each side. With the value on both
// channels of a stereo block, the loops above give the same bits.
__attribute__((always_inline)) inline void copyScaledMono(const int16_t* src, float* out, int frames, float gl,
                                                          float gr) noexcept {
  for (int i = 0; i < frames; ++i) {
    const float v = static_cast<float>(src[i]);
    out[2 * i] += v * gl;
    out[2 * i + 1] += v * gr;
  }
}
__attribute__((always_inline)) inline void copyScaled2Mono(const int16_t* __restrict a, const int16_t* __restrict b,
                                                           float* __restrict out, int frames, const float* g) noexcept {
  for (int i = 0; i < frames; ++i) {
    const float va = static_cast<float>(a[i]), vb = static_cast<float>(b[i]);
    out[2 * i] = (out[2 * i] + va * g[0]) + vb * g[2];
    out[2 * i + 1] = (out[2 * i + 1] + va * g[1]) + vb * g[3];
  }
}
__attribute__((always_inline)) inline void copyScaled4Mono(const int16_t* __restrict a, const int16_t* __restrict b,
                                                           const int16_t* __restrict c, const int16_t* __restrict d,
                                                           float* __restrict out, int frames, const float* g) noexcept {
  for (int i = 0; i < frames; ++i) {
    const float va = static_cast<float>(a[i]), vb = static_cast<float>(b[i]);
    const float vc = static_cast<float>(c[i]), vd = static_cast<float>(d[i]);
    out[2 * i] = (((out[2 * i] + va * g[0]) + vb * g[2]) + vc * g[4]) + vd * g[6];
    out[2 * i + 1] = (((out[2 * i + 1] + va * g[1]) + vb * g[3]) + vc * g[5]) + vd * g[7];
  }
}

#ifdef ZUMBEL_AVX2_COPY
// The builds for AVX-512 (MixKernelsWide.cpp), chosen at run time where the processor has it.
void copyScaledWide(const int16_t* src, float* out, int frames, float gl, float gr) noexcept;
void copyScaled2Wide(const int16_t* a, const int16_t* b, float* out, int frames, const float* g) noexcept;
void copyScaled4Wide(const int16_t* a, const int16_t* b, const int16_t* c, const int16_t* d, float* out, int frames,
                     const float* g) noexcept;
void copyScaledMonoWide(const int16_t* src, float* out, int frames, float gl, float gr) noexcept;
void copyScaled2MonoWide(const int16_t* a, const int16_t* b, float* out, int frames, const float* g) noexcept;
void copyScaled4MonoWide(const int16_t* a, const int16_t* b, const int16_t* c, const int16_t* d, float* out,
                         int frames, const float* g) noexcept;
#endif

}  // namespace zumbel::loops
