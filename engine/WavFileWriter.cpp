#include "WavFileWriter.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zumbel {

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;

int bytesPerSample(SampleFormat f) { return f == SampleFormat::kS16 ? 2 : f == SampleFormat::kS24 ? 3 : 4; }

void put(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
void putTag(std::vector<uint8_t>& out, const char* tag) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(tag[i]));
}

// Round to nearest (ties to even) and clip; NaN is silence.
inline int32_t quantise(float v, float fullScale) {
  float scaled = v * fullScale;
  if (!(scaled == scaled)) return 0;
  scaled = std::clamp(scaled, -fullScale, fullScale - 1.0f);
  return static_cast<int32_t>(std::lrint(scaled));
}

// quantise() for 16 bits in a form compilers vectorise: the same clamp, and the same rounding to
// nearest, ties to even. Added to 1.5 * 2^23, a value of the clamped range lands where floats are
// whole numbers, so the sum is the value rounded as lrint rounds it, and taking the constant away
// again is exact.
inline int16_t toS16(float v) {
  constexpr float kRound = 12582912.0f;
  float scaled = v * 32768.0f;
  scaled = scaled == scaled ? scaled : 0.0f;
  scaled = std::min(std::max(scaled, -32768.0f), 32767.0f);
  return static_cast<int16_t>(static_cast<int32_t>((scaled + kRound) - kRound));
}

inline uint8_t* store(uint8_t* out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) *out++ = static_cast<uint8_t>(value >> (8 * i));
  return out;
}

// Puts the finished temporary in place of the target. Renaming over an existing file makes ext4
// allocate the new file's blocks, start writing them and drop the old file inside the call (its
// safeguard for programs that replace a file without syncing it); rendering again over an earlier
// render spent a quarter of its time there. Swapping the two names instead is just as atomic and
// leaves the new file to be written back like any other; the old one is then removed. Only a
// regular file is swapped out: should anything else have taken the name since it was looked at,
// it is swapped back and the rename below decides. Should even that fail, `from` names what was
// swapped out, and is cleared so that nothing removes it.
bool putInPlace(std::string& from, const std::string& to) {
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) == 0) {
    if (::lstat(from.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      ::unlink(from.c_str());
      return true;
    }
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) != 0) {
      from.clear();
      return false;
    }
  }
  return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

WavFileWriter::~WavFileWriter() { abandon(); }

int64_t WavFileWriter::maxFrames(SampleFormat format) { return int64_t{0xFFFFFF00} / (2 * bytesPerSample(format)); }

void WavFileWriter::fail(int error) {
  if (!failed_) error_ = error;
  failed_ = true;
}

void WavFileWriter::abandon() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  if (!temporary_.empty()) std::remove(temporary_.c_str());
  temporary_.clear();
}

bool WavFileWriter::open(const std::string& path, int sampleRate, SampleFormat format) {
  if (file_) return false;
  target_ = path;
  temporary_.clear();
  struct stat st {};
  // A device or a pipe (say /dev/null) is written as it is; anything else gets a file beside it.
  const bool special = ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
  if (!special) temporary_ = path + ".zumbel-render-" + std::to_string(::getpid());
  failed_ = false;
  error_ = 0;
  if (special) {
    file_ = std::fopen(path.c_str(), "wb");
  } else {
    // The temporary is made new, never opened through whatever already has its name (a link
    // left there would send the render anywhere); a stale one of this process's goes first.
    ::unlink(temporary_.c_str());
    const int fd = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    file_ = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (fd >= 0 && !file_) ::close(fd);
  }
  if (!file_) {
    error_ = errno;
    temporary_.clear();
    return false;
  }
  rate_ = sampleRate;
  format_ = format;
  frames_ = 0;
  if (!writeHeader()) {
    abandon();
    return false;
  }
  return true;
}

