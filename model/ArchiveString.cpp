#include "ArchiveString.h"

#include "TextEncoding.h"

namespace zumbel {

namespace {

constexpr uint8_t kLongLength = 0xFF;
constexpr uint16_t kWideMarker = 0xFFFE;
constexpr uint16_t kHugeLength = 0xFFFF;

// Reads the rest of a length after its first byte was 0xFF and the 2-byte value was `word`.
bool finishLength(ByteReader& in, uint16_t word, uint32_t& length) {
  if (word != kHugeLength) {
    length = word;
    return true;
  }
  return in.u32(length);
}

bool readLength(ByteReader& in, uint32_t& length) {
  uint8_t first;
  if (!in.u8(first)) return false;
  if (first != kLongLength) {
    length = first;
    return true;
  }
  uint16_t word;
  return in.u16(word) && finishLength(in, word, length);
}

void writeLength(ByteWriter& out, std::size_t length) {
  if (length < kLongLength) {
    out.u8(static_cast<uint8_t>(length));
  } else if (length < kWideMarker) {
    out.u8(kLongLength);
    out.u16(static_cast<uint16_t>(length));
  } else {
    out.u8(kLongLength);
    out.u16(kHugeLength);
    out.u32(static_cast<uint32_t>(length));
  }
}

}  // namespace

bool appendArchiveString(ByteReader& in, std::string& out) {
  uint8_t first;
  if (!in.u8(first)) return false;
  uint32_t length = first;
  bool wide = false;
  if (first == kLongLength) {
    uint16_t word;
    if (!in.u16(word)) return false;
    if (word == kWideMarker) {
      wide = true;
      if (!readLength(in, length)) return false;
    } else if (!finishLength(in, word, length)) {
      return false;
    }
  }
  const uint8_t* text;
  const std::size_t bytes = wide ? 2 * static_cast<std::size_t>(length) : length;
  if (!in.bytes(bytes, text)) return false;
  if (wide) {
    appendUtf8FromUtf16le(out, text, length);
  } else {
    appendUtf8FromCp1252(out, std::string_view(reinterpret_cast<const char*>(text), length));
  }
  return true;
}

void writeArchiveString(ByteWriter& out, std::string_view utf8) {
  std::string narrow;
  if (cp1252FromUtf8(utf8, narrow)) {
    writeLength(out, narrow.size());
    out.bytes(narrow.data(), narrow.size());
    return;
  }
  const std::u16string wide = utf16FromUtf8(utf8);
  out.u8(kLongLength);
  out.u16(kWideMarker);
  writeLength(out, wide.size());
  for (char16_t u : wide) out.u16(static_cast<uint16_t>(u));
}

}  // namespace zumbel
