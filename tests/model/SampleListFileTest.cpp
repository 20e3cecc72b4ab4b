#include <gtest/gtest.h>

#include "SampleListFile.h"
#include "TestSupport.h"

namespace zumbel {
namespace {

using test::TempDir;

std::vector<uint8_t> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }

TEST(SampleListFile, WritesTheCountAndLengthPrefixedPaths) {
  const std::vector<uint8_t> b = serializeSampleList({"C:\\a.wav", "C:\\b.wav"});
  EXPECT_EQ(b, bytesOf(std::string("\x02\x00\x00\x00\x08" "C:\\a.wav\x08" "C:\\b.wav", 22)));

  for (std::size_t length : {254u, 255u, 259u, 65533u, 65534u}) {
    const std::vector<uint8_t> one = serializeSampleList({std::string(length, 'p')});
    const std::size_t prefix = length < 255 ? 1 : length < 65534 ? 3 : 7;
    ASSERT_EQ(one.size(), 4 + prefix + length) << length;
    if (prefix == 3) {
      EXPECT_EQ(one[4], 0xFF);
      EXPECT_EQ(one[5] | (one[6] << 8), static_cast<int>(length));
    }
    StringList back;
    ASSERT_EQ(parseSampleList(one, back), SampleListError::None);
    EXPECT_EQ(back[0].size(), length);
  }
}

TEST(SampleListFile, ReadsEmptyNegativeAndWideForms) {
  StringList entries{"stale"};
  EXPECT_EQ(parseSampleList(bytesOf(std::string(4, '\0')), entries), SampleListError::None);
  EXPECT_TRUE(entries.empty());
  EXPECT_EQ(parseSampleList(bytesOf("\xFF\xFF\xFF\xFF"), entries), SampleListError::None);
  EXPECT_TRUE(entries.empty());

  const std::string wide("\x02\x00\x00\x00" "\xFF\xFE\xFF\x02" "\x2A\x59\x13\x9F" "\x01" "k", 14);
  ASSERT_EQ(parseSampleList(bytesOf(wide), entries), SampleListError::None);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0], "\xE5\xA4\xAA\xE9\xBC\x93");  // 太鼓
  EXPECT_EQ(entries[1], "k");
}

TEST(SampleListFile, FailuresKeepWhatWasReadAndSayWhy) {
  TempDir dir;
  // Claims three paths, holds one and a half.
  test::writeBytes(dir / "short.slist", bytesOf(std::string("\x03\x00\x00\x00\x01" "a\x05" "ab", 9)));
  StringList entries;
  SampleListResult r = LoadSampleList(dir / "short.slist", entries);
  EXPECT_EQ(r.error, SampleListError::EndOfFile);
  EXPECT_EQ(r.message, "An attempt was made to access " + dir / "short.slist" + " past its end.");
  EXPECT_EQ(entries.size(), 1u);

  // A huge count in a tiny file stops at the end at once.
  test::writeBytes(dir / "huge.slist", bytesOf(std::string("\xFF\xFF\xFF\x7F\x00", 5)));
  EXPECT_EQ(LoadSampleList(dir / "huge.slist", entries).error, SampleListError::EndOfFile);
  EXPECT_EQ(entries.size(), 1u);

  r = LoadSampleList(dir / "none.slist", entries);
  EXPECT_EQ(r.message, dir / "none.slist" + " was not found.");
  EXPECT_TRUE(entries.empty());

  const StringList kicks{"/k/one.wav", "C:\\K\\two.wav", "/k/tr\xC3\xA8s.wav"};
  ASSERT_TRUE(SaveSampleList(dir / "Kicks.slist", kicks).ok());
  ASSERT_TRUE(LoadSampleList(dir / "Kicks.slist", entries).ok());
  EXPECT_EQ(entries, kicks);
  EXPECT_FALSE(SaveSampleList(dir / "gone/Kicks.slist", kicks).ok());
}

}  // namespace
}  // namespace zumbel
