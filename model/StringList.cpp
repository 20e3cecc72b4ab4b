#include "StringList.h"

#include <cassert>

namespace zumbel {

void StringList::push_back(std::string_view s) {
  text_.append(s);
  assert(text_.size() <= UINT32_MAX);
  ends_.push_back(static_cast<uint32_t>(text_.size()));
}

}  // namespace zumbel