bool WavFileWriter::writeHeader() {
  const bool isFloat = format_ == SampleFormat::kF32;
  const int sampleBytes = bytesPerSample(format_);
  const uint32_t data = static_cast<uint32_t>(frames_ * 2 * sampleBytes);
  const uint32_t fmtSize = isFloat ? 18 : 16;
  const uint32_t factSize = isFloat ? 12 : 0;  // non-PCM formats carry a frame count
  std::vector<uint8_t> h;
  putTag(h, "RIFF");
  put(h, 4 + (8 + fmtSize) + factSize + 8 + data + (data & 1), 4);
  putTag(h, "WAVE");
  putTag(h, "fmt ");
  put(h, fmtSize, 4);
  put(h, isFloat ? kFormatFloat : kFormatPcm, 2);
  put(h, 2, 2);
  put(h, static_cast<uint32_t>(rate_), 4);
  put(h, static_cast<uint32_t>(rate_ * 2 * sampleBytes), 4);
  put(h, static_cast<uint32_t>(2 * sampleBytes), 2);
  put(h, static_cast<uint32_t>(8 * sampleBytes), 2);
  if (isFloat) {
    put(h, 0, 2);
    putTag(h, "fact");
    put(h, 4, 4);
    put(h, static_cast<uint32_t>(frames_), 4);
  }
  putTag(h, "data");
  put(h, data, 4);
  if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(h.data(), 1, h.size(), file_) != h.size()) fail(errno);
  return !failed_;
}

bool WavFileWriter::write(const float* left, const float* right, int frames) noexcept {
  if (!file_ || failed_) return false;
  const int sampleBytes = bytesPerSample(format_);
  // A longer render fails rather than lie in its header.
  if (frames_ + frames > maxFrames(format_)) {
    fail(EFBIG);
    return false;
  }
  try {
    buffer_.resize(static_cast<std::size_t>(frames) * 2 * static_cast<std::size_t>(sampleBytes));
  } catch (const std::bad_alloc&) {
    fail(ENOMEM);
    return false;
  }
  uint8_t* out = buffer_.data();
  // One loop per format, so the compiler keeps the per-sample work to a convert and a store.
  switch (format_) {
    case SampleFormat::kS16:
      // In chunks the compiler converts, clamps and rounds eight samples an instruction; the
      // samples' bytes are then the file's on a little-endian host.
      for (int done = 0; done < frames;) {
        constexpr int kChunk = 256;
        const int n = std::min(frames - done, kChunk);
        int16_t chunk[2 * kChunk];
        for (int i = 0; i < n; ++i) {
          chunk[2 * i] = toS16(left[done + i]);
          chunk[2 * i + 1] = toS16(right[done + i]);
        }
        if constexpr (std::endian::native == std::endian::little) {
          std::memcpy(out, chunk, sizeof(int16_t) * 2 * static_cast<std::size_t>(n));
          out += sizeof(int16_t) * 2 * static_cast<std::size_t>(n);
        } else {
          for (int k = 0; k < 2 * n; ++k) out = store(out, static_cast<uint16_t>(chunk[k]), 2);
        }
        done += n;
      }
      break;
    case SampleFormat::kS24:
      for (int i = 0; i < frames; ++i) {
        out = store(out, static_cast<uint32_t>(quantise(left[i], 8388608.0f)), 3);
        out = store(out, static_cast<uint32_t>(quantise(right[i], 8388608.0f)), 3);
      }
      break;
    case SampleFormat::kF32:
      for (int i = 0; i < frames; ++i) {
        for (const float v : {left[i], right[i]}) {
          uint32_t bits;
          static_assert(sizeof(bits) == sizeof(v));
          std::memcpy(&bits, &v, sizeof bits);
          out = store(out, bits, 4);
        }
      }
      break;
  }
  if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) fail(errno);
  frames_ += frames;
  return !failed_;
}

bool WavFileWriter::close() {
  if (!file_) return false;
  // The final sizes go into the header, unless the target cannot seek (a pipe), which keeps the
  // sizes of an empty file.
  const bool seekable = !temporary_.empty() || std::fseek(file_, 0, SEEK_CUR) == 0;
  if (!failed_ && seekable) writeHeader();
  if (std::fflush(file_) != 0) fail(errno);
  if (std::fclose(file_) != 0) fail(errno);
  file_ = nullptr;
  if (!failed_ && !temporary_.empty() && !putInPlace(temporary_, target_)) fail(errno);
  if (failed_) abandon();
  temporary_.clear();
  return !failed_;
}

}  // namespace zumbel
