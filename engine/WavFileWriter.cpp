#include "WavFileWriter.h"

#include <cmath>
#include <cstring>

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

int32_t quantise(float v, int32_t fullScale) {
  const double scaled = std::nearbyint(static_cast<double>(v) * fullScale);
  if (!(scaled >= -fullScale)) return std::isnan(scaled) ? 0 : -fullScale;  // NaN is silence
  return scaled > fullScale - 1 ? fullScale - 1 : static_cast<int32_t>(scaled);
}

}  // namespace

WavFileWriter::~WavFileWriter() {
  if (file_) std::fclose(file_);
}

bool WavFileWriter::open(const std::string& path, int sampleRate, SampleFormat format) {
  if (file_) return false;
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) return false;
  rate_ = sampleRate;
  format_ = format;
  frames_ = 0;
  failed_ = false;
  return writeHeader();
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
  if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(h.data(), 1, h.size(), file_) != h.size()) failed_ = true;
  return !failed_;
}

bool WavFileWriter::write(const float* left, const float* right, int frames) {
  if (!file_ || failed_) return false;
  // A RIFF file counts its bytes in 32 bits; a longer render fails rather than lie in its header.
  if ((frames_ + frames) * 2 * bytesPerSample(format_) > int64_t{0xFFFFFF00}) {
    failed_ = true;
    return false;
  }
  buffer_.clear();
  for (int i = 0; i < frames; ++i) {
    for (const float v : {left[i], right[i]}) {
      switch (format_) {
        case SampleFormat::kS16:
          put(buffer_, static_cast<uint32_t>(quantise(v, 32768)), 2);
          break;
        case SampleFormat::kS24:
          put(buffer_, static_cast<uint32_t>(quantise(v, 8388608)), 3);
          break;
        case SampleFormat::kF32: {
          uint32_t bits;
          static_assert(sizeof(bits) == sizeof(v));
          std::memcpy(&bits, &v, sizeof bits);
          put(buffer_, bits, 4);
          break;
        }
      }
    }
  }
  if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) failed_ = true;
  frames_ += frames;
  return !failed_;
}

bool WavFileWriter::close() {
  if (!file_) return false;
  const int64_t dataBytes = frames_ * 2 * bytesPerSample(format_);
  if (dataBytes & 1) failed_ = failed_ || std::fputc(0, file_) == EOF;  // chunks are word-aligned
  if (!failed_) writeHeader();
  if (std::fflush(file_) != 0) failed_ = true;
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  return !failed_;
}

}  // namespace zumbel
