#pragma once
// Plays a MIDI song through the engine as fast as the machine allows, cycle by cycle exactly as
// an audio callback would, with every message at its own frame. The same song and kit always give
// the same samples.

#include <array>
#include <cstdint>
#include <functional>
#include <utility>

#include "EngineConfig.h"
#include "Mixer.h"
#include "NoteTriggerEngine.h"

namespace zumbel {

class DrumEngine;
struct MidiSong;


struct RenderOptions {
  int channel = 1;             // 1..16, as people count them
  double tailSeconds = -1.0;   // < 0: until silent
  // Receives each block as it is rendered; false stops the render.
  std::function<bool(const float* left, const float* right, int frames)> sink;
  // Where the sink would keep the next block of `frames` frames, so that it is rendered there
  // and `sink` gets those very pointers; null ones, or none set, for the renderer's own buffers.
  std::function<std::pair<float*, float*>(int frames)> place;
  // More than one: each output pair is rendered apart (sounds routed to a pair beyond it play on
  // pair 1) and every block goes to `pairSink` instead of `sink`.
  int outputPairs = 1;
  std::function<bool(const OutputPairs& pairs, int frames)> pairSink;
  // Told the fraction done now and then.
  std::function<void(double fraction)> progress;
};

struct RenderSummary {
  int64_t frames = 0;
  int64_t songFrames = 0;
  std::array<int64_t, kMidiChannels> noteOnsPerChannel{};
  bool stopped = false;  // the sink refused a block
};

// The frames the song itself lasts at `rate`, before any tail: to its end, or one past its last
// event.
int64_t songFrameCount(const MidiSong& song, int rate);

// The engine's mixer must be set to the output rate first and must not be running.
RenderSummary renderSong(DrumEngine& engine, const MidiSong& song, const RenderOptions& options);

}  // namespace zumbel
