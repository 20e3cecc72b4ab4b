// The render's writing thread: memory running out and a write after the end both fail where the
// caller sees it, and the program goes on.

#include <unistd.h>

#include <cerrno>
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
