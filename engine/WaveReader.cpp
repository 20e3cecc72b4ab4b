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

#include <sys/stat.h>

#include "EngineConfig.h"
#include "Prompts.h"
#include "SampleFile.h"

namespace zumbel {

namespace {

static_assert(std::is_same_v<int16_t, short>, "libsndfile reads shorts straight into the block");

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

// Mono and stereo integer encodings decode straight into a block of as many channels. The file
// is read in steps so that a stopped load ends a long file's read at the next one.
sf_count_t readDirect(SNDFILE* file, int fileChannels, sf_count_t frames, int16_t* out, const std::atomic<bool>* stop) {
  sf_count_t got = 0;
  while (got < frames && !stopRequested(stop)) {
    const sf_count_t want = std::min<sf_count_t>(kReaderStepFrames, frames - got);
    const sf_count_t step = readFrames(file, out + got * fileChannels, want);
    if (step <= 0) break;
    got += step;
    if (step < want) break;
  }
  return got;
}

// Everything else goes through a bounded scratch buffer: only the first two channels are kept,
// and float samples are scaled here rather than by libsndfile, whose own float-to-integer scaling
// either truncates or normalises to the file's peak.
template <typename Sample>
sf_count_t readThroughScratch(SNDFILE* file, int fileChannels, sf_count_t frames, int16_t* out,
                              const std::atomic<bool>* stop) {
  const auto stride = static_cast<std::size_t>(fileChannels);
  const sf_count_t chunk = static_cast<sf_count_t>(std::max<std::size_t>(1, kReaderScratchSamples / stride));
  std::vector<Sample> scratch(static_cast<std::size_t>(chunk) * stride);
  const std::size_t right = fileChannels == 1 ? 0 : 1;
  sf_count_t done = 0;
  while (done < frames && !stopRequested(stop)) {
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

std::string SampleFileProblem(const std::string& path) {
  const SampleFile file = openSampleFile(path);
  switch (file.status()) {
    case SampleFile::Status::kOpen: break;
    case SampleFile::Status::kCannotOpen:
      // A folder or a device opens, but is no file to read a sample from.
      return file.openError() != 0 ? "cannot be opened (" + std::string(std::strerror(file.openError())) + ")"
                                   : "is not a file";
    case SampleFile::Status::kNotSound:
    case SampleFile::Status::kStopped: return "is not a WAV, AIFF or FLAC sound file";
  }
  if (file.info().frames > kMaxSampleFrames) return "is too long for a sample";
  return {};
}

DecodedSample DecodeSampleFile(const std::string& path, const std::atomic<bool>* stop) {
  DecodedSample out;
  SampleFile file = openSampleFile(path, stop);
  if (file.status() == SampleFile::Status::kCannotOpen) {
    out.status = DecodedSample::Status::kCannotOpen;
    return out;
  }
  if (file.status() == SampleFile::Status::kStopped) return out;
  out.identity = identityOf(file.fileStat());
  if (file.status() != SampleFile::Status::kOpen) return out;
  const SF_INFO& info = file.info();
  const int64_t fileBytes = file.fileStat().st_size;
  if (info.frames > kMaxSampleFrames) return out;

  // One allocation for the whole block, bounded both by the frame limit and by the file's size.
  // The decoders below write every frame they return, straight into the block.
  const sf_count_t frames = std::min<int64_t>(info.frames, fileBytes * kMaxFramesPerFileByte);
  const bool direct = !isFloatEncoding(info.format) && info.channels <= 2;
  std::unique_ptr<PcmBlock> block = PcmBlock::allocate(frames, direct ? info.channels : 2);
  if (!block) {
    out.status = DecodedSample::Status::kNoMemory;
    return out;
  }

  sf_count_t got;
  if (isFloatEncoding(info.format)) {
    got = readThroughScratch<double>(file.get(), info.channels, frames, block->writableFrames(), stop);
  } else if (direct) {
    got = readDirect(file.get(), info.channels, frames, block->writableFrames(), stop);
  } else {
    got = readThroughScratch<short>(file.get(), info.channels, frames, block->writableFrames(), stop);
  }
  if (sf_error(file.get()) != SF_ERR_NO_ERROR || stopRequested(stop)) return out;
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
    prompts_->showMessage(kCouldNotOpenFile, kCouldNotOpenFileCaption);
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
  const auto frames = static_cast<std::size_t>(block_->frameCount());
  if (block_->channels() == 2) return {block_->frames(), 2 * frames};
  // A mono block spread out, once, for callers that read stereo frames.
  if (stereo_.size() != 2 * frames) {
    stereo_.resize(2 * frames);
    for (std::size_t i = 0; i < frames; ++i) stereo_[2 * i] = stereo_[2 * i + 1] = block_->frames()[i];
  }
  return stereo_;
}

std::shared_ptr<const PcmBlock> WaveReader::takeBlock() {
  stereo_.clear();
  return std::move(block_);
}

void WaveReader::release() {
  block_.reset();
  stereo_.clear();
}

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
