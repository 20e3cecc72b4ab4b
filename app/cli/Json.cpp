#include "Json.h"

#include <cstdio>

#include "TextEncoding.h"

namespace zumbel {

namespace {

void writeEscape(std::ostream& out, unsigned value) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\u%04x", value);
  out << buf;
}

}  // namespace

void writeJsonString(std::ostream& out, std::string_view s) {
  out << '"';
  std::size_t pos = 0;
  while (pos < s.size()) {
    const std::size_t start = pos;
    char32_t cp;
    if (!decodeUtf8(s, pos, cp)) {
      writeEscape(out, 0xDC00u + static_cast<unsigned char>(s[pos]));
      ++pos;
      continue;
    }
    switch (cp) {
      case '"': out << "\\\""; break;
      case '\\': out << "\\\\"; break;
      case '\n': out << "\\n"; break;
      case '\r': out << "\\r"; break;
      case '\t': out << "\\t"; break;
      case '\b': out << "\\b"; break;
      case '\f': out << "\\f"; break;
      default:
        if (cp < 0x20) {
          writeEscape(out, static_cast<unsigned>(cp));
        } else {
          out << s.substr(start, pos - start);
        }
    }
  }
  out << '"';
}

}  // namespace zumbel
