// Linked into every engine test program: any heap allocation or free made while a RealtimeScope
// is open (that is, inside the audio path) fails the running test. It also lets a test make
// allocations fail, as on a machine whose memory has run out.

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <thread>

#include <gtest/gtest.h>
#include <gtest/gtest-spi.h>

#include "AllocationFailures.h"
#include "RealtimeScope.h"

namespace {

thread_local bool tReporting = false;

// Set by zumbel::test::FailingAllocations.
std::atomic<std::size_t> gFailingFrom{SIZE_MAX};
std::atomic<std::thread::id> gSpared{};

bool failsForWantOfMemory(std::size_t size) {
  return size >= gFailingFrom.load(std::memory_order_relaxed) &&
         std::this_thread::get_id() != gSpared.load(std::memory_order_relaxed);
}

void* allocate(std::size_t size) {
  if (zumbel::RealtimeScope::active() && !tReporting) {
    tReporting = true;
    ADD_FAILURE() << "the audio path allocated " << size << " bytes";
    tReporting = false;
  }
  if (failsForWantOfMemory(size)) return nullptr;
  if (size == 0) size = 1;
  return std::malloc(size);
}

void* allocateAligned(std::size_t size, std::size_t alignment) {
  if (zumbel::RealtimeScope::active() && !tReporting) {
    tReporting = true;
    ADD_FAILURE() << "the audio path allocated " << size << " aligned bytes";
    tReporting = false;
  }
  if (failsForWantOfMemory(size)) return nullptr;
  if (size == 0) size = 1;
  return std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
}

void release(void* p) noexcept {
  if (p != nullptr && zumbel::RealtimeScope::active() && !tReporting) {
    tReporting = true;
    ADD_FAILURE() << "the audio path freed memory";
    tReporting = false;
  }
  std::free(p);
}

}  // namespace

void* operator new(std::size_t size) {
  if (void* p = allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new(std::size_t size, std::align_val_t a) {
  if (void* p = allocateAligned(size, static_cast<std::size_t>(a))) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t a) { return operator new(size, a); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { release(p); }

zumbel::test::FailingAllocations::FailingAllocations(std::size_t bytes) {
  gSpared.store(std::this_thread::get_id());
  gFailingFrom.store(bytes);
}

zumbel::test::FailingAllocations::~FailingAllocations() { gFailingFrom.store(SIZE_MAX); }

// The guard itself must be able to fail, on an allocation and on a free.
TEST(AllocationGuard, CatchesAnAllocationInTheAudioPath) {
  int* volatile escaped = nullptr;  // volatile: the pair cannot be optimised away
  EXPECT_NONFATAL_FAILURE(
      {
        const zumbel::RealtimeScope audio;
        escaped = new int(7);
      },
      "the audio path allocated");
  EXPECT_NONFATAL_FAILURE(
      {
        const zumbel::RealtimeScope audio;
        delete escaped;
      },
      "the audio path freed memory");
}
