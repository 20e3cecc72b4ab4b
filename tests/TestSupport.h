#pragma once
// Helpers shared by the tests: a private temporary folder and whole-file I/O.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

// Sanitizers reserve terabytes of address space up front, so a limit on it cannot be tried there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZUMBEL_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ZUMBEL_TEST_SANITIZED 1
#endif
#endif
#ifndef ZUMBEL_TEST_SANITIZED
#define ZUMBEL_TEST_SANITIZED 0
#endif

namespace zumbel::test {

inline constexpr bool kSanitizedBuild = ZUMBEL_TEST_SANITIZED != 0;

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zumbel-test-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // A path inside the folder, with a trailing slash when `name` is empty.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Another working folder while it lives, as a user may start the program from anywhere.
class WorkingFolder {
 public:
  explicit WorkingFolder(const std::string& path) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
  }
  ~WorkingFolder() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
  }
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;

 private:
  std::filesystem::path previous_;
};

inline std::vector<uint8_t> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Lets this process map at most `moreBytes` beyond what it has mapped now, as on a machine whose
// memory is nearly gone. It cannot be undone: for a child process (a death test) only.
inline bool limitAddressSpace(std::size_t moreBytes) {
  std::size_t pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  const auto limit = static_cast<rlim_t>(pages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) + moreBytes);
  const rlimit r{limit, limit};
  return pages > 0 && ::setrlimit(RLIMIT_AS, &r) == 0;
}

// A 16-bit stereo WAV file at 44100 Hz whose data holds `frames` frames of silence, none of them
// written: the file takes no room on disk, but a reader needs memory for all of them.
inline void writeSparseWav(const std::string& path, uint32_t frames) {
  const uint32_t data = frames * 4;
  std::vector<uint8_t> h;
  const auto put = [&](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) h.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  const auto tag = [&](const char* t) { h.insert(h.end(), t, t + 4); };
  tag("RIFF");
  put(36 + data, 4);
  tag("WAVE");
  tag("fmt ");
  for (const auto& [v, bytes] : {std::pair{16u, 4}, {1u, 2}, {2u, 2}, {44100u, 4}, {176400u, 4}, {4u, 2}, {16u, 2}}) {
    put(v, bytes);
  }
  tag("data");
  put(data, 4);
  writeBytes(path, h);
  std::filesystem::resize_file(path, h.size() + data);
}

inline void touch(const std::string& path) { std::ofstream(path) << "RIFF"; }

inline int32_t i32At(const std::vector<uint8_t>& b, std::size_t off) {
  return static_cast<int32_t>(b[off] | (b[off + 1] << 8) | (b[off + 2] << 16) |
                              (static_cast<uint32_t>(b[off + 3]) << 24));
}

inline void putI32(std::vector<uint8_t>& b, std::size_t off, int32_t v) {
  for (int i = 0; i < 4; ++i) b[off + static_cast<std::size_t>(i)] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
}

}  // namespace zumbel::test
