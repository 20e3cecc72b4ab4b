#pragma once
// The instrument as an audio callback sees it: the mixer, the voice table, the note trigger
// engine and the lamps, driven one audio cycle at a time. Every backend (JACK, RtAudio), the
// offline renderer and the tests call the same process().

#include <span>

#include "Indicators.h"
#include "Mixer.h"
#include "NoteTriggerEngine.h"
#include "ShortMessage.h"
#include "VoiceTable.h"

namespace zumbel {

class CKitbeatDoc;

class DrumEngine {
 public:
  explicit DrumEngine(const CKitbeatDoc& doc, int deviceRate = kOutputRate);
  DrumEngine(const DrumEngine&) = delete;
  DrumEngine& operator=(const DrumEngine&) = delete;

  Mixer& mixer() noexcept { return mixer_; }
  VoiceTable& voices() noexcept { return voices_; }
  NoteTriggerEngine& trigger() noexcept { return trigger_; }
  Indicators& indicators() noexcept { return indicators_; }

  // One audio cycle: writes `frames` frames of both channels. Each message takes effect at its
  // frame (messages come in frame order; a frame at or past the end applies after the last
  // frame, so it is heard from the next cycle's first frame).
  void process(float* left, float* right, int frames, std::span<const TimedMessage> messages) noexcept {
    process(OutputPairs::stereo(left, right), frames, messages);
  }
  // The same into several output pairs (Mixer.h): each sound plays on its own.
  void process(const OutputPairs& out, int frames, std::span<const TimedMessage> messages) noexcept;

 private:
  Mixer mixer_;
  VoiceTable voices_;
  Indicators indicators_;
  NoteTriggerEngine trigger_;
};

}  // namespace zumbel
