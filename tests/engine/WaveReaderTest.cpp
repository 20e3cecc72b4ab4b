#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

#include "EngineConfig.h"
#include "Prompts.h"
#include "SampleFileLimits.h"
#include "SampleReadAhead.h"
#include "TestSupport.h"
#include "WaveReader.h"

namespace zumbel {
namespace {

using test::TempDir;
using Bytes = std::vector<uint8_t>;

class RecordingPrompts : public Prompts {
 public:
  void showMessage(std::string_view text, std::string_view caption) override {
    shown.emplace_back(std::string(text), std::string(caption));
  }
  std::vector<std::pair<std::string, std::string>> shown;
};

void put(Bytes& b, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void putId(Bytes& b, const char* id) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(id[i]));
}

struct Chunk {
  const char* id;
  Bytes body;
};

// A RIFF file of the given form type; odd chunks get their pad byte.
Bytes riff(const char* form, const std::vector<Chunk>& chunks) {
  Bytes b;
  putId(b, "RIFF");
  put(b, 0, 4);
  putId(b, form);
  for (const Chunk& c : chunks) {
    putId(b, c.id);
    put(b, static_cast<uint32_t>(c.body.size()), 4);
    b.insert(b.end(), c.body.begin(), c.body.end());
    if (c.body.size() % 2) b.push_back(0);
  }
  test::putI32(b, 4, static_cast<int32_t>(b.size() - 8));
  return b;
}

Bytes fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
  Bytes b;
  const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
  put(b, tag, 2);
  put(b, channels, 2);
  put(b, rate, 4);
  put(b, rate * align, 4);
  put(b, align, 2);
  put(b, bits, 2);
  return b;
}

Bytes wav(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, const Bytes& data) {
  return riff("WAVE", {{"fmt ", fmt(tag, channels, rate, bits)}, {"data", data}});
}

Bytes samples16(const std::vector<int16_t>& s) {
  Bytes b;
  for (int16_t v : s) put(b, static_cast<uint16_t>(v), 2);
  return b;
}

template <typename Float>
Bytes floats(const std::vector<Float>& values) {
  Bytes b(values.size() * sizeof(Float));
  std::memcpy(b.data(), values.data(), b.size());  // the test host is little-endian, like WAV
  return b;
}

std::vector<int16_t> stereoOf(const std::vector<int16_t>& mono) {
  std::vector<int16_t> out;
  for (int16_t s : mono) out.insert(out.end(), {s, s});
  return out;
}

constexpr uint16_t kPcm = 1, kFloat = 3, kALaw = 6, kMuLaw = 7;

class WaveReaderTest : public ::testing::Test {
 protected:
  // Writes `bytes` as a file and reads it; the reader's result code.
  int read(const Bytes& bytes, const std::string& name = "t.wav") {
    test::writeBytes(dir / name, bytes);
    return reader.ReadWave(dir / name);
  }
  void expectEmpty() {
    EXPECT_EQ(reader.length(), 0u);
    EXPECT_TRUE(reader.data().empty());
  }
  std::vector<int16_t> pcm() const { return {reader.data().begin(), reader.data().end()}; }

  TempDir dir;
  RecordingPrompts prompts;
  WaveReader reader{&prompts};
};

