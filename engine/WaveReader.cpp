#include "WaveReader.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <span>
#include <type_traits>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "EngineConfig.h"
#include "Prompts.h"

namespace zumbel {

namespace {

static_assert(std::is_same_v<int16_t, short>, "libsndfile reads shorts straight into the block");

// Closes the descriptor on every way out. libsndfile is told not to close it, because whether it
// does so when sf_open_fd fails has varied between its versions.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

class SoundFile {
 public:
  explicit SoundFile(SNDFILE* file) : file_(file) {}
  ~SoundFile() {
    if (file_) sf_close(file_);
  }
  SoundFile(const SoundFile&) = delete;
  SoundFile& operator=(const SoundFile&) = delete;
  SNDFILE* get() const { return file_; }

 private:
  SNDFILE* file_;
};

// Opened here rather than by libsndfile so that "cannot be opened" (the one failure the user is
// told about) stays apart from "not a WAV". A folder opens read-only on Linux, hence the check;
// without O_NONBLOCK a named pipe with no writer would hang the open itself (the flag does nothing
// to reads of a regular file).
int openRegularFile(const std::string& path, struct stat& st) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// The little-endian 32-bit value at `at`, when all four bytes lie inside `bytes`.
bool readU32(std::span<const uint8_t> bytes, std::size_t at, uint32_t& value) {
  if (at > bytes.size() || bytes.size() - at < 4) return false;
  value = uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
          uint32_t{bytes[at + 3]} << 24;
  return true;
}

// libsndfile also reads the big-endian "RIFX" form as a WAV; only "RIFF" ... "WAVE" is one here.
// Its chunk walk can also be sent round forever by a chunk claiming more bytes than the file
// holds (a "LIST" of about 4 GB in a file of a few hundred bytes), so the chunks are walked here
// first and such a file is not a WAV. Only "data" may run past the end: that is a recording cut
// short, and it plays what it holds. A chunk of odd size is followed by a zero pad byte; some
// writers leave it out (kits in the wild have such files, and they play), so a non-zero byte there
// is taken as the next chunk's first.
// pread leaves the file offset at 0, where sf_open_fd expects the file to start.
bool isSoundRiffWave(int fd, int64_t fileBytes) {
  uint8_t head[12];
  if (::pread(fd, head, sizeof head, 0) != static_cast<ssize_t>(sizeof head)) return false;
  if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return false;
  int64_t at = sizeof head;
  while (fileBytes - at >= 8) {
    uint8_t header[8];
    uint32_t size = 0;
    if (::pread(fd, header, sizeof header, at) != static_cast<ssize_t>(sizeof header) ||
        !readU32(header, 4, size)) {
      return false;
    }
    const int64_t end = at + 8 + int64_t{size};
    if (end > fileBytes) return std::memcmp(header, "data", 4) == 0;
    uint8_t pad = 1;
    const bool padded = (size & 1) != 0 && end < fileBytes && ::pread(fd, &pad, 1, end) == 1 && pad == 0;
    at = end + (padded ? 1 : 0);
  }
  return true;
}

// AIFF and AIFC: the same walk over big-endian chunks, each padded to an even size. Only the
// sound data ("SSND") may run past the end.
bool isSoundAiff(int fd, int64_t fileBytes) {
  uint8_t head[12];
  if (::pread(fd, head, sizeof head, 0) != static_cast<ssize_t>(sizeof head)) return false;
  if (std::memcmp(head, "FORM", 4) != 0 || (std::memcmp(head + 8, "AIFF", 4) != 0 && std::memcmp(head + 8, "AIFC", 4) != 0)) {
    return false;
  }
  int64_t at = sizeof head;
  while (fileBytes - at >= 8) {
    uint8_t header[8];
    if (::pread(fd, header, sizeof header, at) != static_cast<ssize_t>(sizeof header)) return false;
    const uint32_t size = uint32_t{header[4]} << 24 | uint32_t{header[5]} << 16 | uint32_t{header[6]} << 8 | header[7];
    const int64_t end = at + 8 + int64_t{size};
    if (end > fileBytes) return std::memcmp(header, "SSND", 4) == 0;
    at = end + (size & 1);
  }
  return true;
}

// FLAC is read by libFLAC, which walks its own metadata blocks safely.
bool isFlac(int fd) {
  uint8_t head[4];
  return ::pread(fd, head, sizeof head, 0) == static_cast<ssize_t>(sizeof head) && std::memcmp(head, "fLaC", 4) == 0;
}

// The container libsndfile found must be the one the sniffing above let through.
bool isExpectedContainer(int format, int sniffed) {
  const int major = format & SF_FORMAT_TYPEMASK;
  if (sniffed == SF_FORMAT_WAV) return major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX;
  return major == sniffed;
}

// Which sound file `fd` holds, as far as the reader takes it: 0 for none.
int sniffContainer(int fd, int64_t fileBytes) {
  if (isSoundRiffWave(fd, fileBytes)) return SF_FORMAT_WAV;
  if (isSoundAiff(fd, fileBytes)) return SF_FORMAT_AIFF;
  if (isFlac(fd)) return SF_FORMAT_FLAC;
  return 0;
}

bool isFloatEncoding(int format) {
  const int sub = format & SF_FORMAT_SUBMASK;
  return sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE;
}

uint16_t nominalBits(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
      return 8;
    case SF_FORMAT_PCM_16:
      return 16;
    case SF_FORMAT_PCM_24:
      return 24;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
      return 32;
    case SF_FORMAT_DOUBLE:
      return 64;
    case SF_FORMAT_IMA_ADPCM:
    case SF_FORMAT_MS_ADPCM:
    case SF_FORMAT_G721_32:
      return 4;
    case SF_FORMAT_G723_24:
      return 3;
    case SF_FORMAT_G723_40:
      return 5;
    default:
      return 0;  // GSM 6.10, MPEG and others code blocks, not samples
  }
}

// Full scale ±1.0 is ±32767; beyond it the value clips instead of wrapping around.
int16_t floatToSample(double x) {
  if (std::isnan(x)) return 0;
  const double scaled = std::clamp(x * 32767.0, -32768.0, 32767.0);
  return static_cast<int16_t>(std::lrint(scaled));
}

sf_count_t readFrames(SNDFILE* file, short* to, sf_count_t frames) { return sf_readf_short(file, to, frames); }
sf_count_t readFrames(SNDFILE* file, double* to, sf_count_t frames) { return sf_readf_double(file, to, frames); }

int16_t toSample(short s) { return s; }
int16_t toSample(double x) { return floatToSample(x); }

// Mono and stereo integer encodings decode straight into the block; a mono file is read into its
// first half and then spread out from the end backwards, so no sample is overwritten unread.
sf_count_t readDirect(SNDFILE* file, int fileChannels, sf_count_t frames, int16_t* out) {
  const sf_count_t got = readFrames(file, out, frames);
  if (got <= 0 || fileChannels != 1) return got;
  for (sf_count_t i = got; i-- > 0;) {
    const int16_t s = out[i];
    out[2 * i] = s;
    out[2 * i + 1] = s;
  }
  return got;
}

// Everything else goes through a bounded scratch buffer: only the first two channels are kept,
// and float samples are scaled here rather than by libsndfile, whose own float-to-integer scaling
// either truncates or normalises to the file's peak.
template <typename Sample>
sf_count_t readThroughScratch(SNDFILE* file, int fileChannels, sf_count_t frames, int16_t* out) {
  const auto stride = static_cast<std::size_t>(fileChannels);
  const sf_count_t chunk = static_cast<sf_count_t>(std::max<std::size_t>(1, kReaderScratchSamples / stride));
  std::vector<Sample> scratch(static_cast<std::size_t>(chunk) * stride);
  const std::size_t right = fileChannels == 1 ? 0 : 1;
  sf_count_t done = 0;
  while (done < frames) {
    const sf_count_t want = std::min(chunk, frames - done);
    const sf_count_t got = readFrames(file, scratch.data(), want);
    if (got <= 0) break;
    int16_t* to = out + 2 * done;
    for (std::size_t i = 0; i < static_cast<std::size_t>(got); ++i) {
      const Sample* frame = scratch.data() + i * stride;
      to[2 * i] = toSample(frame[0]);
      to[2 * i + 1] = toSample(frame[right]);
    }
    done += got;
    if (got < want) break;
  }
  return done;
}

FileIdentity identityOf(const struct stat& st) {
  FileIdentity id;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  id.bytes = st.st_size;
  id.modifiedNs = int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
  return id;
}

}  // namespace

