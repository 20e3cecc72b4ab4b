// Hostile files must not make loading allocate more than a few times their own size. The global
// allocator is replaced here to measure the peak of live heap bytes during a load.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "DrumsFile.h"
#include "SampleListFile.h"
#include "TestSupport.h"

namespace {

std::atomic<std::size_t> g_live{0};
std::atomic<std::size_t> g_peak{0};
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* countedAlloc(std::size_t n) {
  auto* p = static_cast<unsigned char*>(std::malloc(n + kHeader));
  if (p == nullptr) throw std::bad_alloc();
  *reinterpret_cast<std::size_t*>(p) = n;
  const std::size_t live = g_live.fetch_add(n) + n;
  std::size_t peak = g_peak.load();
  while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
  }
  return p + kHeader;
}

void countedFree(void* q) noexcept {
  if (q == nullptr) return;
  auto* p = static_cast<unsigned char*>(q) - kHeader;
  g_live.fetch_sub(*reinterpret_cast<std::size_t*>(p));
  std::free(p);
}

}  // namespace

void* operator new(std::size_t n) { return countedAlloc(n); }
void* operator new[](std::size_t n) { return countedAlloc(n); }
void operator delete(void* p) noexcept { countedFree(p); }
void operator delete[](void* p) noexcept { countedFree(p); }
void operator delete(void* p, std::size_t) noexcept { countedFree(p); }
void operator delete[](void* p, std::size_t) noexcept { countedFree(p); }

namespace zumbel {
namespace {

using test::TempDir;

// The heap a load needs beyond what was live before it.
template <class Fn>
std::size_t peakDuring(Fn&& load) {
  const std::size_t before = g_live.load();
  g_peak.store(before);
  load();
  return g_peak.load() - before;
}

std::vector<uint8_t> setWithOneGroup(uint32_t count, const std::vector<uint8_t>& element) {
  CKitbeatDoc doc;
  doc.OnNewDocument();
  std::vector<uint8_t> b = serializeDrumSet(doc.content());
  std::vector<uint8_t> lists = {0x01, 'G', 0x01, 0x80, 0xFF, 0xFF};
  for (int i = 0; i < 4; ++i) lists.push_back(static_cast<uint8_t>(count >> (8 * i)));
  for (uint32_t i = 0; i < count; ++i) lists.insert(lists.end(), element.begin(), element.end());
  b[22] = 1;
  b.insert(b.begin() + 24, lists.begin(), lists.end());
  return b;
}

// Loads `bytes` as a drum set and returns the peak heap it took, checking the result.
std::size_t loadPeak(const std::vector<uint8_t>& bytes, bool expectOk) {
  TempDir dir;
  test::writeBytes(dir / "k.drums", bytes);
  CKitbeatDoc doc;
  doc.OnNewDocument();
  bool ok = false;
  const std::size_t peak = peakDuring([&] { ok = doc.OnOpenDocument(dir / "k.drums").ok(); });
  EXPECT_EQ(ok, expectOk);
  std::printf("file %zu bytes, load peak %zu bytes (%.2fx)\n", bytes.size(), peak,
              static_cast<double>(peak) / static_cast<double>(bytes.size()));
  return peak;
}

constexpr std::size_t kFixed = 64 * 1024;  // the set's own fields and a copy of them
constexpr std::size_t kFactor = 6;

TEST(LoadMemory, HostileDrumSetsStayWithinAFewTimesTheirSize) {
  // Many empty paths: one byte each in the file.
  const std::vector<uint8_t> empties = setWithOneGroup(500000, {0x00});
  EXPECT_LE(loadPeak(empties, true), kFactor * empties.size() + kFixed);

  // Many one-character paths that grow to three bytes of UTF-8 each.
  const std::vector<uint8_t> euros = setWithOneGroup(300000, {0x01, 0x80});
  EXPECT_LE(loadPeak(euros, true), kFactor * euros.size() + kFixed);

  // One long path whose every byte grows to three bytes of UTF-8.
  std::vector<uint8_t> longPath = {0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x10, 0x00};  // 1 MiB
  longPath.insert(longPath.end(), 1 << 20, 0x80);
  const std::vector<uint8_t> oneLong = setWithOneGroup(1, longPath);
  EXPECT_LE(loadPeak(oneLong, true), kFactor * oneLong.size() + kFixed);

  // One long path in the 16-bit form: two bytes a character in the file, three in memory.
  std::vector<uint8_t> widePath = {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x08, 0x00};  // 512 Ki
  for (int i = 0; i < (1 << 19); ++i) widePath.insert(widePath.end(), {0x2A, 0x59});
  const std::vector<uint8_t> oneWide = setWithOneGroup(1, widePath);
  EXPECT_LE(loadPeak(oneWide, true), kFactor * oneWide.size() + kFixed);

  // Counts and lengths far beyond the file.
  std::vector<uint8_t> hugeCount = setWithOneGroup(0, {});
  hugeCount[30] = 0xF0, hugeCount[31] = 0xFF, hugeCount[32] = 0xFF, hugeCount[33] = 0x7F;
  EXPECT_LE(loadPeak(hugeCount, false), kFactor * hugeCount.size() + kFixed);

  std::vector<uint8_t> hugeString = setWithOneGroup(1, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F});
  EXPECT_LE(loadPeak(hugeString, false), kFactor * hugeString.size() + kFixed);

  std::vector<uint8_t> hugeWide = setWithOneGroup(1, {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F});
  EXPECT_LE(loadPeak(hugeWide, false), kFactor * hugeWide.size() + kFixed);
}

TEST(LoadMemory, HostileSampleListsStayWithinAFewTimesTheirSize) {
  TempDir dir;
  std::vector<uint8_t> b = {0xFF, 0xFF, 0xFF, 0x7F};
  b.insert(b.end(), 400000, 0x00);
  test::writeBytes(dir / "e.slist", b);
  StringList entries;
  const std::size_t peak = peakDuring([&] { LoadSampleList(dir / "e.slist", entries); });
  EXPECT_EQ(entries.size(), 400000u);
  EXPECT_LE(peak, kFactor * b.size() + kFixed);
}

}  // namespace
}  // namespace zumbel