TEST_F(WaveReaderTest, MonoIsDoubledIntoBothChannels) {
  std::vector<int16_t> mono;
  for (int i = 0; i < 500; ++i) mono.push_back(static_cast<int16_t>(i * 131 - 32000));
  ASSERT_EQ(read(wav(kPcm, 1, 44100, 16, samples16(mono))), 0);
  EXPECT_EQ(reader.length(), 2000u);  // 1000 data bytes
  EXPECT_EQ(pcm(), stereoOf(mono));
  EXPECT_EQ(reader.formatTag, 1);
  EXPECT_EQ(reader.channels, 1);
  EXPECT_EQ(reader.samplesPerSec, 44100u);
  EXPECT_EQ(reader.bitsPerSample, 16);
  EXPECT_EQ(reader.blockAlign, 2);
  EXPECT_EQ(reader.avgBytesPerSec, 88200u);
  EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(WaveReaderTest, StereoIsUnchangedAndTheRateIsKept) {
  const std::vector<int16_t> stereo{1, -1, 32767, -32768, 1234, -4321, 0, 7};
  ASSERT_EQ(read(wav(kPcm, 2, 22050, 16, samples16(stereo))), 0);
  EXPECT_EQ(pcm(), stereo);
  EXPECT_EQ(reader.length(), 16u);
  EXPECT_EQ(reader.samplesPerSec, 22050u);
  EXPECT_EQ(reader.channels, 2);
  EXPECT_EQ(reader.blockAlign, 4);
  EXPECT_EQ(reader.avgBytesPerSec, 88200u);
}

TEST_F(WaveReaderTest, EveryPcmWidthBecomesSixteenBits) {
  // 8-bit samples are unsigned around 128.
  ASSERT_EQ(read(wav(kPcm, 1, 8000, 8, {0, 128, 255, 1, 129})), 0);
  EXPECT_EQ(pcm(), stereoOf({-32768, 0, 32512, -32512, 256}));
  EXPECT_EQ(reader.bitsPerSample, 8);
  EXPECT_EQ(reader.blockAlign, 1);

  Bytes b24;
  for (uint32_t v : {0x7FFFFFu, 0x800000u, 0x000100u, 0x123456u, 0xFFFFFFu}) put(b24, v, 3);
  ASSERT_EQ(read(wav(kPcm, 1, 48000, 24, b24)), 0);
  EXPECT_EQ(pcm(), stereoOf({32767, -32768, 1, 0x1234, -1}));
  EXPECT_EQ(reader.bitsPerSample, 24);
  EXPECT_EQ(reader.blockAlign, 3);
  EXPECT_EQ(reader.avgBytesPerSec, 144000u);

  Bytes b32;
  for (uint32_t v : {0x7FFFFFFFu, 0x80000000u, 0x12345678u, 0xFFFF0000u}) put(b32, v, 4);
  ASSERT_EQ(read(wav(kPcm, 2, 48000, 32, b32)), 0);
  EXPECT_EQ(pcm(), (std::vector<int16_t>{32767, -32768, 0x1234, -1}));
  EXPECT_EQ(reader.bitsPerSample, 32);
  EXPECT_EQ(reader.blockAlign, 8);
}

TEST_F(WaveReaderTest, FloatFullScaleIsSixteenBitFullScaleAndClips) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<int16_t> expected{0, 8192, -8192, 32767, -32767, 32767, -32768, 32767, -32768, 0, 3277};
  const std::vector<double> values{0, 0.25, -0.25, 1, -1, 2, -2, inf, -inf, std::nan(""), 0.1};

  std::vector<float> narrow(values.begin(), values.end());
  ASSERT_EQ(read(wav(kFloat, 1, 44100, 32, floats(narrow))), 0);
  EXPECT_EQ(pcm(), stereoOf(expected));
  EXPECT_EQ(reader.formatTag, 1);
  EXPECT_EQ(reader.bitsPerSample, 32);

  ASSERT_EQ(read(wav(kFloat, 1, 44100, 64, floats(values))), 0);
  EXPECT_EQ(pcm(), stereoOf(expected));
  EXPECT_EQ(reader.bitsPerSample, 64);
  EXPECT_EQ(reader.blockAlign, 8);
}

TEST_F(WaveReaderTest, CompandedSamplesAreDecoded) {
  // G.711 code words: silence, the largest positive and the largest negative magnitude.
  ASSERT_EQ(read(wav(kMuLaw, 1, 8000, 8, {0xFF, 0x80, 0x00, 0x7F})), 0);
  EXPECT_EQ(pcm(), stereoOf({0, 32124, -32124, 0}));
  EXPECT_EQ(reader.formatTag, 1);
  EXPECT_EQ(reader.bitsPerSample, 8);

  ASSERT_EQ(read(wav(kALaw, 1, 8000, 8, {0xD5, 0x55, 0xAA, 0x2A})), 0);
  EXPECT_EQ(pcm(), stereoOf({8, -8, 32256, -32256}));
}

