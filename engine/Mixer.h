#pragma once
// The software mixer that plays every voice: a fixed pool of playback slots, each playing one
// PCM block at its own volume, pan and frequency, summed into float stereo at the device rate.
//
// Threads: slots are handed out and taken back on the user-interface thread. Play, Stop and the
// setters may come from any thread; they only store into per-slot atomics and mark the slot, and
// the audio thread picks them up at the start of the next render call, so a command issued
// between two render calls takes effect at exactly the frame where the second one begins. The
// last command on a slot before that point wins. render() allocates nothing, takes no lock and
// never throws.
//
// A block with many events (a drum roll: a note-on every few frames) is mixed as a span: each
// event frame captures what the marked slots were told, and the span then mixes every slot once
// over the whole block, applying its own changes at their frames. The result is the same, sample
// for sample, as rendering up to each event frame in turn, without going over every sounding slot
// at every event.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "EngineConfig.h"
#include "PcmBlock.h"

namespace zumbel {

using SlotId = int32_t;
inline constexpr SlotId kNoSlot = -1;

// Where render() writes: `count` stereo pairs (1..kMixerOutputPairs), each `frames` long. A slot
// routed to a pair at or beyond `count` plays on pair 0, so one pair is always the whole mix.
struct OutputPairs {
  std::array<float*, kMixerOutputPairs> left{};
  std::array<float*, kMixerOutputPairs> right{};
  int count = 1;

  static OutputPairs stereo(float* left, float* right) noexcept {
    OutputPairs out;
    out.left[0] = left;
    out.right[0] = right;
    return out;
  }
  // The same pairs from frame `frames` on.
  OutputPairs advanced(int frames) const noexcept {
    OutputPairs out = *this;
    for (int k = 0; k < count; ++k) {
      out.left[static_cast<std::size_t>(k)] += frames;
      out.right[static_cast<std::size_t>(k)] += frames;
    }
    return out;
  }
};

class Mixer {
 public:
  explicit Mixer(int deviceRate = kOutputRate);
  ~Mixer();
  Mixer(const Mixer&) = delete;
  Mixer& operator=(const Mixer&) = delete;

  // --- user-interface thread ---
  // A stopped slot playing `pcm`, or kNoSlot when every slot is taken.
  SlotId acquireSlot(const PcmBlock* pcm) noexcept;
  // The slot falls silent; the next render call forgets it. Until a cycle that began after this
  // call has finished, the slot and its PCM must stay alive (see cyclesStarted()).
  void releaseSlot(SlotId slot) noexcept;
  // Returns a released slot to the pool once no render call can still reach it.
  void recycleSlot(SlotId slot) noexcept;
  // Whether an audio thread is calling render(). Set by whoever starts and stops that thread,
  // from the user-interface thread. While false, the user-interface thread may apply commands
  // itself (applyCommandsWhileStopped) and free released slots at once.
  void setRunning(bool running) noexcept { running_.store(running, std::memory_order_seq_cst); }
  bool running() const noexcept { return running_.load(std::memory_order_seq_cst); }
  void applyCommandsWhileStopped() noexcept;
  // While not running, or on the audio thread between two renders (a device that changes its
  // rate under a running stream): the steps of the slots playing are scaled at once.
  void setDeviceRate(int rate) noexcept;
  int deviceRate() const noexcept { return deviceRate_.load(std::memory_order_relaxed); }
  int freeSlotCount() const noexcept { return freeCount_; }

