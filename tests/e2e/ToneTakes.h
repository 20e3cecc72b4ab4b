#pragma once
// What the PulseAudio tests and the latency benchmark share: a one-sound kit (a decaying tone that
// starts at full height, so a hit's onset is its first frame), a song of single notes at fixed
// spacing, the hits found in a recording, and what `zumbel play` and the server say about
// latency.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "DrumsFile.h"
#include "KitbeatDoc.h"
#include "PulseTestServer.h"
#include "TestSupport.h"
#include "WavFileWriter.h"

namespace zumbel::test {

inline constexpr int kToneNote = 36;
inline constexpr int kToneRate = PulseTestServer::kRate;
// 120 ms at 700 Hz, decaying by e every 20 ms from 0.8.
inline constexpr int kToneFrames = kToneRate * 120 / 1000;
// Silence in the null sink's float stream is exactly zero; a hit at velocity 10 still starts
// hundreds of times above this.
inline constexpr float kOnsetThreshold = 1e-4f;
// Each hit is measured over this window from its onset.
inline constexpr std::size_t kHitWindow = kToneRate / 10;

// Writes DIR/tone.wav and DIR/tone.drums (the tone on note 36, every velocity band playing it);
// the kit's path, or empty when a file could not be written.
inline std::string writeToneKit(const std::string& dir) {
  std::vector<float> tone(kToneFrames);
  for (int i = 0; i < kToneFrames; ++i) {
    tone[static_cast<std::size_t>(i)] =
        static_cast<float>(0.8 * std::exp(-i / (0.02 * kToneRate)) * std::cos(2.0 * M_PI * 700.0 * i / kToneRate));
  }
  WavFileWriter wav;
  if (!wav.open(dir + "/tone.wav", kToneRate, SampleFormat::kS16) || !wav.write(tone.data(), tone.data(), kToneFrames) ||
      !wav.close()) {
    return {};
  }
  CKitbeatDoc doc;
  doc.OnNewDocument();
  const int group = doc.appendGroup("Tone");
  doc.appendSample(group, dir + "/tone.wav");
  doc.AssignSample(kToneNote - 36, 0, {group, 0});
  // Velocity then changes only the volume.
  for (auto& source : doc.sound(kToneNote - 36).sources) source = 0;
  const std::string kit = dir + "/tone.drums";
  return doc.OnSaveDocument(kit).ok() ? kit : std::string();
}

// A format-0 MIDI file of note 36 on channel 1 at each velocity, `spacingMs` apart (each note
// 50 ms long). 500 ticks per quarter at the default tempo: a tick is a millisecond.
inline std::vector<uint8_t> toneSong(const std::vector<int>& velocities, unsigned spacingMs) {
  std::vector<uint8_t> track;
  const auto delta = [&](unsigned ticks) {
    uint8_t groups[5];
    int n = 0;
    do {
      groups[n++] = static_cast<uint8_t>(ticks & 0x7F);
      ticks >>= 7;
    } while (ticks != 0);
    while (n-- > 0) track.push_back(static_cast<uint8_t>(groups[n] | (n > 0 ? 0x80 : 0)));
  };
  for (std::size_t i = 0; i < velocities.size(); ++i) {
    delta(i == 0 ? 0 : spacingMs - 50);
    track.insert(track.end(), {0x90, kToneNote, static_cast<uint8_t>(velocities[i])});
    delta(50);
    track.insert(track.end(), {0x80, kToneNote, 0});
  }
  delta(0);
  track.insert(track.end(), {0xFF, 0x2F, 0x00});
  const auto be = [](std::vector<uint8_t>& b, uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  std::vector<uint8_t> file = {'M', 'T', 'h', 'd'};
  be(file, 6, 4);
  be(file, 0, 2);
  be(file, 1, 2);
  be(file, 500, 2);
  file.insert(file.end(), {'M', 'T', 'r', 'k'});
  be(file, static_cast<uint32_t>(track.size()), 4);
  file.insert(file.end(), track.begin(), track.end());
  return file;
}

struct Hit {
  std::size_t onset = 0;
  float peak = 0.0f;
  double rms = 0.0;
};

// Each onset is the first loud frame after at least 10 ms of silence.
inline std::vector<Hit> findHits(const std::vector<float>& left, const std::vector<float>& right) {
  std::vector<Hit> hits;
  const std::size_t quiet = kToneRate / 100;
  std::size_t silentRun = quiet;
  for (std::size_t i = 0; i < left.size(); ++i) {
    const bool loud = std::fabs(left[i]) > kOnsetThreshold || std::fabs(right[i]) > kOnsetThreshold;
    if (loud && silentRun >= quiet) {
      Hit h;
      h.onset = i;
      double squares = 0;
      const std::size_t end = std::min(left.size(), i + kHitWindow);
      for (std::size_t k = i; k < end; ++k) {
        h.peak = std::max({h.peak, std::fabs(left[k]), std::fabs(right[k])});
        squares += static_cast<double>(left[k]) * left[k] + static_cast<double>(right[k]) * right[k];
      }
      h.rms = std::sqrt(squares / static_cast<double>(2 * (end - i)));
      hits.push_back(h);
    }
    silentRun = loud ? 0 : silentRun + 1;
  }
  return hits;
}

// The number after `label` in `text`; nothing when the label is missing or no number follows.
// (Not std::regex: GCC 12 warns inside it under the sanitizers, and warnings are errors.)
inline std::optional<double> numberAfter(const std::string& text, const std::string& label) {
  const std::size_t at = text.find(label);
  if (at == std::string::npos) return std::nullopt;
  try {
    return std::stod(text.substr(at + label.size()));
  } catch (...) {
    return std::nullopt;
  }
}

// What `zumbel play` printed as its output latency ("latency N ms"), in ms.
inline std::optional<double> printedLatencyMs(const std::string& out) { return numberAfter(out, " latency "); }

// What the server measures for the first playback stream now: the data in its buffer and the
// sink's own latency, in ms. Nothing when no stream plays.
struct StreamLatency {
  double bufferMs = 0, sinkMs = 0;
};
inline std::optional<StreamLatency> serverLatency(const PulseTestServer& server, const std::string& scratchPath) {
  if (!server.pactl({"list", "sink-inputs"}, scratchPath)) return std::nullopt;
  const std::string inputs = readText(scratchPath);
  const std::optional<double> buffer = numberAfter(inputs, "Buffer Latency: ");
  const std::optional<double> sink = numberAfter(inputs, "Sink Latency: ");
  if (!buffer || !sink) return std::nullopt;
  return StreamLatency{*buffer / 1000, *sink / 1000};  // both in microseconds
}

}  // namespace zumbel::test