// libsndfile writes the ADPCM files; the reader must give back the signal, not the code bytes.
TEST_F(WaveReaderTest, AdpcmDecodesWithinTheCodecsError) {
  constexpr int kFrames = 4000;
  std::vector<short> sine(kFrames);
  for (int i = 0; i < kFrames; ++i) sine[static_cast<std::size_t>(i)] = static_cast<short>(std::lrint(12000 * std::sin(i * 0.05)));

  for (int codec : {SF_FORMAT_IMA_ADPCM, SF_FORMAT_MS_ADPCM}) {
    SCOPED_TRACE(codec);
    const std::string path = dir / "adpcm.wav";
    SF_INFO info{};
    info.samplerate = 11025;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | codec;
    SNDFILE* out = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(out, nullptr) << sf_strerror(nullptr);
    ASSERT_EQ(sf_writef_short(out, sine.data(), kFrames), kFrames);
    sf_close(out);

    ASSERT_EQ(reader.ReadWave(path), 0);
    EXPECT_EQ(reader.samplesPerSec, 11025u);
    EXPECT_EQ(reader.bitsPerSample, 4);
    const std::vector<int16_t> got = pcm();
    // The encoder pads the last block, so there may be a few more frames than were written.
    ASSERT_GE(got.size(), 2u * kFrames);
    double squares = 0;
    for (std::size_t i = 0; i < kFrames; ++i) {
      ASSERT_EQ(got[2 * i], got[2 * i + 1]) << i;
      squares += std::pow(got[2 * i] - sine[i], 2);
    }
    EXPECT_LT(std::sqrt(squares / kFrames), 12000 * 0.03);

    // Cut into the code blocks, the file gives a shorter block of the same signal. libsndfile
    // decodes a block cut short as if its missing bytes were zero, so only the blocks before
    // the cut must match.
    const std::vector<int16_t> whole = pcm();
    std::filesystem::resize_file(path, std::filesystem::file_size(path) - 300);
    ASSERT_EQ(reader.ReadWave(path), 0);
    const std::vector<int16_t> cut = pcm();
    ASSERT_GT(cut.size(), whole.size() / 2);
    ASSERT_LT(cut.size(), whole.size());
    EXPECT_TRUE(std::equal(cut.begin(), cut.begin() + std::ssize(whole) / 2, whole.begin()));
  }
}

// Kits from other samplers come as AIFF and FLAC as often as WAV: the same samples read the same,
// whatever the container, and a header claiming more than the file holds is refused as in a WAV.
TEST_F(WaveReaderTest, AiffAndFlacReadLikeWav) {
  std::vector<short> stereo;
  for (int i = 0; i < 600; ++i) stereo.push_back(static_cast<short>(i * 37 - 11000));
  for (int container : {SF_FORMAT_AIFF | SF_FORMAT_PCM_24, SF_FORMAT_FLAC | SF_FORMAT_PCM_16}) {
    SCOPED_TRACE(container);
    const std::string path = dir / "kit.sound";
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = container;
    SNDFILE* out = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(out, nullptr) << sf_strerror(nullptr);
    ASSERT_EQ(sf_writef_short(out, stereo.data(), 300), 300);
    sf_close(out);
    ASSERT_EQ(reader.ReadWave(path), 0);
    EXPECT_EQ(reader.samplesPerSec, 48000u);
    EXPECT_EQ(pcm(), std::vector<int16_t>(stereo.begin(), stereo.end()));
  }
  // An AIFF whose comment chunk claims 4 GB: refused before libsndfile walks it.
  Bytes aiff{'F', 'O', 'R', 'M', 0, 0, 0, 30, 'A', 'I', 'F', 'F', 'C', 'O', 'M', 'T', 0xFF, 0xFF, 0xFF, 0x00};
  aiff.resize(38, 0);
  EXPECT_EQ(read(aiff, "bad.aiff"), 1);
  expectEmpty();
}

