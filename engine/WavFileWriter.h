#pragma once
// Writes float stereo frames to a WAV file as they are rendered, as 16-bit or 24-bit PCM or
// 32-bit float. The header holds nothing but the format and the sizes, so the same frames
// always give the same bytes. A regular file is written beside the target and put in its place
// only when complete, so a failed render leaves an existing file as it was.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zumbel {

enum class SampleFormat { kS16, kS24, kF32 };

class WavFileWriter {
 public:
  WavFileWriter() = default;
  ~WavFileWriter();  // abandons an unfinished file
  WavFileWriter(const WavFileWriter&) = delete;
  WavFileWriter& operator=(const WavFileWriter&) = delete;

  // False when the file cannot be created.
  bool open(const std::string& path, int sampleRate, SampleFormat format);
  // Integer formats round to the nearest step and clip at full scale. Memory running out is a
  // failure like any other (ENOMEM), never an exception.
  bool write(const float* left, const float* right, int frames) noexcept;
  // Writes the final sizes and puts the file in place; false on any error along the way, in
  // which case nothing is left behind.
  bool close();
  // Drops an unfinished file: nothing is left behind, and an existing target stays as it was.
  void abandon();

  int64_t framesWritten() const { return frames_; }
  // The errno of the first failure (EFBIG for more frames than maxFrames); 0 before any.
  int errorNumber() const { return error_; }

  // The most frames a file of `format` holds: a RIFF file counts its bytes in 32 bits.
  static int64_t maxFrames(SampleFormat format);

 private:
  bool writeHeader();
  void fail(int error);

  std::FILE* file_ = nullptr;
  std::string target_;
  std::string temporary_;  // empty when writing straight to the target (a device, a pipe)
  int rate_ = 0;
  SampleFormat format_ = SampleFormat::kS16;
  int64_t frames_ = 0;
  bool failed_ = false;
  int error_ = 0;
  std::vector<uint8_t> buffer_;
};

}  // namespace zumbel
