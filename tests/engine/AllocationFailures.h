#pragma once
// Memory running out, on demand (the allocation guard carries it out): while one of these lives,
// every heap allocation of at least `bytes` made by any thread but the one that made it fails, so
// the work a test hands to other threads meets the failure and the test itself goes on.

#include <cstddef>

namespace zumbel::test {

class FailingAllocations {
 public:
  explicit FailingAllocations(std::size_t bytes);
  ~FailingAllocations();
  FailingAllocations(const FailingAllocations&) = delete;
  FailingAllocations& operator=(const FailingAllocations&) = delete;
};

}  // namespace zumbel::test