// An MP3 stream's frame count is whatever its header claims, not what the data holds.
TEST_F(WaveReaderTest, AStreamClaimingMoreThanItHoldsIsSizedByTheFile) {
  constexpr int kFrames = 16000;
  const std::string mp3Path = dir / "x.mp3";
  SF_INFO info{};
  info.samplerate = 8000;
  info.channels = 1;
  info.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
  SNDFILE* out = sf_open(mp3Path.c_str(), SFM_WRITE, &info);
  if (!out) GTEST_SKIP() << "this libsndfile writes no MP3";
  std::vector<short> sine(kFrames);
  for (int i = 0; i < kFrames; ++i) sine[static_cast<std::size_t>(i)] = static_cast<short>(8000 * std::sin(i * 0.05));
  ASSERT_EQ(sf_writef_short(out, sine.data(), kFrames), kFrames);
  sf_close(out);
  Bytes stream = test::readBytes(mp3Path);

  // WAVE_FORMAT_MPEGLAYER3 with its 12 extra bytes.
  Bytes mp3Fmt = fmt(0x55, 1, 8000, 0);
  put(mp3Fmt, 12, 2);
  for (uint32_t v : {1u, 2u, 144u, 1u, 1393u}) put(mp3Fmt, v, v == 2u ? 4 : 2);
  auto mp3Wav = [&](const Bytes& data) { return riff("WAVE", {{"fmt ", mp3Fmt}, {"data", data}}); };

  ASSERT_EQ(read(mp3Wav(stream)), 0);
  EXPECT_EQ(reader.data().size(), 2u * kFrames);
  EXPECT_EQ(reader.samplesPerSec, 8000u);

  // Cut in half, the stream still claims every frame but gives only those it holds.
  const auto half = std::ssize(stream) / 2;
  ASSERT_EQ(read(mp3Wav(Bytes(stream.begin(), stream.begin() + half))), 0);
  EXPECT_GT(reader.data().size(), 2u * kFrames / 8);
  EXPECT_LT(reader.data().size(), 2u * kFrames * 3 / 4);
  EXPECT_EQ(reader.length(), 2 * reader.data().size());

  // A header claiming about 2^27 frames in a few kilobytes must not size the block by the claim.
  std::size_t tag = 0;
  while (tag + 12 < stream.size() && std::memcmp(&stream[tag], "Xing", 4) != 0 &&
         std::memcmp(&stream[tag], "Info", 4) != 0) {
    ++tag;
  }
  ASSERT_LT(tag + 12, static_cast<std::size_t>(half)) << "no frame-count header in the encoder's output";
  ASSERT_TRUE(stream[tag + 7] & 1) << "the header carries no frame count";
  for (int i = 0; i < 4; ++i) stream[tag + 8 + static_cast<std::size_t>(i)] = static_cast<uint8_t>(230000u >> (24 - 8 * i));
  const Bytes claiming = mp3Wav(Bytes(stream.begin(), stream.begin() + half));
  ASSERT_EQ(read(claiming), 0);
  EXPECT_GT(reader.data().size(), 0u);
  // The claim would be over 500 MB of block; what a file this small can hold is well under 4 MB.
  EXPECT_LT(reader.block()->allocatedBytes(), 4 << 20);
}

