#pragma once
// A full drum set over noise decays, for the loading benchmarks: stereo 16-bit WAV files of
// `frames` frames written to `paths`, one pool group holding them, and every layer of all 128
// sounds playing them in turn. The same bytes on every run.

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "KitbeatDoc.h"
#include "WavFileWriter.h"

namespace zumbel::bench {

inline void writeNoiseSet(CKitbeatDoc& doc, const std::vector<std::string>& paths, int frames) {
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
  std::vector<float> left(static_cast<std::size_t>(frames)), right(left.size());
  doc.OnNewDocument();
  const int g = doc.appendGroup("Kit");
  for (const std::string& path : paths) {
    for (int i = 0; i < frames; ++i) {
      const float decay = 1.0f - static_cast<float>(i) / static_cast<float>(frames);
      left[static_cast<std::size_t>(i)] = noise(rng) * decay;
      right[static_cast<std::size_t>(i)] = noise(rng) * decay;
    }
    WavFileWriter w;
    if (!w.open(path, 44100, SampleFormat::kS16)) std::abort();
    w.write(left.data(), right.data(), frames);
    if (!w.close()) std::abort();
    doc.appendSample(g, path);
  }
  const int files = static_cast<int>(paths.size());
  for (int n = 0; n < kSoundCount; ++n) {
    for (int j = 0; j < kLayerCount; ++j) doc.AssignSample(n, j, SampleRef{g, (n * kLayerCount + j) % files});
  }
}

}  // namespace zumbel::bench
