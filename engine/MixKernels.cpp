#include "MixKernels.h"

#include <cstring>

#include "MixLoops.h"

// On x86-64 the copies have builds for AVX2 and AVX-512, which convert and scale two and four
// times as many samples an instruction; each call asks the processor's feature flags (one load)
// which to run. It is chosen there rather than by the loader (target_clones), whose resolver runs
// before ThreadSanitizer is ready and crashes that build. The AVX2 build has no FMA, and the
// AVX-512 one is compiled without contracting products into their sums (MixKernelsWide.cpp):
// every product is still rounded before its sum, so all builds give the same bits. The
// interpolation works four frames at a time either way and gains nothing from them.

namespace zumbel {

namespace {

using loops::copyScaled;
using loops::copyScaled2;
using loops::copyScaled4;
using loops::copyScaled2Mono;
using loops::copyScaled4Mono;
using loops::copyScaledMono;

// Four values side by side: one channel of four consecutive output frames, or the four
// neighbours of one frame.
typedef float Lanes __attribute__((vector_size(16)));
typedef int32_t Words __attribute__((vector_size(16)));

// cubicPoint on every lane: the same operations in the same order, so each lane rounds exactly
// as the scalar version does (the kernel tests hold the two equal bit for bit).
inline Lanes cubicLanes(Lanes xm1, Lanes x0, Lanes x1, Lanes x2, Lanes t) noexcept {
  const Lanes c1 = 0.5f * (x1 - xm1);
  const Lanes c2 = xm1 - 2.5f * x0 + 2.0f * x1 - 0.5f * x2;
  const Lanes c3 = 0.5f * (x2 - xm1) + 1.5f * (x0 - x1);
  return ((c3 * t + c2) * t + c1) * t + x0;
}

// The frames -1 .. 2 around `s`, both channels, as one 16-byte load: each 32-bit word holds a
// frame's left sample in its low half and its right sample in its high half.
inline Words neighbours(const int16_t* s) noexcept {
  Words w;
  std::memcpy(&w, s - 2, sizeof w);
  return w;
}
inline Words leftOf(Words w) noexcept { return (w << 16) >> 16; }
inline Words rightOf(Words w) noexcept { return w >> 16; }

// The same four neighbours of a mono block: an 8-byte load, widened.
typedef int16_t Halves __attribute__((vector_size(8)));
inline Words monoNeighbours(const int16_t* s) noexcept {
  Halves h;
  std::memcpy(&h, s - 1, sizeof h);
  return __builtin_convertvector(h, Words);
}

// Four frames' neighbours (one frame a vector) turned into four vectors of one neighbour each
// (one frame a lane), as floats.
struct Taps {
  Lanes xm1, x0, x1, x2;
};
inline Taps transpose(Words f0, Words f1, Words f2, Words f3) noexcept {
  const Words a = __builtin_shufflevector(f0, f1, 0, 4, 1, 5);
  const Words b = __builtin_shufflevector(f2, f3, 0, 4, 1, 5);
  const Words c = __builtin_shufflevector(f0, f1, 2, 6, 3, 7);
  const Words d = __builtin_shufflevector(f2, f3, 2, 6, 3, 7);
  return {__builtin_convertvector(__builtin_shufflevector(a, b, 0, 1, 4, 5), Lanes),
          __builtin_convertvector(__builtin_shufflevector(a, b, 2, 3, 6, 7), Lanes),
          __builtin_convertvector(__builtin_shufflevector(c, d, 0, 1, 4, 5), Lanes),
          __builtin_convertvector(__builtin_shufflevector(c, d, 2, 3, 6, 7), Lanes)};
}

// The gain of each frame is worked out from the ramp's start, not added up frame by frame, so
// the loop has no dependency from one frame to the next and vectorises like the plain copy.
// A mono block's value goes to both sides.
template <int kChannels>
__attribute__((always_inline)) inline void copyRamped(const int16_t* src, float* out, int frames,
                                                      const GainRamp& r) noexcept {
  for (int i = 0; i < frames; ++i) {
    const int k = r.first + i;
    const int right = kChannels == 2 ? 1 : 0;
    out[2 * i] += static_cast<float>(src[kChannels * i]) * (rampGain(r.startLeft, r.deltaLeft, k) * kSampleScale);
    out[2 * i + 1] +=
        static_cast<float>(src[kChannels * i + right]) * (rampGain(r.startRight, r.deltaRight, k) * kSampleScale);
  }
}

#ifdef ZUMBEL_AVX2_COPY
__attribute__((target("avx2"))) void copyScaledAvx2(const int16_t* src, float* out, int frames, float gl,
                                                    float gr) noexcept {
  copyScaled(src, out, frames, gl, gr);
}
__attribute__((target("avx2"))) void copyScaled2Avx2(const int16_t* a, const int16_t* b, float* out, int frames,
                                                     const float* g) noexcept {
  copyScaled2(a, b, out, frames, g);
}
__attribute__((target("avx2"))) void copyScaled4Avx2(const int16_t* a, const int16_t* b, const int16_t* c,
                                                     const int16_t* d, float* out, int frames, const float* g) noexcept {
  copyScaled4(a, b, c, d, out, frames, g);
}
__attribute__((target("avx2"))) void copyRampedAvx2(const int16_t* src, float* out, int frames,
                                                    const GainRamp& r) noexcept {
  copyRamped<2>(src, out, frames, r);
}
__attribute__((target("avx2"))) void copyScaledMonoAvx2(const int16_t* src, float* out, int frames, float gl,
                                                        float gr) noexcept {
  copyScaledMono(src, out, frames, gl, gr);
}
__attribute__((target("avx2"))) void copyScaled2MonoAvx2(const int16_t* a, const int16_t* b, float* out, int frames,
                                                         const float* g) noexcept {
  copyScaled2Mono(a, b, out, frames, g);
}
__attribute__((target("avx2"))) void copyScaled4MonoAvx2(const int16_t* a, const int16_t* b, const int16_t* c,
                                                         const int16_t* d, float* out, int frames,
                                                         const float* g) noexcept {
  copyScaled4Mono(a, b, c, d, out, frames, g);
}
__attribute__((target("avx2"))) void copyRampedMonoAvx2(const int16_t* src, float* out, int frames,
                                                        const GainRamp& r) noexcept {
  copyRamped<1>(src, out, frames, r);
}
#endif

// Four lanes of one side's gain, frames first .. first + 3 of the ramp, with the sample scale.
inline Lanes rampLanes(float start, float delta, int first) noexcept {
  const Lanes k = {static_cast<float>(first), static_cast<float>(first + 1), static_cast<float>(first + 2),
                   static_cast<float>(first + 3)};
  return (start + k * delta) * kSampleScale;
}

// mixCubic's loop with the gains as a template (constant, or a ramp), for stereo or mono blocks.
// A mono block's value is interpolated once and goes to both sides: the same bits as
// interpolating each side of a stereo block holding it twice.
template <bool kRamp, int kChannels>
__attribute__((always_inline)) inline uint64_t cubicLoop(const int16_t* frames, uint64_t position, uint64_t step,
                                                         float* out, int count, float gl, float gr,
                                                         const GainRamp& r) noexcept {
  int i = 0;
  for (; i + 3 < count; i += 4) {
    uint64_t p[4];
    Words w[4];
    for (int k = 0; k < 4; ++k) {
      p[k] = position;
      const int16_t* at = frames + kChannels * static_cast<int64_t>(position >> 32);
      w[k] = kChannels == 2 ? neighbours(at) : monoNeighbours(at);
      position += step;
    }
    const Lanes t = {fractionOf(p[0]), fractionOf(p[1]), fractionOf(p[2]), fractionOf(p[3])};
    Lanes left, right;
    if constexpr (kChannels == 2) {
      const Taps l = transpose(leftOf(w[0]), leftOf(w[1]), leftOf(w[2]), leftOf(w[3]));
      const Taps rt = transpose(rightOf(w[0]), rightOf(w[1]), rightOf(w[2]), rightOf(w[3]));
      left = cubicLanes(l.xm1, l.x0, l.x1, l.x2, t);
      right = cubicLanes(rt.xm1, rt.x0, rt.x1, rt.x2, t);
    } else {
      const Taps m = transpose(w[0], w[1], w[2], w[3]);
      left = right = cubicLanes(m.xm1, m.x0, m.x1, m.x2, t);
    }
    if constexpr (kRamp) {
      left *= rampLanes(r.startLeft, r.deltaLeft, r.first + i);
      right *= rampLanes(r.startRight, r.deltaRight, r.first + i);
    } else {
      left *= gl;
      right *= gr;
    }
    Lanes mix[2];
    std::memcpy(mix, out + 2 * i, sizeof mix);
    mix[0] += __builtin_shufflevector(left, right, 0, 4, 1, 5);
    mix[1] += __builtin_shufflevector(left, right, 2, 6, 3, 7);
    std::memcpy(out + 2 * i, mix, sizeof mix);
  }
  for (; i < count; ++i) {
    const int16_t* s = frames + kChannels * static_cast<int64_t>(position >> 32);
    const float t = fractionOf(position);
    if constexpr (kRamp) {
      gl = rampGain(r.startLeft, r.deltaLeft, r.first + i) * kSampleScale;
      gr = rampGain(r.startRight, r.deltaRight, r.first + i) * kSampleScale;
    }
    if constexpr (kChannels == 2) {
      out[2 * i] += cubicPoint(s[-2], s[0], s[2], s[4], t) * gl;
      out[2 * i + 1] += cubicPoint(s[-1], s[1], s[3], s[5], t) * gr;
    } else {
      const float v = cubicPoint(s[-1], s[0], s[1], s[2], t);
      out[2 * i] += v * gl;
      out[2 * i + 1] += v * gr;
    }
    position += step;
  }
  return position;
}

}  // namespace

void mixCopy(const int16_t* src, float* out, int frames, float gainLeft, float gainRight) noexcept {
  const float gl = gainLeft * kSampleScale;
  const float gr = gainRight * kSampleScale;
#ifdef ZUMBEL_AVX2_COPY
  if (__builtin_cpu_supports("avx512bw")) {
    loops::copyScaledWide(src, out, frames, gl, gr);
    return;
  }
  if (__builtin_cpu_supports("avx2")) {
    copyScaledAvx2(src, out, frames, gl, gr);
    return;
  }
#endif
  copyScaled(src, out, frames, gl, gr);
}

void mixCopyMono(const int16_t* src, float* out, int frames, float gainLeft, float gainRight) noexcept {
  const float gl = gainLeft * kSampleScale;
  const float gr = gainRight * kSampleScale;
#ifdef ZUMBEL_AVX2_COPY
  if (__builtin_cpu_supports("avx512bw")) {
    loops::copyScaledMonoWide(src, out, frames, gl, gr);
    return;
  }
  if (__builtin_cpu_supports("avx2")) {
    copyScaledMonoAvx2(src, out, frames, gl, gr);
    return;
  }
#endif
  copyScaledMono(src, out, frames, gl, gr);
}

namespace {

// Two or four sources of one kind in one pass, with the best build the processor runs.
void copyGroup(const CopySource* s, int n, bool mono, float* out, int frames, const float* g) noexcept {
#ifdef ZUMBEL_AVX2_COPY
  if (__builtin_cpu_supports("avx512bw")) {
    if (n == 4) {
      (mono ? loops::copyScaled4MonoWide : loops::copyScaled4Wide)(s[0].src, s[1].src, s[2].src, s[3].src, out,
                                                                   frames, g);
    } else {
      (mono ? loops::copyScaled2MonoWide : loops::copyScaled2Wide)(s[0].src, s[1].src, out, frames, g);
    }
    return;
  }
  if (__builtin_cpu_supports("avx2")) {
    if (n == 4) {
      (mono ? copyScaled4MonoAvx2 : copyScaled4Avx2)(s[0].src, s[1].src, s[2].src, s[3].src, out, frames, g);
    } else {
      (mono ? copyScaled2MonoAvx2 : copyScaled2Avx2)(s[0].src, s[1].src, out, frames, g);
    }
    return;
  }
#endif
  if (n == 4) {
    if (mono) {
      copyScaled4Mono(s[0].src, s[1].src, s[2].src, s[3].src, out, frames, g);
    } else {
      copyScaled4(s[0].src, s[1].src, s[2].src, s[3].src, out, frames, g);
    }
  } else if (mono) {
    copyScaled2Mono(s[0].src, s[1].src, out, frames, g);
  } else {
    copyScaled2(s[0].src, s[1].src, out, frames, g);
  }
}

}  // namespace

void mixCopies(const CopySource* sources, int count, int channels, float* out, int frames) noexcept {
  const bool mono = channels == 1;
  // Fours, then a two, then a single copy: each group adds onto what the ones before it left, so
  // the grouping changes no sum.
  int k = 0;
  while (count - k >= 2) {
    const int n = count - k >= 4 ? 4 : 2;
    float g[2 * kMaxFusedCopies];
    for (int j = 0; j < n; ++j) {
      g[2 * j] = sources[k + j].gainLeft * kSampleScale;
      g[2 * j + 1] = sources[k + j].gainRight * kSampleScale;
    }
    copyGroup(sources + k, n, mono, out, frames, g);
    k += n;
  }
  if (k < count) {
    (mono ? mixCopyMono : mixCopy)(sources[k].src, out, frames, sources[k].gainLeft, sources[k].gainRight);
  }
}

void mixCopyRamp(const int16_t* src, float* out, int frames, const GainRamp& ramp) noexcept {
#ifdef ZUMBEL_AVX2_COPY
  if (__builtin_cpu_supports("avx2")) {
    copyRampedAvx2(src, out, frames, ramp);
    return;
  }
#endif
  copyRamped<2>(src, out, frames, ramp);
}

void mixCopyRampMono(const int16_t* src, float* out, int frames, const GainRamp& ramp) noexcept {
#ifdef ZUMBEL_AVX2_COPY
  if (__builtin_cpu_supports("avx2")) {
    copyRampedMonoAvx2(src, out, frames, ramp);
    return;
  }
#endif
  copyRamped<1>(src, out, frames, ramp);
}

// Built here with the kernels' optimisation, where the compiler pairs up the frames with
// shuffles; the plain build copied them one value at a time.
void splitStereo(const float* mix, float* left, float* right, int frames) noexcept {
  for (int f = 0; f < frames; ++f) {
    left[f] = mix[2 * f];
    right[f] = mix[2 * f + 1];
  }
}

// The positions differ from frame to frame, so the compiler cannot vectorise the scalar loop
// (16-bit gathers do not exist). Four output frames at a time instead: one load per frame
// fetches its neighbours, a transpose puts each frame in a lane, and each channel is
// interpolated four frames at once.
uint64_t mixCubic(const int16_t* frames, uint64_t position, uint64_t step, float* out, int count,
                  float gainLeft, float gainRight) noexcept {
  return cubicLoop<false, 2>(frames, position, step, out, count, gainLeft * kSampleScale, gainRight * kSampleScale,
                             GainRamp{});
}

uint64_t mixCubicRamp(const int16_t* frames, uint64_t position, uint64_t step, float* out, int count,
                      const GainRamp& ramp) noexcept {
  return cubicLoop<true, 2>(frames, position, step, out, count, 0.0f, 0.0f, ramp);
}

uint64_t mixCubicMono(const int16_t* frames, uint64_t position, uint64_t step, float* out, int count,
                      float gainLeft, float gainRight) noexcept {
  return cubicLoop<false, 1>(frames, position, step, out, count, gainLeft * kSampleScale, gainRight * kSampleScale,
                             GainRamp{});
}

uint64_t mixCubicRampMono(const int16_t* frames, uint64_t position, uint64_t step, float* out, int count,
                          const GainRamp& ramp) noexcept {
  return cubicLoop<true, 1>(frames, position, step, out, count, 0.0f, 0.0f, ramp);
}

}  // namespace zumbel