TEST_F(WaveReaderTest, MoreThanTwoChannelsKeepTheFirstTwo) {
  // Enough frames to cross several passes of the reader's scratch buffer.
  constexpr int kFrames = 10007;
  std::vector<int16_t> quad, firstTwo;
  for (int i = 0; i < kFrames; ++i) {
    for (int c = 0; c < 4; ++c) quad.push_back(static_cast<int16_t>((i * 7 + c * 9001) % 65536 - 32768));
    firstTwo.insert(firstTwo.end(), quad.end() - 4, quad.end() - 2);
  }
  ASSERT_EQ(read(wav(kPcm, 4, 96000, 16, samples16(quad))), 0);
  EXPECT_EQ(pcm(), firstTwo);
  EXPECT_EQ(reader.channels, 4);
  EXPECT_EQ(reader.blockAlign, 8);
  EXPECT_EQ(reader.samplesPerSec, 96000u);

  // The same as WAVE_FORMAT_EXTENSIBLE, 16-bit PCM in a 40-byte "fmt " chunk.
  Bytes ext = fmt(0xFFFE, 4, 96000, 16);
  put(ext, 22, 2);
  put(ext, 16, 2);
  put(ext, 0x33, 4);
  ext.insert(ext.end(), {0x01, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71});
  ASSERT_EQ(read(riff("WAVE", {{"fmt ", ext}, {"data", samples16(quad)}})), 0);
  EXPECT_EQ(pcm(), firstTwo);
  EXPECT_EQ(reader.formatTag, 1);
}

TEST_F(WaveReaderTest, ReadsOnlyTheDataChunk) {
  const std::vector<int16_t> stereo{10, 20, 30, 40, 50, 60};
  // A LIST chunk of odd size (so with a pad byte) between "fmt " and "data", and one after.
  Bytes list;
  putId(list, "INFO");
  putId(list, "INAM");
  put(list, 3, 4);
  list.insert(list.end(), {'k', 'i', 0});
  ASSERT_EQ(list.size() % 2, 1u);
  ASSERT_EQ(read(riff("WAVE", {{"fmt ", fmt(kPcm, 2, 44100, 16)},
                               {"LIST", list},
                               {"data", samples16(stereo)},
                               {"LIST", list}})),
            0);
  EXPECT_EQ(pcm(), stereo);

  // A data chunk of odd size holds one whole frame and a stray byte.
  Bytes odd = samples16({-5, 5});
  odd.push_back(0x7F);
  ASSERT_EQ(read(wav(kPcm, 2, 44100, 16, odd)), 0);
  EXPECT_EQ(pcm(), (std::vector<int16_t>{-5, 5}));
  // Some writers leave out the pad byte after it (kits in the wild have such files): the next
  // chunk then follows at once.
  Bytes unpadded = riff("WAVE", {{"fmt ", fmt(kPcm, 2, 44100, 16)}, {"data", odd}, {"smpl", Bytes(36, 0xFF)}});
  unpadded.erase(unpadded.begin() + 12 + 8 + 16 + 8 + static_cast<std::ptrdiff_t>(odd.size()));
  test::putI32(unpadded, 4, static_cast<int32_t>(unpadded.size() - 8));
  ASSERT_EQ(read(unpadded), 0);
  EXPECT_EQ(pcm(), (std::vector<int16_t>{-5, 5}));

  // A data chunk cut short of the size its header claims: the whole frames that are there.
  std::vector<int16_t> many;
  for (int i = 0; i < 500; ++i) many.push_back(static_cast<int16_t>(i));
  Bytes cut = wav(kPcm, 2, 44100, 16, samples16(many));
  cut.resize(cut.size() - 399);  // 601 data bytes left: 150 frames and one byte
  ASSERT_EQ(read(cut), 0);
  EXPECT_EQ(pcm(), std::vector<int16_t>(many.begin(), many.begin() + 300));
  EXPECT_EQ(reader.length(), 600u);
}

TEST_F(WaveReaderTest, AWavWithoutFramesIsAnEmptySuccess) {
  ASSERT_EQ(read(wav(kPcm, 1, 32000, 16, {})), 0);
  expectEmpty();
  EXPECT_EQ(reader.channels, 1);
  EXPECT_EQ(reader.samplesPerSec, 32000u);
}

