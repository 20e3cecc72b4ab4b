#pragma once
// The length-prefixed string shared by ".drums" and ".slist" files.
//
// Length L is written as 1 byte when below 255; as 0xFF and 2 bytes when below 0xFFFE; otherwise
// as 0xFF, 0xFFFF and 4 bytes. The 2-byte value 0xFFFE after 0xFF announces a string of 16-bit
// characters whose length (in characters, same forms) and UTF-16LE text follow.

#include <string>

#include "ByteStream.h"

namespace zumbel {

// Reads one string and appends its UTF-8 text to `out`. Fails, allocating nothing, when the text
// would run past the end.
bool appendArchiveString(ByteReader& in, std::string& out);

// Writes 8-bit Windows-1252 text when the string has such a form, else the 16-bit form, so no
// character is ever lost.
void writeArchiveString(ByteWriter& out, std::string_view utf8);

}  // namespace zumbel
