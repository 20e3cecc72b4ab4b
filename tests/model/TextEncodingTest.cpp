#include <gtest/gtest.h>

#include "StringList.h"
#include "TextEncoding.h"

namespace zumbel {
namespace {

std::string wideBytes(const std::u16string& s) {
  std::string b;
  for (char16_t u : s) b += static_cast<char>(u & 0xFF), b += static_cast<char>(u >> 8);
  return b;
}

std::string throughUtf16(const std::string& utf8) {
  const std::string b = wideBytes(utf16FromUtf8(utf8));
  return utf8FromUtf16le(reinterpret_cast<const uint8_t*>(b.data()), b.size() / 2);
}

TEST(TextEncoding, EveryWindows1252ByteRoundTrips) {
  for (int c = 0; c < 256; ++c) {
    const std::string byte(1, static_cast<char>(c));
    std::string back;
    ASSERT_TRUE(cp1252FromUtf8(utf8FromCp1252(byte), back)) << c;
    ASSERT_EQ(back, byte) << c;
  }
  EXPECT_EQ(utf8FromCp1252("\x80\x9F\xE9"), "\xE2\x82\xAC\xC5\xB8\xC3\xA9");  // € Ÿ é
  std::string out;
  EXPECT_FALSE(cp1252FromUtf8("\xE5\xA4\xAA", out));  // 太
  EXPECT_FALSE(cp1252FromUtf8("\xC2\x80", out));      // U+0080 has no byte of its own
  EXPECT_FALSE(cp1252FromUtf8("\xE9", out));          // not UTF-8
  EXPECT_FALSE(cp1252FromUtf8("\xC0\xAF", out));      // overlong
}

TEST(TextEncoding, Utf16KeepsEveryStringIncludingStrayBytes) {
  for (const std::string s : {"plain", "\xE5\xA4\xAA\xE9\xBC\x93", "\xF0\x9F\xA5\x81", "\xE9t\xE9",
                              "ok\xC3", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
    EXPECT_EQ(throughUtf16(s), s);
  }
  // Stray surrogates that would spell a real character once turned into bytes stay what they are
  // not, so the text reads back the same.
  const uint8_t spelled[] = {0xC3, 0xDC, 0xA9, 0xDC};
  EXPECT_EQ(throughUtf16(utf8FromUtf16le(spelled, 2)), utf8FromUtf16le(spelled, 2));
  EXPECT_EQ(utf8FromUtf16le(spelled, 2), "\xEF\xBF\xBD\xEF\xBF\xBD");
  // Lone surrogates that carry no byte become the replacement character.
  const uint8_t lone[] = {0x00, 0xD8, 0x41, 0x00, 0x10, 0xDC};
  EXPECT_EQ(utf8FromUtf16le(lone, 3), "\xEF\xBF\xBD" "A\xEF\xBF\xBD");
}

TEST(StringList, EntriesKeepTheirBoundaries) {
  StringList list{"zero", "", "two"};
  list.push_back("three");
  EXPECT_TRUE(list.pushBackWith([](std::string& text) { text += "four"; return true; }));
  EXPECT_FALSE(list.pushBackWith([](std::string& text) { text += "half-read"; return false; }));
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(list[1], "");
  EXPECT_EQ(list[2], "two");
  EXPECT_EQ(list.back(), "four");
  EXPECT_EQ(list, (StringList{"zero", "", "two", "three", "four"}));
  EXPECT_NE(list, (StringList{"zero", "", "two", "three", "fou", "r"}));
}

}  // namespace
}  // namespace zumbel