TEST_F(WaveReaderTest, FilesThatAreNotSoundFilesItReadsFailSilently) {
  const Bytes pcm = samples16({1, 2, 3, 4});
  // The big-endian form libsndfile would read as a WAV: every field and sample byte-swapped.
  Bytes rifx;
  for (uint32_t word : {0x52494658u, 36u + 8u, 0x57415645u, 0x666D7420u, 16u, 0x00010001u, 44100u, 88200u,
                        0x00020010u, 0x64617461u, 8u, 0x00010002u, 0x00030004u}) {
    for (int shift = 24; shift >= 0; shift -= 8) rifx.push_back(static_cast<uint8_t>(word >> shift));
  }
  Bytes aiff{'F', 'O', 'R', 'M', 0, 0, 0, 4, 'A', 'I', 'F', 'F'};
  Bytes noise;
  for (int i = 0; i < 4096; ++i) noise.push_back(static_cast<uint8_t>(i * 97 + 13));
  Bytes shortFmt = fmt(kPcm, 1, 44100, 16);
  shortFmt.resize(14);
  Bytes listPastEnd = riff("WAVE", {{"fmt ", fmt(kPcm, 1, 44100, 16)}, {"LIST", {'I', 'N', 'F', 'O'}}, {"data", pcm}});
  test::putI32(listPastEnd, 40, static_cast<int32_t>(0xFF000004u));
  Bytes listAfterData = wav(kPcm, 1, 44100, 16, pcm);
  putId(listAfterData, "LIST");
  put(listAfterData, 100, 4);
  putId(listAfterData, "INFO");
  const Bytes field = test::readBytes(ZUMBEL_SOURCE_DIR "/tests/fuzz/seeds/fuzz_wave_reader/list-past-end.wav");
  ASSERT_EQ(field.size(), 243u);

  const std::vector<std::pair<const char*, Bytes>> cases{
      {"another RIFF form", riff("AVI ", {{"fmt ", fmt(kPcm, 1, 44100, 16)}, {"data", pcm}})},
      {"big-endian RIFX", rifx},
      {"AIFF without its COMM chunk", aiff},
      {"FLAC cut inside its header", {'f', 'L', 'a', 'C', 0, 0, 0, 0x22}},
      {"noise", noise},
      {"empty", {}},
      {"header only", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}},
      {"no fmt chunk", riff("WAVE", {{"data", pcm}})},
      {"short fmt chunk", riff("WAVE", {{"fmt ", shortFmt}, {"data", pcm}})},
      {"no channels", wav(kPcm, 0, 44100, 16, pcm)},
      // libsndfile loops forever on a chunk that claims more than the file holds, so only the
      // data chunk may run past the end.
      {"a LIST chunk past the end", listPastEnd},
      {"a chunk past the end after the data", listAfterData},
      {"found in the field", field},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    ASSERT_EQ(read(wav(kPcm, 1, 44100, 16, pcm), "good.wav"), 0);  // so a failure must clear
    EXPECT_EQ(read(bytes), 1);
    expectEmpty();
    EXPECT_EQ(reader.formatTag, 0);
    EXPECT_EQ(reader.samplesPerSec, 0u);
  }
  EXPECT_TRUE(prompts.shown.empty());
}

