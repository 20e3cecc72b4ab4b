#pragma once
// The inner loops of the mixer: add one slot's frames into an interleaved float stereo scratch.
// They run on the audio thread for every sounding slot, so they are plain loops the compiler can
// vectorise, with no bounds checks: the PCM block's silent padding covers the frames around the
// data that interpolation reads.

#include <cstdint>

namespace zumbel {

inline constexpr float kSampleScale = 1.0f / 32768.0f;
inline constexpr uint64_t kUnitStep = uint64_t{1} << 32;  // positions are 32.32 fixed point

// Step exactly 1 from a whole frame: a scaled copy. `src` points at the first frame to play.
void mixCopy(const int16_t* src, float* out, int frames, float gainLeft, float gainRight) noexcept;

// Several slots' plain copies into the same output, added in the order given: the same sums,
// rounded the same way, as mixCopy (or mixCopyMono, for `channels` 1) called for each in turn,
// with the output read and written once for all of them.
inline constexpr int kMaxFusedCopies = 4;
struct CopySource {
  const int16_t* src;
  float gainLeft, gainRight;
};
void mixCopies(const CopySource* sources, int count, int channels, float* out, int frames) noexcept;

// Any other step: 4-point cubic (Catmull-Rom) interpolation, which passes through every sample.
// `frames` points at frame 0 of the block; returns the position after the last frame mixed.
uint64_t mixCubic(const int16_t* frames, uint64_t position, uint64_t step, float* out, int count,
                  float gainLeft, float gainRight) noexcept;

// A gain ramp (a fade or a glide). Frame i of a call plays at gain start + (first + i) * delta,
// counted from the ramp's own first frame, so a ramp cut into blocks of any size gives the same
// gains frame for frame.
struct GainRamp {
  float startLeft, startRight;
  float deltaLeft, deltaRight;
  int first;
};
inline float rampGain(float start, float delta, int k) noexcept { return start + static_cast<float>(k) * delta; }

// mixCopy and mixCubic under a gain ramp: the same loops, each frame at its own gain.
void mixCopyRamp(const int16_t* src, float* out, int frames, const GainRamp& ramp) noexcept;
uint64_t mixCubicRamp(const int16_t* frames, uint64_t position, uint64_t step, float* out, int count,
                      const GainRamp& ramp) noexcept;

// All four for a mono block (one value a frame, played on both sides): the same bits as for a
// stereo block holding each value on both channels.
void mixCopyMono(const int16_t* src, float* out, int frames, float gainLeft, float gainRight) noexcept;
uint64_t mixCubicMono(const int16_t* frames, uint64_t position, uint64_t step, float* out, int count,
                      float gainLeft, float gainRight) noexcept;
void mixCopyRampMono(const int16_t* src, float* out, int frames, const GainRamp& ramp) noexcept;
uint64_t mixCubicRampMono(const int16_t* frames, uint64_t position, uint64_t step, float* out, int count,
                          const GainRamp& ramp) noexcept;

// The interleaved scratch handed out as the two channels a block is delivered in.
void splitStereo(const float* mix, float* left, float* right, int frames) noexcept;

// One interpolated value from the four samples around a fractional position.
inline float cubicPoint(float xm1, float x0, float x1, float x2, float t) noexcept {
  const float c1 = 0.5f * (x1 - xm1);
  const float c2 = xm1 - 2.5f * x0 + 2.0f * x1 - 0.5f * x2;
  const float c3 = 0.5f * (x2 - xm1) + 1.5f * (x0 - x1);
  return ((c3 * t + c2) * t + c1) * t + x0;
}

inline float fractionOf(uint64_t position) noexcept {
  return static_cast<float>(position & 0xFFFFFFFFu) * (1.0f / 4294967296.0f);
}

}  // namespace zumbel
