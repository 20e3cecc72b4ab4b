#pragma once

#include <ostream>
#include <string_view>

namespace zumbel {

// Writes `s` as a JSON string. Bytes that are not UTF-8 come out as "\udcXX", the lone surrogate
// that carries a raw byte everywhere else in Zumbel, so nothing is dropped or mangled.
void writeJsonString(std::ostream& out, std::string_view s);

}  // namespace zumbel
