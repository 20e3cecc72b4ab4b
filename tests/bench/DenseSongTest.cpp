#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <map>

#include "DenseSong.h"
#include "MidiFile.h"

namespace zumbel::bench {
namespace {

constexpr uint32_t kNoteOnStatus = 0x90;
constexpr uint32_t kNoteOffStatus = 0x80;

int statusOf(const MidiFileEvent& e) { return static_cast<int>(e.message & 0xFF); }
int noteOf(const MidiFileEvent& e) { return static_cast<int>((e.message >> 8) & 0xFF); }
int velocityOf(const MidiFileEvent& e) { return static_cast<int>((e.message >> 16) & 0xFF); }

class DenseSongTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    image_ = new std::vector<uint8_t>(denseSongImage());
    result_ = new MidiFileResult(parseMidiFile(*image_));
  }
  static void TearDownTestSuite() {
    delete result_;
    delete image_;
  }
  const MidiSong& song() const { return result_->song; }
  double seconds(uint64_t time) const {
    return static_cast<double>(time) / static_cast<double>(song().timeUnitsPerSecond);
  }

  static std::vector<uint8_t>* image_;
  static MidiFileResult* result_;
};

std::vector<uint8_t>* DenseSongTest::image_ = nullptr;
MidiFileResult* DenseSongTest::result_ = nullptr;

TEST_F(DenseSongTest, IsAFiveMinuteFileThatReadsCleanly) {
  ASSERT_TRUE(result_->ok());
  EXPECT_TRUE(song().warnings.empty());
  EXPECT_EQ(song().format, 1);
  EXPECT_EQ(song().trackCount, 2);
  EXPECT_DOUBLE_EQ(seconds(song().endTime), kDenseSeconds);
  EXPECT_DOUBLE_EQ(kDenseSeconds, 300.0);
  // The last note falls in the last bar, not far before the end.
  ASSERT_FALSE(song().events.empty());
  EXPECT_GT(seconds(song().events.back().time), kDenseSeconds - 1.5);
  EXPECT_EQ(denseSongImage(), *image_) << "two runs must write the same bytes";
}

TEST_F(DenseSongTest, IsDenseAllTheWayThrough) {
  // 20 to 40 notes a second over the whole song, and no ten-second stretch much sparser.
  std::vector<int> perTenSeconds(static_cast<std::size_t>(kDenseSeconds / 10), 0);
  int noteOns = 0;
  for (const MidiFileEvent& e : song().events) {
    if (statusOf(e) != kNoteOnStatus) continue;
    ++noteOns;
    const auto slot = static_cast<std::size_t>(seconds(e.time) / 10);
    ASSERT_LT(slot, perTenSeconds.size());
    ++perTenSeconds[slot];
  }
  const double rate = noteOns / kDenseSeconds;
  EXPECT_GE(rate, 20.0);
  EXPECT_LE(rate, 40.0);
  for (std::size_t i = 0; i < perTenSeconds.size(); ++i) {
    EXPECT_GE(perTenSeconds[i], 150) << "ten seconds from " << i * 10 << " s";
  }
}

TEST_F(DenseSongTest, PlaysDrumNotesOnChannelOneAtEveryVelocity) {
  std::bitset<128> velocities;
  std::map<int, int> hitsPerNote;
  for (const MidiFileEvent& e : song().events) {
    const int status = statusOf(e);
    ASSERT_TRUE(status == kNoteOnStatus || status == kNoteOffStatus) << std::hex << e.message;
    EXPECT_GE(noteOf(e), kDenseLowestNote);
    EXPECT_LE(noteOf(e), kDenseHighestNote);
    if (status == kNoteOnStatus) {
      ASSERT_GE(velocityOf(e), 1) << "a note-on of velocity 0 is a note-off";
      velocities.set(static_cast<std::size_t>(velocityOf(e)));
      ++hitsPerNote[noteOf(e)];
    }
  }
  EXPECT_EQ(velocities.count(), 127u) << "every velocity from 1 to 127";
  // Kicks, snares, hats, toms, cymbals and percussion all play, the common ones often.
  for (int note : {35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 55, 56, 57, 59}) {
    EXPECT_GT(hitsPerNote[note], 0) << "note " << note;
  }
  EXPECT_GT(hitsPerNote[42], 1500);
  EXPECT_GT(hitsPerNote[36], 400);
  EXPECT_GT(hitsPerNote[38], 400);
}

TEST_F(DenseSongTest, ReleasesEveryNoteBeforeItsNextStrike) {
  std::map<int, int> held;
  for (const MidiFileEvent& e : song().events) {
    int& count = held[noteOf(e)];
    if (statusOf(e) == kNoteOnStatus) {
      ASSERT_EQ(++count, 1) << "note " << noteOf(e) << " struck while still held";
    } else {
      ASSERT_GT(count, 0) << "note-off without a note-on, note " << noteOf(e);
      --count;
    }
  }
  for (const auto& [note, count] : held) EXPECT_EQ(count, 0) << "note " << note << " left hanging";
}

}  // namespace
}  // namespace zumbel::bench
