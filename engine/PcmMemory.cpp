#include "PcmMemory.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>
#include <utility>

#include "EngineConfig.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZUMBEL_PCM_ON_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZUMBEL_PCM_ON_HEAP 1
#endif
#endif

namespace zumbel {

struct PcmMemory::Region {
  void* base;
  std::size_t bytes;
  std::atomic<int> users;  // live blocks, plus one while it is the chunk small blocks come from
};

namespace {

std::size_t roundUp(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

#ifndef ZUMBEL_PCM_ON_HEAP
constexpr std::size_t kSmallPage = 4096;

// A mapping of `bytes` (a multiple of the small page) starting on a huge-page boundary.
PcmMemory::Region* mapRegion(std::size_t bytes) {
  const std::size_t over = bytes + kPcmHugePageBytes;
  void* raw = ::mmap(nullptr, over, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = roundUp(start, kPcmHugePageBytes);
  if (aligned > start) ::munmap(raw, aligned - start);
  const std::size_t after = start + over - (aligned + bytes);
  if (after > 0) ::munmap(reinterpret_cast<void*>(aligned + bytes), after);
  void* base = reinterpret_cast<void*>(aligned);
  // Only advice: without transparent huge pages the mapping works with small pages.
  ::madvise(base, bytes, MADV_HUGEPAGE);
  auto* region = new (std::nothrow) PcmMemory::Region{base, bytes, {1}};
  if (!region) ::munmap(base, bytes);
  return region;
}

#endif

void dropUser(PcmMemory::Region* region) noexcept {
  if (region->users.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  ::munmap(region->base, region->bytes);
  delete region;
}

#ifndef ZUMBEL_PCM_ON_HEAP

// The chunk small blocks are cut from, in order.
struct SharedChunk {
  std::mutex mutex;
  PcmMemory::Region* region = nullptr;
  std::size_t used = 0;
};

SharedChunk& sharedChunk() {
  static SharedChunk chunk;
  return chunk;
}
#endif

}  // namespace

PcmMemory PcmMemory::allocate(std::size_t bytes) noexcept {
  bytes = roundUp(std::max<std::size_t>(bytes, 1), alignof(std::max_align_t));
#ifdef ZUMBEL_PCM_ON_HEAP
  void* heap = std::malloc(bytes);
  return heap ? PcmMemory(static_cast<int16_t*>(heap), nullptr) : PcmMemory();
#else
  if (bytes > kPcmSharedBlockMaxBytes) {
    Region* own = mapRegion(roundUp(bytes, kSmallPage));
    return own ? PcmMemory(static_cast<int16_t*>(own->base), own) : PcmMemory();
  }
  SharedChunk& chunk = sharedChunk();
  std::lock_guard lock(chunk.mutex);
  if (!chunk.region || chunk.region->bytes - chunk.used < bytes) {
    Region* fresh = mapRegion(kPcmHugePageBytes);
    if (!fresh) return {};
    if (chunk.region) dropUser(chunk.region);
    chunk.region = fresh;
    chunk.used = 0;
  }
  auto* data = reinterpret_cast<int16_t*>(static_cast<char*>(chunk.region->base) + chunk.used);
  chunk.used += bytes;
  chunk.region->users.fetch_add(1, std::memory_order_relaxed);
  return PcmMemory(data, chunk.region);
#endif
}

PcmMemory::~PcmMemory() { reset(); }

PcmMemory::PcmMemory(PcmMemory&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), region_(std::exchange(other.region_, nullptr)) {}

PcmMemory& PcmMemory::operator=(PcmMemory&& other) noexcept {
  if (this != &other) {
    reset();
    data_ = std::exchange(other.data_, nullptr);
    region_ = std::exchange(other.region_, nullptr);
  }
  return *this;
}

void PcmMemory::reset() noexcept {
  if (!data_) return;
  if (region_) {
    dropUser(region_);
  } else {
    std::free(data_);
  }
  data_ = nullptr;
  region_ = nullptr;
}

}  // namespace zumbel
