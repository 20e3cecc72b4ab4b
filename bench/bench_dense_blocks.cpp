// Dense playing through the engine as a plugin host drives it: a set's voices loaded, then
// 64-frame blocks at 44.1 kHz with N note-ons in each, spread over the block's frames, going
// round 16 notes from 36 at varied velocities. Prints how many mixer slots sound on average and
// the block's mean, median, 99th-percentile and longest time, per N.
//   build/bench/bench_dense_blocks SET.drums [SECONDS] [N...]   (default: 10 s; N = 0 1 4 16)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "DrumEngine.h"
#include "DrumsFile.h"
#include "KitbeatDoc.h"
#include "LayerVoiceLoader.h"
#include "ShortMessage.h"

namespace {

using namespace zumbel;

constexpr int kBlock = 64;
constexpr int kRate = 44100;
constexpr int kNotes = 16;

void run(const std::string& setPath, int seconds, int perBlock) {
  CKitbeatDoc doc;
  doc.OnNewDocument();
  if (!doc.OnOpenDocument(setPath).ok()) {
    std::fprintf(stderr, "bench_dense_blocks: %s does not open\n", setPath.c_str());
    std::exit(2);
  }
  DrumEngine engine(doc);
  LayerVoiceLoader loader(doc, engine, nullptr);
  if (const int missing = loader.loadAllVoices(); missing != 0) std::fprintf(stderr, "%d layers without a voice\n", missing);
  std::vector<float> left(kBlock), right(kBlock);
  std::vector<TimedMessage> messages;
  const int blocks = seconds * kRate / kBlock;
  std::vector<double> micros(static_cast<std::size_t>(blocks));
  double slots = 0;
  uint32_t k = 0;
  for (int b = 0; b < blocks; ++b) {
    messages.clear();
    for (int i = 0; i < perBlock; ++i, ++k) {
      const auto frame = static_cast<uint32_t>(i * kBlock / perBlock);
      messages.push_back({frame, packShortMessage(0x90, kFirstNote + static_cast<int>(k % kNotes), 40 + static_cast<int>(k * 37 % 88))});
    }
    const auto start = std::chrono::steady_clock::now();
    engine.process(left.data(), right.data(), kBlock, messages);
    micros[static_cast<std::size_t>(b)] = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    slots += engine.mixer().activeSlotCount();
    // The window's timer frees the voices the audio thread let go of, a few times a second.
    if (b % 64 == 0) engine.voices().collect();
  }
  std::vector<double> sorted = micros;
  std::sort(sorted.begin(), sorted.end());
  double sum = 0;
  for (double t : micros) sum += t;
  const auto at = [&](double q) { return sorted[static_cast<std::size_t>(q * (blocks - 1))]; };
  std::printf("%2d note-ons a block: %6.1f slots sounding, block mean %7.2f us, median %7.2f, p99 %7.2f, max %7.1f\n",
              perBlock, slots / blocks, sum / blocks, at(0.5), at(0.99), sorted.back());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_dense_blocks SET.drums [SECONDS] [N...]\n");
    return 2;
  }
  const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
  std::vector<int> counts;
  for (int i = 3; i < argc; ++i) counts.push_back(std::clamp(std::atoi(argv[i]), 0, kBlock));
  if (counts.empty()) counts = {0, 1, 4, 16};
  for (int n : counts) run(argv[1], seconds, n);
  return 0;
}
