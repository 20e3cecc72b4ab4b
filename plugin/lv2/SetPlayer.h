#pragma once
// Plays the current drum set on the audio thread and hands over to a newly loaded one without a
// gap: notes the old set is sounding ring on (their note-offs and bends still reach them) while
// new notes play the new set. An old set still sounding after kSetHandoverSeconds, or when yet
// another set is waiting, fades out over the stop ramp instead of being cut.
//
// Audio thread only, apart from construction, destruction and silence(). Sets come in through
// offer() and leave through takeRetired(); the caller frees them off the audio thread. A set
// without an engine (chosen, but it did not open) plays silence.
//
// The player renders a fixed number of stereo pairs, chosen when it is made: one for a plugin
// with one stereo output (every sound plays there), more for one with an output per pair.

#include <array>
#include <memory>
#include <span>

#include "EngineConfig.h"
#include "Mixer.h"
#include "ShortMessage.h"

namespace zumbel {

struct LoadedSet;

class SetPlayer {
 public:
  // `pairs` is clamped to 1..kMixerOutputPairs.
  explicit SetPlayer(int rate, int pairs = 1);
  ~SetPlayer();
  SetPlayer(const SetPlayer&) = delete;
  SetPlayer& operator=(const SetPlayer&) = delete;

  // Takes `set` to play from the next cycle on, or as soon as the set before it has faded.
  // Returns a set that was waiting and will now never play, for the caller to free; else null.
  LoadedSet* offer(LoadedSet* set) noexcept;
  // A set that no longer sounds, for the caller to free off the audio thread; null when none.
  // Until it is taken, a further replaced set keeps playing silently.
  LoadedSet* takeRetired() noexcept;
  // Whether the set that plays changed since the last call (to tell the host).
  bool takeSwapped() noexcept;

  const LoadedSet* current() const noexcept { return current_; }
  void setChannel(int channel) noexcept;

  int pairs() const noexcept { return pairs_; }

  // Writes `frames` (at most kMaxBlockFrames) frames into the first pairs() pairs of `out` (its
  // count is not read); each message at its frame, as DrumEngine::process takes them. Silence
  // while no set is loaded.
  void process(const OutputPairs& out, int frames, std::span<const TimedMessage> messages) noexcept;
  void process(float* left, float* right, int frames, std::span<const TimedMessage> messages) noexcept {
    process(OutputPairs::stereo(left, right), frames, messages);
  }

  // Everything sounding stops at once, without a fade: for a host that activates the plugin
  // again, when no process() runs. A replaced set still ringing leaves on the next process().
  void silence() noexcept;

  // For the instance's destruction and a restored state, when no audio thread runs: every set
  // held, so the caller can free them.
  std::array<LoadedSet*, 4> releaseAll() noexcept;

 private:
  void swapIn() noexcept;

  LoadedSet* current_ = nullptr;
  LoadedSet* fading_ = nullptr;   // the replaced set, still ringing
  LoadedSet* pending_ = nullptr;  // loaded, waiting for the replaced set to fade
  LoadedSet* retired_ = nullptr;  // silent, waiting for the caller to free it
  bool swapped_ = false;
  int channel_ = 1;
  int64_t fadingAge_ = 0;       // frames the replaced set has rung on
  int64_t handoverFrames_;
  int rampFrames_;
  bool ramping_ = false;        // the replaced set fades out
  int rampLeft_ = 0;
  int pairs_;
  // The replaced set's pairs: left and right of each, kMaxBlockFrames apiece.
  std::unique_ptr<float[]> scratch_;
  std::array<TimedMessage, kMaxEventsPerCycle> forFading_{};
};

}  // namespace zumbel