  // --- any thread ---
  void play(SlotId slot, bool looping) noexcept;
  void stop(SlotId slot) noexcept;
  // Hundredths of a decibel; clamped to -10000 (silence) .. 0.
  void setVolume(SlotId slot, int32_t volume) noexcept;
  // Hundredths of a decibel of attenuation of the far side: -10000 left .. 10000 right.
  void setPan(SlotId slot, int32_t pan) noexcept;
  // Hundredths of a decibel added to the volume (a sound's level and its layer's gain), clamped
  // to kMinTrim..kMaxTrim; at kMinTrim or below the slot is silent. A sounding slot glides to it.
  void setTrim(SlotId slot, int32_t trim) noexcept;
  // The stereo pair the slot plays on, 0..kMixerOutputPairs-1 (anything else is pair 0).
  void setOutput(SlotId slot, int output) noexcept;
  // 0 means the buffer's own rate (44100 Hz). Refuses anything outside 100..100000 and keeps
  // the old rate; returns whether the value was taken.
  bool setFrequency(SlotId slot, int32_t hz) noexcept;
  int32_t volume(SlotId slot) const noexcept;
  int32_t pan(SlotId slot) const noexcept;
  int32_t frequency(SlotId slot) const noexcept;
  int32_t trim(SlotId slot) const noexcept;
  int output(SlotId slot) const noexcept;
  // False while the audio thread mixes the slot (also during its fade-out).
  bool isIdle(SlotId slot) const noexcept;

  // Cycle bookkeeping for safe reclamation: a released slot (and anything only it reads) may be
  // freed once cyclesFinished() exceeds the cyclesStarted() value read after the release and
  // the slot is idle (a slot released while sounding fades out first).
  uint64_t cyclesStarted() const noexcept { return started_.load(std::memory_order_seq_cst); }
  uint64_t cyclesFinished() const noexcept { return finished_.load(std::memory_order_acquire); }

  // --- audio thread ---
  // Applies every pending command, so a cycle that renders nothing still takes them in.
  void beginCycle() noexcept;
  void endCycle() noexcept;
  // Overwrites `frames` frames of both channels with the mix.
  void render(float* left, float* right, int frames) noexcept { render(OutputPairs::stereo(left, right), frames); }
  // Overwrites `frames` frames of every pair with the slots routed to it.
  void render(const OutputPairs& out, int frames) noexcept;
  // The same in steps: beginSpan opens `frames` (at most kMaxBlockFrames) frames of `out`;
  // capture(at) makes what is pending take effect at frame `at` of the span, as a render call
  // beginning there would (frames never go back); endSpan mixes the span and writes it out.
  void beginSpan(const OutputPairs& out, int frames) noexcept;
  void capture(int at) noexcept;
  void endSpan() noexcept;
  // Every slot falls silent at once, without the stop ramp, commands already issued included:
  // the next render starts from silence. Between renders, or while none runs.
  void silence() noexcept;
  // Audio-thread view, also valid on the user-interface thread while not running.
  int activeSlotCount() const noexcept { return activeCount_; }
  bool isSounding(SlotId slot) const noexcept;

 private:
  struct Control;
  struct Playback;
  // What a slot's control said at a moment: a command word and the settings a start reads.
  struct Settings {
    const PcmBlock* pcm;
    uint32_t command;
    bool released;
    int32_t volume, pan, frequency, trim, output;
  };
  // A slot's settings captured at a frame of the span; `next` chains the slot's events in order.
  struct Event {
    Settings settings;
    SlotId slot;
    int frame;
    int next;
  };
  // Storage for kMaxSlots of them, each built when its slot is first handed out: a mixer playing
  // a few voices never touches, nor has the system fault in, the memory of the other slots.
  struct RawDelete {
    void operator()(void* p) const noexcept { ::operator delete(p); }
  };
  // A slot that has been handed out at least once.
  bool valid(SlotId slot) const noexcept { return slot >= 0 && slot < built_.load(std::memory_order_acquire); }