bool StatFileIdentity(const std::string& path, FileIdentity& identity) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  identity = identityOf(st);
  return true;
}

DecodedSample DecodeSampleFile(const std::string& path) {
  DecodedSample out;
  struct stat st {};
  FileDescriptor fd(openRegularFile(path, st));
  if (fd.get() < 0) {
    out.status = DecodedSample::Status::kCannotOpen;
    return out;
  }
  out.identity = identityOf(st);
  const int64_t fileBytes = st.st_size;
  const int container = sniffContainer(fd.get(), fileBytes);
  if (container == 0) return out;

  SF_INFO info{};
  SoundFile file(sf_open_fd(fd.get(), SFM_READ, &info, SF_FALSE));
  if (!file.get() || !isExpectedContainer(info.format, container)) return out;
  if (info.channels < 1 || info.samplerate < 1 || info.frames < 0 || info.frames > kMaxSampleFrames) return out;

  // One allocation for the whole block, bounded both by the frame limit and by the file's size.
  // The decoders below write every frame they return, straight into the block.
  const sf_count_t frames = std::min<int64_t>(info.frames, fileBytes * kMaxFramesPerFileByte);
  std::unique_ptr<PcmBlock> block = PcmBlock::allocate(frames);
  if (!block) {
    out.status = DecodedSample::Status::kNoMemory;
    return out;
  }

  sf_count_t got;
  if (isFloatEncoding(info.format)) {
    got = readThroughScratch<double>(file.get(), info.channels, frames, block->writableFrames());
  } else if (info.channels <= 2) {
    got = readDirect(file.get(), info.channels, frames, block->writableFrames());
  } else {
    got = readThroughScratch<short>(file.get(), info.channels, frames, block->writableFrames());
  }
  if (sf_error(file.get()) != SF_ERR_NO_ERROR) return out;
  // A stream shorter than it claims gives the frames that are there; the size bound above keeps
  // the spare small.
  block->truncate(std::max<sf_count_t>(got, 0));

  out.status = DecodedSample::Status::kOk;
  out.pcm = std::move(block);
  out.channels = static_cast<uint16_t>(info.channels);
  out.samplesPerSec = static_cast<uint32_t>(info.samplerate);
  out.bitsPerSample = nominalBits(info.format);
  return out;
}

