#pragma once
// An ordered list of strings kept in one buffer. A pool group may hold any number of entries and
// a file may hold many short ones; here each costs its text plus four bytes, so a loaded list
// never takes more than a few times the bytes the file spent on it.

#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace zumbel {

class StringList {
 public:
  StringList() = default;
  StringList(std::initializer_list<std::string_view> items) {
    for (std::string_view s : items) push_back(s);
  }

  std::size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }
  std::size_t textBytes() const { return text_.size(); }
  std::string_view operator[](std::size_t i) const {
    const std::size_t start = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(text_).substr(start, ends_[i] - start);
  }
  std::string_view back() const { return (*this)[size() - 1]; }

  // Reserves room for `count` entries; callers bound `count` by the bytes that hold them.
  void reserve(std::size_t count) { ends_.reserve(count); }
  void push_back(std::string_view s);
  // Appends an entry whose text `append(std::string&)` writes in place, without a temporary
  // copy. When it returns false nothing is added.
  template <class AppendFn>
  bool pushBackWith(AppendFn&& append) {
    const std::size_t start = text_.size();
    if (!append(text_) || text_.size() > UINT32_MAX) {
      text_.resize(start);
      return false;
    }
    ends_.push_back(static_cast<uint32_t>(text_.size()));
    return true;
  }
  void clear() {
    text_.clear();
    ends_.clear();
  }

  friend bool operator==(const StringList&, const StringList&) = default;

  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::string_view;

    const_iterator() = default;
    const_iterator(const StringList* list, std::size_t i) : list_(list), i_(i) {}
    std::string_view operator*() const { return (*list_)[i_]; }
    const_iterator& operator++() {
      ++i_;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator old = *this;
      ++i_;
      return old;
    }
    friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.i_ == b.i_; }

   private:
    const StringList* list_ = nullptr;
    std::size_t i_ = 0;
  };

  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size()}; }

 private:
  std::string text_;            // every entry back to back
  std::vector<uint32_t> ends_;  // where entry i ends in text_
};

}  // namespace zumbel
