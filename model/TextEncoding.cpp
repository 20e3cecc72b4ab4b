#include "TextEncoding.h"

#include <algorithm>

namespace zumbel {

namespace {

// 0x80..0x9F of Windows-1252; the undefined positions map to themselves.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char16_t kEscapeBase = 0xDC00;  // lone low surrogate carrying a raw byte

bool cp1252Byte(char32_t cp, char& out) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
    out = static_cast<char>(cp);
    return true;
  }
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == cp) {
      out = static_cast<char>(0x80 + i);
      return true;
    }
  }
  return false;
}

}  // namespace

bool decodeUtf8(std::string_view s, std::size_t& pos, char32_t& cp) {
  const auto byte = [&](std::size_t i) { return static_cast<uint8_t>(s[i]); };
  const uint8_t b0 = byte(pos);
  if (b0 < 0x80) {
    cp = b0;
    ++pos;
    return true;
  }
  int extra;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1, min = 0x80, cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, min = 0x800, cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, min = 0x10000, cp = b0 & 0x07;
  } else {
    return false;
  }
  if (pos + static_cast<std::size_t>(extra) >= s.size()) return false;
  for (int i = 1; i <= extra; ++i) {
    const uint8_t b = byte(pos + static_cast<std::size_t>(i));
    if ((b & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  pos += static_cast<std::size_t>(extra) + 1;
  return true;
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

namespace {

char32_t cp1252Char(uint8_t b) { return b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b; }

std::size_t utf8Length(char32_t cp) { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }

// Makes room for `extra` more bytes: exactly for one long string, geometrically when many short
// ones are appended to the same buffer.
void growFor(std::string& out, std::size_t extra) {
  const std::size_t needed = out.size() + extra;
  if (needed > out.capacity()) out.reserve(std::max(needed, 2 * out.capacity()));
}

}  // namespace

void appendUtf8FromCp1252(std::string& out, std::string_view bytes) {
  // Sized exactly first: a long path must not cost twice its final length while it grows.
  std::size_t length = 0;
  for (char c : bytes) length += utf8Length(cp1252Char(static_cast<uint8_t>(c)));
  growFor(out, length);
  for (char c : bytes) appendUtf8(out, cp1252Char(static_cast<uint8_t>(c)));
}

std::string utf8FromCp1252(std::string_view bytes) {
  std::string out;
  appendUtf8FromCp1252(out, bytes);
  return out;
}

bool cp1252FromUtf8(std::string_view utf8, std::string& out) {
  out.clear();
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    char32_t cp;
    char b;
    if (!decodeUtf8(utf8, pos, cp) || !cp1252Byte(cp, b)) return false;
    out += b;
  }
  return true;
}

namespace {

// Walks UTF-16LE, handing each character to `emit(cp, raw)`. A lone surrogate U+DC80..U+DCFF is
// handed on as its raw byte (raw = true) when `escapes` is set; else it, like every other lone
// surrogate, becomes the replacement character. Returns whether any raw byte was handed on.
template <class Emit>
bool walkUtf16le(const uint8_t* bytes, std::size_t units, bool escapes, Emit&& emit) {
  const auto unit = [bytes](std::size_t i) {
    return static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  };
  bool escaped = false;
  for (std::size_t i = 0; i < units; ++i) {
    const char16_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
      const char16_t low = unit(i + 1);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        emit(0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (low - 0xDC00), false);
        ++i;
        continue;
      }
    }
    if (escapes && u >= kEscapeBase + 0x80 && u <= kEscapeBase + 0xFF) {
      emit(u - kEscapeBase, true);
      escaped = true;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      emit(0xFFFD, false);
    } else {
      emit(u, false);
    }
  }
  return escaped;
}

bool decodeUtf16le(std::string& out, const uint8_t* bytes, std::size_t units, bool escapes) {
  std::size_t length = 0;
  walkUtf16le(bytes, units, escapes, [&](char32_t cp, bool raw) { length += raw ? 1 : utf8Length(cp); });
  growFor(out, length);
  return walkUtf16le(bytes, units, escapes, [&](char32_t cp, bool raw) {
    if (raw) {
      out += static_cast<char>(cp);
    } else {
      appendUtf8(out, cp);
    }
  });
}

// Whether `utf8` turns back into exactly these UTF-16LE units.
bool encodesTo(std::string_view utf8, const uint8_t* bytes, std::size_t units) {
  std::size_t i = 0;
  const auto expect = [&](char32_t u) {
    return i < units && static_cast<char32_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)) == u && (++i, true);
  };
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    char32_t cp;
    if (!decodeUtf8(utf8, pos, cp)) {
      if (!expect(kEscapeBase + static_cast<uint8_t>(utf8[pos++]))) return false;
    } else if (cp >= 0x10000) {
      if (!expect(0xD800 + ((cp - 0x10000) >> 10)) || !expect(0xDC00 + ((cp - 0x10000) & 0x3FF))) return false;
    } else if (!expect(cp)) {
      return false;
    }
  }
  return i == units;
}

}  // namespace

void appendUtf8FromUtf16le(std::string& out, const uint8_t* bytes, std::size_t units) {
  const std::size_t start = out.size();
  if (!decodeUtf16le(out, bytes, units, true)) return;
  // Raw bytes next to each other may happen to spell a UTF-8 character, which would then be read
  // back as that character. Keep the bytes only when the text converts back to the same units.
  if (encodesTo(std::string_view(out).substr(start), bytes, units)) return;
  out.resize(start);
  decodeUtf16le(out, bytes, units, false);
}

std::string utf8FromUtf16le(const uint8_t* bytes, std::size_t units) {
  std::string out;
  appendUtf8FromUtf16le(out, bytes, units);
  return out;
}

std::u16string utf16FromUtf8(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    char32_t cp;
    if (!decodeUtf8(utf8, pos, cp)) {
      out += static_cast<char16_t>(kEscapeBase + static_cast<uint8_t>(utf8[pos]));
      ++pos;
    } else if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

}  // namespace zumbel