WaveReader::WaveReader(Prompts* prompts) : prompts_(prompts) {}

int WaveReader::ReadWave(const std::string& path) {
  release();
  clearFormat();
  DecodedSample sample;
  try {
    sample = DecodeSampleFile(path);
  } catch (const std::bad_alloc&) {
    sample.status = DecodedSample::Status::kNoMemory;
  }
  if (sample.status == DecodedSample::Status::kCannotOpen && prompts_) {
    prompts_->showMessage(kCouldNotOpenFile, kAppCaption);
  }
  if (sample.status == DecodedSample::Status::kNoMemory && prompts_) {
    prompts_->showMessage(NotEnoughMemoryText({path}), kAppCaption);
  }
  if (sample.status != DecodedSample::Status::kOk) return 1;
  block_ = std::move(sample.pcm);
  formatTag = 1;
  channels = sample.channels;
  samplesPerSec = sample.samplesPerSec;
  bitsPerSample = sample.bitsPerSample;
  blockAlign = static_cast<uint16_t>(channels * bitsPerSample / 8);
  avgBytesPerSec = static_cast<uint32_t>(
      std::min<uint64_t>(uint64_t{samplesPerSec} * blockAlign, std::numeric_limits<uint32_t>::max()));
  return 0;
}

std::span<const int16_t> WaveReader::data() const {
  if (!block_) return {};
  return {block_->frames(), static_cast<std::size_t>(2 * block_->frameCount())};
}

std::shared_ptr<const PcmBlock> WaveReader::takeBlock() { return std::move(block_); }

void WaveReader::release() { block_.reset(); }

uint32_t WaveReader::length() const {
  return block_ ? static_cast<uint32_t>(block_->frameCount() * 2 * sizeof(int16_t)) : 0;
}

void WaveReader::clearFormat() {
  formatTag = 0;
  channels = 0;
  samplesPerSec = 0;
  avgBytesPerSec = 0;
  blockAlign = 0;
  bitsPerSample = 0;
}

std::string NotEnoughMemoryText(const std::vector<std::string>& files) {
  if (files.size() == 1) return "Not enough memory to load " + files[0] + ".";
  std::string text = "Not enough memory to load these samples:";
  const std::size_t named = std::min(files.size(), kMaxFilesNamed);
  for (std::size_t i = 0; i < named; ++i) text += "\n" + files[i];
  if (files.size() > named) text += "\n... and " + std::to_string(files.size() - named) + " more";
  return text;
}

}  // namespace zumbel
