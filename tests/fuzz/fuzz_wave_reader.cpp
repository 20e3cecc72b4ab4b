// Any file handed to the WAV reader: it must never crash, hang, over-allocate or read past the
// file, a failure must leave no block, and a success must give whole stereo frames.

#include <cstdlib>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

#include "EngineConfig.h"
#include "Prompts.h"
#include "WaveReader.h"

using namespace zumbel;

namespace {

// Every input opens, so the user must never be told anything.
class NoPrompts : public Prompts {
 public:
  void showMessage(std::string_view, std::string_view) override { std::abort(); }
};

bool writeAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One reader for every input, as the program keeps one.
  static NoPrompts prompts;
  static WaveReader reader(&prompts);

  const int fd = ::memfd_create("fuzz.wav", MFD_CLOEXEC);
  if (fd < 0) std::abort();
  if (!writeAll(fd, data, size)) std::abort();
  const int rc = reader.ReadWave("/proc/self/fd/" + std::to_string(fd));
  ::close(fd);

  const std::span<const int16_t> block = reader.data();
  if (reader.length() != block.size() * sizeof(int16_t)) std::abort();
  if (rc != 0 && rc != 1) std::abort();
  if (rc == 1) {
    if (!block.empty() || reader.formatTag != 0) std::abort();
    return 0;
  }
  if (block.size() % 2 != 0) std::abort();
  if (static_cast<int64_t>(block.size() / 2) > kMaxSampleFrames) std::abort();
  if (reader.formatTag != 1 || reader.channels < 1 || reader.samplesPerSec < 1) std::abort();
  if (reader.channels == 1) {
    for (size_t i = 0; i < block.size(); i += 2) {
      if (block[i] != block[i + 1]) std::abort();
    }
  }
  return 0;
}