  void markPending(SlotId slot) noexcept;
  void issue(SlotId slot, uint32_t kind) noexcept;
  template <typename Fn>
  void takePending(Fn&& fn) noexcept;
  void applyPendingCommands(bool stopped = false) noexcept;
  void writeOut(const OutputPairs& out, int frames, uint32_t used) noexcept;
  // A slot's command and settings, as the start of a render call takes them in.
  void take(SlotId slot, const Settings& s, bool stopped) noexcept;
  void applyCommand(SlotId slot, bool stopped) noexcept;
  Settings settingsOf(SlotId slot) const noexcept;
  // A command as applyCommand takes it; false when it starts a slot out of the mix, which the
  // span leaves to its caller (see mixSpan).
  void applySettings(SlotId slot, const Settings& s, bool stopped) noexcept;
  void start(SlotId slot, bool looping, const Settings& s) noexcept;
  // Whether `s` starts slot `slot` while it is out of the mix.
  bool startsSlot(SlotId slot, const Settings& s) const noexcept;
  // The span's mix from frame `from` to `to` with the events captured so far.
  void mixSpan(int from, int to) noexcept;
  // Mixes one slot from `at` to `to`, applying its events from `e` on at their frames. Returns
  // the event that starts it again after it fell silent on the way, or -1; `alive` tells whether
  // it is sounding at `to`.
  int mixWithEvents(SlotId slot, int at, int e, int to, bool& alive) noexcept;
  // Adds frames [from, to) of the slot into its pair's part of the span; false when it finished.
  bool mixInto(Playback& p, int from, int to) noexcept;
  // The pair's part of the span, cleared when the span first plays on it.
  float* spanMix(const Playback& p) noexcept;
  // How many sounding slots from active_[i] on (before active_[end], up to kMaxFusedCopies, all
  // on one pair, all mono or all stereo) do nothing in [from, to) but copy their samples at a steady gain; mixes them at
  // once when there are two or more, and returns 0 otherwise.
  int mixPlainRun(int i, int end, int from, int to) noexcept;
  void beginRamp(Playback& p, float targetLeft, float targetRight) noexcept;
  void beginFadeOut(Playback& p) noexcept;
  void activate(SlotId slot) noexcept;
  // Takes a slot out of the mix, moving the later ones up (rare: a failed start, a stopped mixer).
  void deactivate(SlotId slot) noexcept;
  void keep(SlotId slot, int index) noexcept;
  void retire(SlotId slot) noexcept;
  void updateParameters(SlotId slot, Playback& p) noexcept;
  void follow(Playback& p, int32_t frequency, int output, int32_t volume, int32_t pan, int32_t trim) noexcept;
  // Fades out what a restarted slot was playing.
  void mixTail(Playback& p, float* out, int frames) noexcept;
  // Adds one slot into the interleaved scratch; false when the slot has finished.
  bool mixSlot(Playback& p, float* out, int frames) noexcept;
  void renderChunk(const OutputPairs& out, int frames) noexcept;
  uint64_t stepFor(int32_t hz) const noexcept;
  float gainFor(int32_t attenuation) const noexcept;
  // The left and right gains of a volume, a trim and a pan together.
  void targetGains(int32_t volume, int32_t trim, int32_t pan, float& left, float& right) const noexcept;

  std::atomic<int> deviceRate_{kOutputRate};
  int rampFrames_;
  std::unique_ptr<Control[], RawDelete> control_;
  std::unique_ptr<Playback[], RawDelete> playback_;
  std::atomic<SlotId> built_{0};
  std::unique_ptr<std::atomic<uint64_t>[]> pending_;  // one bit per slot with a new command
  std::unique_ptr<std::atomic<uint64_t>[]> summary_;  // one bit per non-zero pending word
  std::unique_ptr<SlotId[]> active_;
  int activeCount_ = 0;
  std::unique_ptr<SlotId[]> free_;
  int freeCount_ = 0;
  // Interleaved L R, kMaxBlockFrames frames, one per output pair; a pair's is cleared only in a
  // chunk where some slot plays on it.
  std::unique_ptr<float[]> scratch_;
  // Attenuation in hundredths of a dB -> linear gain, from -kMaxTrim (a boost) to silence.
  std::unique_ptr<float[]> gainTable_;
  // The open span: where it writes, how long it is, how far it is mixed, which pairs it used.
  OutputPairs span_{};
  int spanFrames_ = 0;
  int spanDone_ = 0;
  uint32_t spanUsed_ = 0;
  std::unique_ptr<Event[]> events_;
  int eventCount_ = 0;
  std::unique_ptr<SlotId[]> touched_;  // the slots with events, each once
  int touchedCount_ = 0;
  std::unique_ptr<int[]> restarts_;  // a heap of events that start a slot anew, earliest first
  int restartCount_ = 0;
  bool mixing_ = false;  // inside mixSpan
  std::atomic<bool> running_{false};
  std::atomic<uint64_t> started_{0};
  std::atomic<uint64_t> finished_{0};
};

}  // namespace zumbel
