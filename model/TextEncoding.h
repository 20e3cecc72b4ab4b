#pragma once
// Conversions between Zumbel's UTF-8 strings and the encodings of the kit files: Windows-1252
// for ordinary strings and UTF-16LE for the archive's wide strings.
//
// Paths on Linux may hold bytes that are not UTF-8. Such a byte b travels through UTF-16 as the
// lone surrogate U+DC00 + b and comes back as the same byte, so no path is ever mangled.

#include <cstdint>
#include <string>
#include <string_view>

namespace zumbel {

// Every byte has a meaning: the five bytes Windows-1252 leaves undefined map to the C1 controls
// of the same value, as Windows itself maps them, so any byte string survives a round trip.
std::string utf8FromCp1252(std::string_view bytes);
void appendUtf8FromCp1252(std::string& out, std::string_view bytes);

// False when the text is not valid UTF-8 or holds a character Windows-1252 lacks.
bool cp1252FromUtf8(std::string_view utf8, std::string& out);

// `units` UTF-16LE code units starting at `bytes` (2 * units bytes).
std::string utf8FromUtf16le(const uint8_t* bytes, std::size_t units);
void appendUtf8FromUtf16le(std::string& out, const uint8_t* bytes, std::size_t units);
std::u16string utf16FromUtf8(std::string_view utf8);

// Decodes one UTF-8 character at `pos`. Returns false for an invalid, overlong, surrogate or
// truncated sequence, in which case the caller takes a single byte.
bool decodeUtf8(std::string_view s, std::size_t& pos, char32_t& cp);
void appendUtf8(std::string& out, char32_t cp);

}  // namespace zumbel