// Real WAV and AIFF files have a handful to a few dozen chunks. One with more than the walk takes
// is not a sound, however small its chunks (millions of empty ones would otherwise cost a system
// call each, and as many steps of libsndfile's own walk); one at the bound reads, as does one whose
// chunk headers straddle the walk's read windows.
TEST_F(WaveReaderTest, AFileOfMoreChunksThanTheWalkTakesIsNotASound) {
  const Bytes frames = samples16({1, 2});
  auto wavWith = [&](std::size_t empty, std::size_t oddBytes) {
    std::vector<Chunk> chunks{{"fmt ", fmt(kPcm, 1, 44100, 16)}};
    if (oddBytes) chunks.push_back({"LIST", Bytes(oddBytes, 'x')});
    for (std::size_t i = 0; i < empty; ++i) chunks.push_back({"JUNK", {}});
    chunks.push_back({"data", frames});
    return riff("WAVE", chunks);
  };
  // An AIFF from libsndfile with `empty` chunks put after its FORM header.
  const std::string written = dir / "w.aiff";
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 1;
  info.format = SF_FORMAT_AIFF | SF_FORMAT_PCM_16;
  SNDFILE* out = sf_open(written.c_str(), SFM_WRITE, &info);
  ASSERT_NE(out, nullptr);
  const short two[2] = {1, 2};
  ASSERT_EQ(sf_writef_short(out, two, 2), 2);
  sf_close(out);
  const Bytes plainAiff = test::readBytes(written);
  auto aiffWith = [&](std::size_t empty) {
    Bytes b(plainAiff.begin(), plainAiff.begin() + 12);
    for (std::size_t i = 0; i < empty; ++i) b.insert(b.end(), {'A', 'P', 'P', 'L', 0, 0, 0, 0});
    b.insert(b.end(), plainAiff.begin() + 12, plainAiff.end());
    const auto form = static_cast<uint32_t>(b.size() - 8);
    for (int i = 0; i < 4; ++i) b[4 + static_cast<std::size_t>(i)] = static_cast<uint8_t>(form >> (24 - 8 * i));
    return b;
  };
  std::size_t own = 0;  // chunks in libsndfile's own file
  for (std::size_t at = 12; at + 8 <= plainAiff.size(); ++own) {
    at += 8 + ((uint32_t{plainAiff[at + 4]} << 24 | uint32_t{plainAiff[at + 5]} << 16 | uint32_t{plainAiff[at + 6]} << 8 |
                plainAiff[at + 7]) + 1) / 2 * 2;
  }

  EXPECT_EQ(read(wavWith(kMaxSampleFileChunks - 2, 0)), 0);
  EXPECT_EQ(pcm(), (std::vector<int16_t>{1, 1, 2, 2}));
  // A LIST of odd size whose pad byte ends 4 bytes short of the first window: the next header straddles it.
  EXPECT_EQ(read(wavWith(40, kChunkWalkWindowBytes - 36 - 8 - 5)), 0);
  EXPECT_EQ(pcm(), (std::vector<int16_t>{1, 1, 2, 2}));
  EXPECT_EQ(read(aiffWith(kMaxSampleFileChunks - own), "a.aiff"), 0);
  EXPECT_EQ(pcm(), (std::vector<int16_t>{1, 1, 2, 2}));

  EXPECT_EQ(read(wavWith(kMaxSampleFileChunks - 1, 0)), 1);
  expectEmpty();
  EXPECT_EQ(read(aiffWith(kMaxSampleFileChunks - own + 1), "a.aiff"), 1);
  expectEmpty();
  EXPECT_TRUE(prompts.shown.empty());
}

// A load that is cancelled stops its reads: a read whose stop flag is set gives no block, and the
// read-ahead, once stopped, reads nothing more, even a file asked for before.
TEST_F(WaveReaderTest, AStoppedReadGivesNoBlock) {
  test::writeBytes(dir / "a.wav", wav(kPcm, 1, 44100, 16, samples16({1, 2, 3})));
  std::atomic<bool> stop{true};
  const DecodedSample stopped = DecodeSampleFile(dir / "a.wav", &stop);
  EXPECT_EQ(stopped.status, DecodedSample::Status::kNotSound);
  EXPECT_FALSE(stopped.pcm);
  stop = false;
  EXPECT_EQ(DecodeSampleFile(dir / "a.wav", &stop).status, DecodedSample::Status::kOk);

  SampleReadAhead reads(2);
  reads.request(dir / "a.wav");
  reads.stop();
  reads.start();
  const DecodedSample* taken = reads.take(dir / "a.wav");
  ASSERT_NE(taken, nullptr);
  EXPECT_FALSE(taken->pcm);
}

