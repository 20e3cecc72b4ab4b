// Opening a full drum set as the window does: read the ".drums" file, find every sample, build a
// voice for every layer of all 128 sounds (640 layers). One scenario per run, so the peak memory
// printed is that scenario's own.
//   build/bench/bench_open_set [--files N] [--ms LENGTH] [--threads T] [--cold] [--runs R] [--dir D]
// --files: distinct stereo 16-bit WAV files the 640 layers cycle through (640: one per layer);
// --ms: their length; --threads: readers (default: one per core; 1 reads one file at a time);
// --cold: before each run the set's files are dropped from the page cache, so every byte comes
// from the disk. The disk's own rate is measured the same way: every file read cold, once one at a
// time and once on the same threads, with nothing decoded.
// The files are written once under D (default: the system's temporary folder) and kept.

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "DrumEngine.h"
#include "DrumsFile.h"
#include "KitbeatDoc.h"
#include "LayerVoiceLoader.h"
#include "NoiseSet.h"
#include "Relink.h"
#include "SampleProbe.h"
#include "SampleReadAhead.h"

namespace {

using namespace zumbel;
using Clock = std::chrono::steady_clock;

struct Options {
  int files = 640;
  int milliseconds = 1000;
  int threads = SampleReadAhead::machineThreads();
  bool cold = false;
  int runs = 5;
  std::filesystem::path dir = std::filesystem::temp_directory_path();
};

[[noreturn]] void usage() {
  std::fprintf(stderr, "usage: bench_open_set [--files N] [--ms LENGTH] [--threads T] [--cold] [--runs R] [--dir D]\n");
  std::exit(2);
}

Options parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&] {
      if (i + 1 >= argc) usage();
      return std::string(argv[++i]);
    };
    if (a == "--files") o.files = std::stoi(value());
    else if (a == "--ms") o.milliseconds = std::stoi(value());
    else if (a == "--threads") o.threads = std::stoi(value());
    else if (a == "--runs") o.runs = std::stoi(value());
    else if (a == "--dir") o.dir = value();
    else if (a == "--cold") o.cold = true;
    else usage();
  }
  if (o.files < 1 || o.files > kSoundCount * kLayerCount || o.milliseconds < 1 || o.threads < 1 || o.runs < 1) usage();
  return o;
}

// The set and its files, written once and reused by later runs with the same shape.
std::filesystem::path makeSet(const Options& o, std::vector<std::string>& files) {
  const std::filesystem::path folder =
      o.dir / ("zumbel-open-set-" + std::to_string(o.files) + "x" + std::to_string(o.milliseconds) + "ms");
  const std::filesystem::path set = folder / "set.drums";
  for (int f = 0; f < o.files; ++f) files.push_back(folder / ("hit" + std::to_string(f) + ".wav"));
  if (std::filesystem::exists(set)) return set;
  std::filesystem::create_directories(folder);
  CKitbeatDoc doc;
  bench::writeNoiseSet(doc, files, 44100 * o.milliseconds / 1000);
  if (!doc.OnSaveDocument(set).ok()) std::abort();
  ::sync();
  return set;
}

void dropFromPageCache(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  ::close(fd);
}

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Every file read whole with plain read() on `threads` threads, nothing kept.
double readRaw(const std::vector<std::string>& files, int threads) {
  std::atomic<std::size_t> next{0};
  const auto start = Clock::now();
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) {
    pool.emplace_back([&] {
      std::vector<char> buffer(1 << 20);
      for (std::size_t i; (i = next.fetch_add(1)) < files.size();) {
        const int fd = ::open(files[i].c_str(), O_RDONLY | O_CLOEXEC);
        while (fd >= 0 && ::read(fd, buffer.data(), buffer.size()) > 0) {
        }
        if (fd >= 0) ::close(fd);
      }
    });
  }
  for (std::thread& t : pool) t.join();
  return msSince(start);
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = parse(argc, argv);
  std::vector<std::string> files;
  const std::filesystem::path setPath = makeSet(o, files);
  double fileBytes = 0;
  for (const std::string& f : files) fileBytes += static_cast<double>(std::filesystem::file_size(f));
  auto evict = [&] {
    if (!o.cold) return;
    for (const std::string& f : files) dropFromPageCache(f);
    dropFromPageCache(setPath);
  };

  std::vector<double> times;
  double heldBytes = 0;
  for (int run = 0; run < o.runs; ++run) {
    evict();
    CKitbeatDoc doc;
    DrumEngine engine(doc);
    const auto start = Clock::now();
    if (!doc.OnOpenDocument(setPath).ok()) std::abort();
    RelinkSamplePool(doc, [&](const std::string& stored) {
      const auto found = ProbeSamplePath(stored, doc.folder(), "");
      return found ? *found : stored;
    });
    LayerVoiceLoader loader(doc, engine, nullptr);
    loader.setReadThreads(o.threads);
    const int failed = loader.loadAllVoices();
    times.push_back(msSince(start));
    if (failed != 0) {
      std::fprintf(stderr, "bench_open_set: %d layers got no voice\n", failed);
      return 1;
    }
    std::set<const PcmBlock*> blocks;
    for (int n = 0; n < kSoundCount; ++n) {
      for (int j = 0; j < kLayerCount; ++j) {
        const SampleVoice* v = engine.voices().voice(n, j);
        if (v && v->pcm()) blocks.insert(v->pcm().get());
      }
    }
    heldBytes = 0;
    for (const PcmBlock* b : blocks) heldBytes += static_cast<double>(b->frameCount()) * 4.0;
    engine.voices().ReleaseAllVoices();
  }
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);

  const double ms = median(times);
  std::printf("open 640 layers, %d files of %d ms, %s cache, %d thread%s: median %.1f ms (min %.1f) over %d runs\n",
              o.files, o.milliseconds, o.cold ? "cold" : "warm", o.threads, o.threads == 1 ? "" : "s", ms,
              *std::min_element(times.begin(), times.end()), o.runs);
  std::printf("  files %.1f MB read at %.0f MB/s; PCM held %.1f MB; peak memory %.1f MB\n", fileBytes / 1e6,
              fileBytes / 1e6 / (ms / 1e3), heldBytes / 1e6, static_cast<double>(usage.ru_maxrss) / 1024.0);
  if (o.cold) {
    std::vector<double> one, many;
    for (int run = 0; run < std::min(o.runs, 3); ++run) {
      evict();
      one.push_back(readRaw(files, 1));
      evict();
      many.push_back(readRaw(files, o.threads));
    }
    std::printf("  the disk alone, cold: %.1f ms (%.0f MB/s) one file at a time, %.1f ms (%.0f MB/s) on %d threads\n",
                median(one), fileBytes / 1e6 / (median(one) / 1e3), median(many),
                fileBytes / 1e6 / (median(many) / 1e3), o.threads);
  }
  return 0;
}
