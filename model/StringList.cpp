#include "StringList.h"

#include <cassert>

namespace zumbel {

void StringList::push_back(std::string_view s) {
  text_.append(s);
  assert(text_.size() <= UINT32_MAX);
  ends_.push_back(static_cast<uint32_t>(text_.size()));
}

void StringList::set(std::size_t i, std::string_view s) {
  const std::size_t start = i == 0 ? 0 : ends_[i - 1];
  const std::size_t oldLength = ends_[i] - start;
  text_.replace(start, oldLength, s);
  const auto delta = static_cast<int64_t>(s.size()) - static_cast<int64_t>(oldLength);
  for (std::size_t k = i; k < ends_.size(); ++k) ends_[k] = static_cast<uint32_t>(ends_[k] + delta);
}

void StringList::erase(std::size_t i) {
  const std::size_t start = i == 0 ? 0 : ends_[i - 1];
  const std::size_t length = ends_[i] - start;
  text_.erase(start, length);
  ends_.erase(ends_.begin() + static_cast<std::ptrdiff_t>(i));
  for (std::size_t k = i; k < ends_.size(); ++k) ends_[k] = static_cast<uint32_t>(ends_[k] - length);
}

}  // namespace zumbel