TEST_F(WaveReaderTest, TooManyFramesAreRefusedUnread) {
  // 8-bit mono, one frame over the limit, as a sparse file: refused before anything is read.
  const auto frames = static_cast<uint32_t>(kMaxSampleFrames + 1);
  Bytes head = riff("WAVE", {{"fmt ", fmt(kPcm, 1, 44100, 8)}});
  putId(head, "data");
  put(head, frames, 4);
  test::putI32(head, 4, static_cast<int32_t>(head.size() - 8 + frames + 1));
  test::writeBytes(dir / "long.wav", head);
  std::filesystem::resize_file(dir / "long.wav", head.size() + frames + 1);
  EXPECT_EQ(reader.ReadWave(dir / "long.wav"), 1);
  expectEmpty();
  EXPECT_TRUE(prompts.shown.empty());
  EXPECT_EQ(SampleFileProblem(dir / "long.wav"), "is too long for a sample");
  std::filesystem::resize_file(dir / "long.wav", 0);
  EXPECT_EQ(SampleFileProblem(dir / "long.wav"), "is not a WAV, AIFF or FLAC sound file");
  test::writeBytes(dir / "short.wav", wav(kPcm, 1, 44100, 16, samples16({1, 2, 3})));
  EXPECT_EQ(SampleFileProblem(dir / "short.wav"), "");
}

TEST_F(WaveReaderTest, OnlyAFileThatCannotBeOpenedTellsTheUser) {
  const std::vector<std::pair<std::string, std::string>> once{{"Could not OpenFile", "Error"}};
  EXPECT_EQ(reader.ReadWave(dir / "missing.wav"), 1);
  EXPECT_EQ(prompts.shown, once);
  expectEmpty();
  // The header probe an import runs says the same, with the reason.
  EXPECT_EQ(SampleFileProblem(dir / "missing.wav"), "cannot be opened (No such file or directory)");

  prompts.shown.clear();
  std::filesystem::create_directory(dir / "folder.wav");
  EXPECT_EQ(reader.ReadWave(dir / "folder.wav"), 1);
  EXPECT_EQ(prompts.shown, once);
  EXPECT_EQ(SampleFileProblem(dir / "folder.wav"), "is not a file");

  // Root reads any file, so the permission case only means something for other users.
  if (::geteuid() != 0) {
    prompts.shown.clear();
    test::writeBytes(dir / "locked.wav", wav(kPcm, 1, 44100, 16, samples16({1})));
    ::chmod((dir / "locked.wav").c_str(), 0);
    EXPECT_EQ(reader.ReadWave(dir / "locked.wav"), 1);
    EXPECT_EQ(prompts.shown, once);
  }

  // A named pipe with no writer is not waited on: it is simply not a file to read.
  prompts.shown.clear();
  ASSERT_EQ(::mkfifo((dir / "pipe.wav").c_str(), 0600), 0);
  auto pending = std::async(std::launch::async, [&] { return reader.ReadWave(dir / "pipe.wav"); });
  ASSERT_EQ(pending.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(pending.get(), 1);
  EXPECT_EQ(prompts.shown, once);

  // Without a Prompts the failure is the same, only unheard.
  WaveReader quiet;
  EXPECT_EQ(quiet.ReadWave(dir / "missing.wav"), 1);
}

TEST_F(WaveReaderTest, TheReaderIsReusedAcrossFiles) {
  ASSERT_EQ(read(wav(kPcm, 2, 44100, 16, samples16({1, 2, 3, 4})), "a.wav"), 0);
  ASSERT_EQ(read(wav(kPcm, 1, 22050, 8, {255}), "b.wav"), 0);
  EXPECT_EQ(pcm(), (std::vector<int16_t>{32512, 32512}));
  EXPECT_EQ(reader.channels, 1);
  EXPECT_EQ(reader.samplesPerSec, 22050u);

  const std::shared_ptr<const PcmBlock> taken = reader.takeBlock();
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->channels(), 1);  // the block keeps a mono file's one value a frame
  EXPECT_EQ(taken->frames()[0], 32512);
  expectEmpty();

  ASSERT_EQ(reader.ReadWave(dir / "a.wav"), 0);
  EXPECT_EQ(reader.length(), 8u);
  reader.release();
  expectEmpty();
  EXPECT_EQ(taken->frameCount(), 1);  // what was handed over is the caller's
}

}  // namespace
}  // namespace zumbel
