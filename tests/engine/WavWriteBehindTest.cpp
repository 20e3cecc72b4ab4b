// The render's writing thread: memory running out and a write after the end both fail where the
// caller sees it, and the program goes on.

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "AllocationFailures.h"
#include "EngineConfig.h"
#include "TestSupport.h"
#include "WavFileWriter.h"
#include "WavWriteBehind.h"

namespace zumbel {
namespace {

// Several buffers' worth, so the thread has work queued when the failure comes.
const std::vector<float> kFrames(static_cast<std::size_t>(4 * kWriteBehindFrames) + 100, 0.25f);
constexpr std::size_t kAnyBuffer = 1024;

int frameCount() { return static_cast<int>(kFrames.size()); }

// 16-bit samples round to the nearest step (ties to even) and clip at full scale, NaN is silence,
// in every frame of a write longer than the writer's conversion steps, and through the
// write-behind's in-place room as through a copy.
TEST(WavWriteBehind, SixteenBitSamplesRoundToNearestAndClip) {
  const float step = 1.0f / 32768.0f;
  const std::vector<float> edges = {0.0f, -0.0f, 0.5f * step, 1.5f * step, -1.5f * step, 2.5f * step, 0.1234f,
                                    1.0f, -1.0f, 1.0f - step, 2.0f, -2.0f, std::numeric_limits<float>::infinity(),
                                    -std::numeric_limits<float>::infinity(), std::nanf("")};
  std::vector<float> left, right;
  for (int i = 0; i < 777; ++i) {
    left.push_back(edges[static_cast<std::size_t>(i) % edges.size()]);
    right.push_back(-edges[static_cast<std::size_t>(i * 7) % edges.size()] * 0.999f);
  }
  std::vector<uint8_t> expected;
  for (std::size_t i = 0; i < left.size(); ++i) {
    for (const float v : {left[i], right[i]}) {
      const float scaled = v * 32768.0f;
      const long q = scaled != scaled ? 0 : std::lrint(std::clamp(scaled, -32768.0f, 32767.0f));
      expected.push_back(static_cast<uint8_t>(q & 0xFF));
      expected.push_back(static_cast<uint8_t>((q >> 8) & 0xFF));
    }
  }
  test::TempDir dir;
  for (const bool inPlace : {false, true}) {
    WavFileWriter writer;
    ASSERT_TRUE(writer.open(dir / "out.wav", 44100, SampleFormat::kS16));
    {
      WavWriteBehind behind(writer);
      if (inPlace) {
        const auto [l, r] = behind.room(static_cast<int>(left.size()));
        ASSERT_TRUE(l && r);
        std::copy(left.begin(), left.end(), l);
        std::copy(right.begin(), right.end(), r);
        ASSERT_TRUE(behind.write(l, r, static_cast<int>(left.size())));
      } else {
        ASSERT_TRUE(behind.write(left.data(), right.data(), static_cast<int>(left.size())));
      }
      ASSERT_TRUE(behind.finish());
    }
    ASSERT_TRUE(writer.close());
    const std::vector<uint8_t> file = test::readBytes(dir / "out.wav");
    ASSERT_EQ(file.size(), 44 + expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + 44)) << inPlace;
  }
}

TEST(WavWriteBehind, MemoryRunningOutOnItsThreadFailsTheWriteAndLeavesNoFile) {
  test::TempDir dir;
  WavFileWriter writer;
  ASSERT_TRUE(writer.open(dir / "out.wav", 44100, SampleFormat::kS16));
  {
    WavWriteBehind behind(writer);
    const test::FailingAllocations noMemory(kAnyBuffer);
    behind.write(kFrames.data(), kFrames.data(), frameCount());
    EXPECT_FALSE(behind.finish());
    EXPECT_FALSE(behind.write(kFrames.data(), kFrames.data(), 1));
  }
  EXPECT_EQ(writer.errorNumber(), ENOMEM);
  EXPECT_FALSE(writer.close());
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// Made where its buffers cannot be had, it writes on the caller's thread: the same file.
TEST(WavWriteBehind, WithoutMemoryForItsBuffersItWritesTheSameFileDirectly) {
  test::TempDir dir;
  for (const bool starved : {false, true}) {
    WavFileWriter writer;
    const std::string out = dir / (starved ? "starved.wav" : "plain.wav");
    ASSERT_TRUE(writer.open(out, 44100, SampleFormat::kF32));
    std::unique_ptr<WavWriteBehind> behind;
    {
      const std::unique_ptr<test::FailingAllocations> noMemory =
          starved ? std::make_unique<test::FailingAllocations>(kAnyBuffer) : nullptr;
      std::thread([&] { behind = std::make_unique<WavWriteBehind>(writer); }).join();
    }
    EXPECT_TRUE(behind->write(kFrames.data(), kFrames.data(), frameCount()));
    EXPECT_TRUE(behind->finish());
    EXPECT_TRUE(writer.close());
  }
  EXPECT_EQ(test::readBytes(dir / "starved.wav"), test::readBytes(dir / "plain.wav"));
}

// In a child process of its own (started afresh, so its thread is no thread of a forked copy): a
// write that waits for ever is ended by the alarm.
TEST(WavWriteBehindDeathTest, AWriteAfterFinishFailsAtOnceAndAddsNothing) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  test::TempDir dir;
  const auto writeAfterFinish = [&] {
    ::alarm(10);
    WavFileWriter writer;
    if (!writer.open(dir / "out.wav", 44100, SampleFormat::kS16)) ::_exit(2);
    WavWriteBehind behind(writer);
    behind.write(kFrames.data(), kFrames.data(), frameCount());
    const bool finished = behind.finish();
    const bool late = behind.write(kFrames.data(), kFrames.data(), frameCount());
    const bool ok = finished && !late && writer.framesWritten() == frameCount() && writer.close();
    std::error_code ec;
    std::filesystem::remove_all(dir.path(), ec);  // the child's own folder: it ends without unwinding
    ::_exit(ok ? 0 : 1);
  };
  EXPECT_EXIT(writeAfterFinish(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace zumbel
