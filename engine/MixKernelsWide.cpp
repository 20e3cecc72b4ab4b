// The copy loops built for AVX-512: sixteen samples converted and scaled an instruction. This file
// is compiled without contracting a product and its sum into one fused multiply-add (which the
// AVX-512 instruction set brings along), so each product is rounded before it is added, as in
// every other build of these loops, and the output is the same to the last bit.

#include "MixLoops.h"

#ifdef ZUMBEL_AVX2_COPY

namespace zumbel::loops {

__attribute__((target("avx512f,avx512bw"))) void copyScaledWide(const int16_t* src, float* out, int frames, float gl,
                                                               float gr) noexcept {
  copyScaled(src, out, frames, gl, gr);
}

__attribute__((target("avx512f,avx512bw"))) void copyScaled2Wide(const int16_t* a, const int16_t* b, float* out,
                                                                int frames, const float* g) noexcept {
  copyScaled2(a, b, out, frames, g);
}

__attribute__((target("avx512f,avx512bw"))) void copyScaled4Wide(const int16_t* a, const int16_t* b,
                                                                const int16_t* c, const int16_t* d, float* out,
                                                                int frames, const float* g) noexcept {
  copyScaled4(a, b, c, d, out, frames, g);
}

__attribute__((target("avx512f,avx512bw"))) void copyScaledMonoWide(const int16_t* src, float* out, int frames,
                                                                   float gl, float gr) noexcept {
  copyScaledMono(src, out, frames, gl, gr);
}

__attribute__((target("avx512f,avx512bw"))) void copyScaled2MonoWide(const int16_t* a, const int16_t* b, float* out,
                                                                    int frames, const float* g) noexcept {
  copyScaled2Mono(a, b, out, frames, g);
}

__attribute__((target("avx512f,avx512bw"))) void copyScaled4MonoWide(const int16_t* a, const int16_t* b,
                                                                    const int16_t* c, const int16_t* d, float* out,
                                                                    int frames, const float* g) noexcept {
  copyScaled4Mono(a, b, c, d, out, frames, g);
}

}  // namespace zumbel::loops

#endif
