// The mixer's inner loops against the plain per-frame formula: the copy and the interpolation
// must give the same bits whichever way the kernels are built (vectorised, several frames at a
// time, chosen for the processor at start-up).

#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "MixKernels.h"
#include "PcmBlock.h"

namespace zumbel {
namespace {

// A block of full-range noise, so both channels and the extremes -32768 / 32767 are exercised.
std::unique_ptr<PcmBlock> noise(std::mt19937& rng, int64_t frames) {
  std::uniform_int_distribution<int> sample(-32768, 32767);
  std::vector<int16_t> data(static_cast<std::size_t>(2 * frames));
  for (int16_t& s : data) s = static_cast<int16_t>(sample(rng));
  data[0] = -32768;
  data[1] = 32767;
  return PcmBlock::create(data.data(), frames);
}

// The scratch the kernels add into, already holding a mix.
std::vector<float> scratch(std::mt19937& rng, int frames) {
  std::uniform_real_distribution<float> v(-1.0f, 1.0f);
  std::vector<float> out(static_cast<std::size_t>(2 * frames));
  for (float& x : out) x = v(rng);
  return out;
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(MixKernels, CopyAddsEachScaledSampleExactly) {
  std::mt19937 rng(7);
  const auto block = noise(rng, 1000);
  for (int frames : {0, 1, 3, 7, 8, 31, 256, 1000}) {
    const float gl = 0.7071f, gr = 0.31f;
    std::vector<float> out = scratch(rng, frames);
    std::vector<float> expected = out;
    mixCopy(block->frames(), out.data(), frames, gl, gr);
    for (int i = 0; i < frames; ++i) {
      expected[static_cast<std::size_t>(2 * i)] += static_cast<float>(block->frames()[2 * i]) * (gl * kSampleScale);
      expected[static_cast<std::size_t>(2 * i + 1)] +=
          static_cast<float>(block->frames()[2 * i + 1]) * (gr * kSampleScale);
    }
    for (std::size_t k = 0; k < out.size(); ++k) ASSERT_TRUE(sameBits(out[k], expected[k])) << frames << " " << k;
  }
}

// Steps below, near and above 1, awkward fractions, counts that do and do not fill whole groups
// of frames, starting anywhere in the block including its first frame (whose left neighbour is
// the silent padding).
TEST(MixKernels, CubicMatchesThePerFrameFormulaBitForBit) {
  std::mt19937 rng(11);
  const int64_t length = 5000;
  const auto block = noise(rng, length);
  const int16_t* data = block->frames();
  std::uniform_int_distribution<uint64_t> fraction(0, 0xFFFFFFFFu);
  const double ratios[] = {37913.0 / 44100, 0.5, 0.999999, 1.000001, 1.5, 44100.0 / 37913, 2.2675, 100000.0 / 44100};
  for (double ratio : ratios) {
    const auto step = static_cast<uint64_t>(ratio * static_cast<double>(kUnitStep));
    for (int count : {1, 2, 3, 4, 5, 63, 64, 257}) {
      for (uint64_t startFrame : {uint64_t{0}, uint64_t{1}, uint64_t{2345}}) {
        const uint64_t start = (startFrame << 32) | (startFrame == 0 ? 0 : fraction(rng));
        // Stay where the kernel may read without bounds checks: the last position plus two
        // frames must be inside the block and its padding.
        ASSERT_LT((start + step * static_cast<uint64_t>(count)) >> 32, static_cast<uint64_t>(length));
        const float gl = 0.83f, gr = 0.0421f;
        std::vector<float> out = scratch(rng, count);
        std::vector<float> expected = out;
        const uint64_t end = mixCubic(data, start, step, out.data(), count, gl, gr);
        uint64_t position = start;
        for (int i = 0; i < count; ++i) {
          const int16_t* s = data + 2 * static_cast<int64_t>(position >> 32);
          const float t = fractionOf(position);
          expected[static_cast<std::size_t>(2 * i)] += cubicPoint(s[-2], s[0], s[2], s[4], t) * (gl * kSampleScale);
          expected[static_cast<std::size_t>(2 * i + 1)] +=
              cubicPoint(s[-1], s[1], s[3], s[5], t) * (gr * kSampleScale);
          position += step;
        }
        EXPECT_EQ(end, position);
        for (std::size_t k = 0; k < out.size(); ++k) {
          ASSERT_TRUE(sameBits(out[k], expected[k]))
              << "ratio " << ratio << ", " << count << " frames from " << startFrame << ", value " << k << ": "
              << out[k] << " vs " << expected[k];
        }
      }
    }
  }
}

// Reading right up to the end of a block touches only its padding: the last frames interpolate
// towards silence, and nothing past the padding is read (AddressSanitizer would see it).
TEST(MixKernels, CubicAtTheEndOfABlockReadsOnlyItsPadding) {
  const std::vector<int16_t> ones(2 * 8, 1000);
  const auto block = PcmBlock::create(ones.data(), 8);
  std::vector<float> out(2 * 8, 0.0f);
  const uint64_t end = mixCubic(block->frames(), 0, kUnitStep, out.data(), 8, 1.0f, 1.0f);
  EXPECT_EQ(end, uint64_t{8} << 32);
  // At whole positions Catmull-Rom passes through the samples themselves.
  for (float v : out) EXPECT_FLOAT_EQ(v, 1000.0f * kSampleScale);
}

// Under a ramp each frame's gain is worked out from the ramp's start, so a ramp resumed at any
// frame of it continues exactly, and both kernels give the per-frame formula's bits.
TEST(MixKernels, RampsGiveEachFrameItsOwnGainBitForBit) {
  std::mt19937 rng(13);
  const auto block = noise(rng, 600);
  const int16_t* data = block->frames();
  const uint64_t step = static_cast<uint64_t>(0.73 * static_cast<double>(kUnitStep));
  for (int first : {0, 1, 5, 130}) {
    for (int count : {1, 3, 4, 9, 130}) {
      const GainRamp ramp{0.9f, 0.4f, -0.9f / 132, 0.0031f, first};
      std::vector<float> copied = scratch(rng, count), interpolated = scratch(rng, count);
      std::vector<float> expectCopied = copied, expectInterpolated = interpolated;
      mixCopyRamp(data, copied.data(), count, ramp);
      mixCubicRamp(data, kUnitStep / 3, step, interpolated.data(), count, ramp);
      uint64_t position = kUnitStep / 3;
      for (int i = 0; i < count; ++i) {
        const auto at = static_cast<std::size_t>(2 * i);
        const float gl = rampGain(ramp.startLeft, ramp.deltaLeft, first + i) * kSampleScale;
        const float gr = rampGain(ramp.startRight, ramp.deltaRight, first + i) * kSampleScale;
        expectCopied[at] += static_cast<float>(data[2 * i]) * gl;
        expectCopied[at + 1] += static_cast<float>(data[2 * i + 1]) * gr;
        const int16_t* s = data + 2 * static_cast<int64_t>(position >> 32);
        expectInterpolated[at] += cubicPoint(s[-2], s[0], s[2], s[4], fractionOf(position)) * gl;
        expectInterpolated[at + 1] += cubicPoint(s[-1], s[1], s[3], s[5], fractionOf(position)) * gr;
        position += step;
      }
      for (std::size_t k = 0; k < copied.size(); ++k) {
        ASSERT_TRUE(sameBits(copied[k], expectCopied[k])) << first << " " << count << " " << k;
        ASSERT_TRUE(sameBits(interpolated[k], expectInterpolated[k])) << first << " " << count << " " << k;
      }
    }
  }
}

// A mono block plays as a stereo block holding each value on both channels, through every
// kernel, to the bit; and slots' copies added a few at once give the bits of adding them one by
// one, mono or stereo.
TEST(MixKernels, MonoBlocksAndGroupedCopiesGiveTheBitsOfTheirStereoCopiesOneByOne) {
  std::mt19937 rng(17);
  constexpr int64_t kLength = 3000;
  constexpr int kSources = 7;
  std::uniform_int_distribution<int> sample(-32768, 32767);
  std::vector<std::unique_ptr<PcmBlock>> mono, stereo;
  for (int k = 0; k < kSources; ++k) {
    auto m = PcmBlock::allocate(kLength, 1);
    std::vector<int16_t> both(2 * kLength);
    for (int64_t i = 0; i < kLength; ++i) {
      const auto v = static_cast<int16_t>(sample(rng));
      m->writableFrames()[i] = both[static_cast<std::size_t>(2 * i)] = both[static_cast<std::size_t>(2 * i + 1)] = v;
    }
    mono.push_back(std::move(m));
    stereo.push_back(PcmBlock::create(both.data(), kLength));
  }
  const auto same = [](const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
  };
  const uint64_t step = static_cast<uint64_t>(0.61 * static_cast<double>(kUnitStep));
  for (int count : {1, 4, 7, 130, 1000}) {
    const std::vector<float> base = scratch(rng, count);
    const auto run = [&](auto&& mix) {
      std::vector<float> out = base;
      mix(out.data());
      return out;
    };
    const GainRamp ramp{0.2f, 0.8f, 0.0007f, -0.0005f, 3};
    const int16_t* m = mono[0]->frames();
    const int16_t* st = stereo[0]->frames();
    EXPECT_TRUE(same(run([&](float* o) { mixCopyMono(m + 17, o, count, 0.3f, 0.9f); }),
                     run([&](float* o) { mixCopy(st + 34, o, count, 0.3f, 0.9f); })));
    EXPECT_TRUE(same(run([&](float* o) { mixCopyRampMono(m + 17, o, count, ramp); }),
                     run([&](float* o) { mixCopyRamp(st + 34, o, count, ramp); })));
    // From the first frame (its left neighbour is padding), inside, and up to the end's padding.
    std::vector<uint64_t> starts = {kUnitStep / 5, (uint64_t{100} << 32) + 12345};
    if (count <= 4) starts.push_back((static_cast<uint64_t>(kLength - 4) << 32) + (kUnitStep / 3));
    for (const uint64_t at : starts) {
      EXPECT_TRUE(same(run([&](float* o) { mixCubicMono(m, at, step, o, count, 0.7f, 0.2f); }),
                       run([&](float* o) { mixCubic(st, at, step, o, count, 0.7f, 0.2f); })))
          << count << " " << at;
      EXPECT_TRUE(same(run([&](float* o) { mixCubicRampMono(m, at, step, o, count, ramp); }),
                       run([&](float* o) { mixCubicRamp(st, at, step, o, count, ramp); })))
          << count << " " << at;
    }
    for (int n = 1; n <= kSources; ++n) {
      std::vector<CopySource> monoSources, stereoSources;
      for (int j = 0; j < n; ++j) {
        const float gl = 0.1f * static_cast<float>(j + 1), gr = 1.0f - 0.13f * static_cast<float>(j);
        monoSources.push_back({mono[static_cast<std::size_t>(j)]->frames() + 5 * j, gl, gr});
        stereoSources.push_back({stereo[static_cast<std::size_t>(j)]->frames() + 10 * j, gl, gr});
      }
      const std::vector<float> oneByOne = run([&](float* o) {
        for (const CopySource& c : stereoSources) mixCopy(c.src, o, count, c.gainLeft, c.gainRight);
      });
      EXPECT_TRUE(same(run([&](float* o) { mixCopies(stereoSources.data(), n, 2, o, count); }), oneByOne)) << n;
      EXPECT_TRUE(same(run([&](float* o) { mixCopies(monoSources.data(), n, 1, o, count); }), oneByOne)) << n;
    }
  }
}

}  // namespace
}  // namespace zumbel
