#pragma once
// Where PCM blocks live. A set's samples are tens or hundreds of megabytes written once and then
// only read, so they come in 2 MB-aligned mappings the kernel may back with huge pages: one page
// fault and one TLB entry per 2 MB instead of per 4 KB. Opening a set spent most of its time
// faulting in fresh pages one at a time. Small blocks share such a mapping (a mapping goes when
// its last block does); a large block gets one of its own.
//
// Thread-safe: decoding threads allocate at once. Under AddressSanitizer every block is an
// ordinary heap allocation, so reads past a block's end are still caught.

#include <cstddef>
#include <cstdint>

namespace zumbel {

class PcmMemory {
 public:
  PcmMemory() noexcept = default;
  // `bytes` of uninitialised memory, aligned for any sample type; empty when memory runs out.
  static PcmMemory allocate(std::size_t bytes) noexcept;
  ~PcmMemory();
  PcmMemory(PcmMemory&& other) noexcept;
  PcmMemory& operator=(PcmMemory&& other) noexcept;
  PcmMemory(const PcmMemory&) = delete;
  PcmMemory& operator=(const PcmMemory&) = delete;

  int16_t* get() const noexcept { return data_; }
  explicit operator bool() const noexcept { return data_ != nullptr; }

  struct Region;

 private:
  PcmMemory(int16_t* data, Region* region) noexcept : data_(data), region_(region) {}
  void reset() noexcept;

  int16_t* data_ = nullptr;
  Region* region_ = nullptr;  // null for a plain heap block
};

}  // namespace zumbel
