// Opening hostile and long sample files, and cancelling their reads:
//   build/bench/bench_sample_open [--runs R] [--dir D]
// - a 64 MiB WAV of 8,388,608 empty chunks (98 KB gzipped): read by the engine's decoder and
//   probed by the kit importer (a one-instrument kit whose sample it is);
// - a 256 MiB WAV of 16-bit stereo silence (a sparse file): the reader's thread is stopped 20 ms
//   into its decode, as a cancelled load stops it; printed is how long the stop took to return.
// The files are written under D (default: the system's temporary folder) and removed at the end.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "KitImport.h"
#include "SampleReadAhead.h"
#include "WaveReader.h"

namespace {

using namespace zumbel;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr uint32_t kEmptyChunks = uint32_t{1} << 23;
constexpr uint32_t kLongFrames = uint32_t{1} << 26;

void put32(std::vector<char>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>(v >> (8 * i)));
}
void put16(std::vector<char>& b, uint16_t v) {
  for (int i = 0; i < 2; ++i) b.push_back(static_cast<char>(v >> (8 * i)));
}
void tag(std::vector<char>& b, const char* t) { b.insert(b.end(), t, t + 4); }

// RIFF, WAVE and a 16-bit stereo "fmt " chunk at 44.1 kHz; the RIFF size is filled in by the caller.
std::vector<char> head() {
  std::vector<char> b;
  tag(b, "RIFF");
  put32(b, 0);
  tag(b, "WAVE");
  tag(b, "fmt ");
  put32(b, 16);
  put16(b, 1);
  put16(b, 2);
  put32(b, 44100);
  put32(b, 44100 * 4);
  put16(b, 4);
  put16(b, 16);
  return b;
}

void setRiffSize(std::vector<char>& b, uint64_t fileBytes) {
  const auto size = static_cast<uint32_t>(fileBytes - 8);
  for (int i = 0; i < 4; ++i) b[4 + static_cast<std::size_t>(i)] = static_cast<char>(size >> (8 * i));
}

void writeChunkFile(const fs::path& path) {
  std::vector<char> b = head();
  std::vector<char> empty;
  tag(empty, "JUNK");
  put32(empty, 0);
  std::vector<char> tail;
  tag(tail, "data");
  put32(tail, 4);
  put32(tail, 0);
  const uint64_t total = b.size() + uint64_t{kEmptyChunks} * empty.size() + tail.size();
  setRiffSize(b, total);
  std::ofstream out(path, std::ios::binary);
  out.write(b.data(), static_cast<std::streamsize>(b.size()));
  std::vector<char> many;
  for (int i = 0; i < 8192; ++i) many.insert(many.end(), empty.begin(), empty.end());
  for (uint32_t i = 0; i < kEmptyChunks / 8192; ++i) out.write(many.data(), static_cast<std::streamsize>(many.size()));
  out.write(tail.data(), static_cast<std::streamsize>(tail.size()));
}

void writeLongFile(const fs::path& path) {
  std::vector<char> b = head();
  tag(b, "data");
  put32(b, kLongFrames * 4);
  setRiffSize(b, b.size() + uint64_t{kLongFrames} * 4);
  std::ofstream(path, std::ios::binary).write(b.data(), static_cast<std::streamsize>(b.size()));
  fs::resize_file(path, b.size() + uint64_t{kLongFrames} * 4);
}

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void report(const char* what, std::vector<double> seconds) {
  std::sort(seconds.begin(), seconds.end());
  std::printf("%-44s min %10.3f ms  median %10.3f ms  max %10.3f ms  (%zu runs)\n", what, 1000 * seconds.front(),
              1000 * seconds[seconds.size() / 2], 1000 * seconds.back(), seconds.size());
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 3;
  fs::path dir = fs::temp_directory_path();
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
    else if (a == "--dir") dir = argv[i + 1];
    else {
      std::fprintf(stderr, "usage: bench_sample_open [--runs R] [--dir D]\n");
      return 2;
    }
  }
  const fs::path work = dir / ("bench-sample-open-" + std::to_string(::getpid()));
  fs::create_directories(work / "kit");
  const fs::path chunks = work / "kit/chunks.wav";
  const fs::path longFile = work / "long.wav";
  writeChunkFile(chunks);
  writeLongFile(longFile);
  std::ofstream(work / "kit/drumkit.xml") << "<drumkit_info><name>Chunks</name><instrumentList><instrument><name>K</name>"
                                              "<filename>chunks.wav</filename></instrument></instrumentList></drumkit_info>";
  std::printf("%s: %ju bytes\n", chunks.c_str(), static_cast<uintmax_t>(fs::file_size(chunks)));

  std::vector<double> decode, probe, stop;
  for (int r = 0; r < runs; ++r) {
    auto start = Clock::now();
    const DecodedSample d = DecodeSampleFile(chunks.string());
    decode.push_back(secondsSince(start));
    if (r == 0) std::printf("  decoded: %s\n", d.status == DecodedSample::Status::kOk ? "a sound" : "not a sound");

    CKitbeatDoc doc;
    doc.OnNewDocument();
    start = Clock::now();
    const import::ImportResult imported = import::importHydrogenFolder((work / "kit").string(), doc);
    probe.push_back(secondsSince(start));
    if (r == 0) std::printf("  imported: %s, %d missing or unreadable\n", imported.ok ? "yes" : "no", imported.missingSamples);

    // The read-ahead's own thread decodes the long file; the destructor stops it, as a cancelled
    // load does.
    auto reads = std::make_unique<SampleReadAhead>(1);
    reads->request(longFile.string());
    reads->start();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    start = Clock::now();
    reads.reset();
    stop.push_back(secondsSince(start));
  }
  report("64 MiB of empty chunks: DecodeSampleFile", decode);
  report("64 MiB of empty chunks: importer's probe", probe);
  report("256 MiB WAV: stop 20 ms into its decode", stop);
  fs::remove_all(work);
  return 0;
}
