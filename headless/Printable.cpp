#include "Printable.h"

#include "TextEncoding.h"

namespace zumbel {

std::ostream& operator<<(std::ostream& out, Printable p) {
  std::size_t pos = 0;
  while (pos < p.text.size()) {
    const std::size_t start = pos;
    char32_t cp;
    if (!decodeUtf8(p.text, pos, cp)) {
      out << '?';
      ++pos;
    } else if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
      out << '?';
    } else {
      out << p.text.substr(start, pos - start);
    }
  }
  return out;
}

}  // namespace zumbel
