#include "Mixer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <type_traits>
#include <utility>

#include "EngineTally.h"
#include "MixKernels.h"

namespace zumbel {

namespace {

// A command word holds a sequence number above a two-bit kind, so a reader can tell a new
// command from one it has already applied and always sees the latest whole.
constexpr uint32_t kPlayOnce = 1;
constexpr uint32_t kPlayLooping = 2;
constexpr uint32_t kStop = 3;

constexpr int kPendingWords = (kMaxSlots + 63) / 64;
// The pairs' scratch areas lie this many floats apart: a whole block and one cache line more, so
// that the eight areas do not all fall on the same cache sets, as areas a power of two apart would.
constexpr std::ptrdiff_t kPairScratchStride = 2 * kMaxBlockFrames + 16;
// One bit per pending word, so a scan touches only the words that have news.
constexpr int kSummaryWords = (kPendingWords + 63) / 64;

}  // namespace

// Written by any thread, read by the audio thread.
struct Mixer::Control {
  std::atomic<const PcmBlock*> pcm{nullptr};
  std::atomic<uint32_t> command{0};
  std::atomic<int32_t> volume{0};
  std::atomic<int32_t> pan{0};
  std::atomic<int32_t> frequency{0};
  std::atomic<int32_t> trim{0};
  std::atomic<int32_t> output{0};
  std::atomic<bool> released{false};
  // Written by the audio thread: false while the slot is in the mix. Once a released slot reads
  // true here, nothing on the audio thread reads its PCM block again.
  std::atomic<bool> idle{true};
};

// The audio thread's own state of a slot.
struct Mixer::Playback {
  const PcmBlock* pcm = nullptr;
  uint64_t position = 0;  // 32.32 frames
  uint64_t step = kUnitStep;
  uint32_t seenSequence = 0;
  int32_t volume = 0;  // the values the gains were worked out from
  int32_t pan = 0;
  int32_t frequency = 0;
  int32_t trim = 0;
  int output = 0;
  float gainLeft = 0, gainRight = 0;  // now; during a ramp, the gain of the next frame
  float targetLeft = 0, targetRight = 0;
  // A ramp runs from its start gains by delta a frame, rampTotal frames long; rampLeft remain.
  float rampStartLeft = 0, rampStartRight = 0;
  float deltaLeft = 0, deltaRight = 0;
  int rampTotal = 0;
  int rampLeft = 0;
  int activeIndex = -1;
  bool looping = false;
  bool fading = false;  // ramping to silence; the slot ends with the ramp
  // What was sounding when the slot was started again: it fades out over the ramp alongside
  // the new start instead of being cut off mid-wave.
  uint64_t tailPosition = 0;
  uint64_t tailStep = kUnitStep;
  float tailStartLeft = 0, tailStartRight = 0;
  float tailDeltaLeft = 0, tailDeltaRight = 0;
  int tailTotal = 0;
  int tailFrames = 0;  // still to play
  bool tailLooping = false;
  // The slot's first and last event in the open span (Mixer::Event), -1 for none.
  int firstEvent = -1;
  int lastEvent = -1;
};

Mixer::Mixer(int deviceRate)
    : control_(static_cast<Control*>(::operator new(sizeof(Control) * kMaxSlots))),
      playback_(static_cast<Playback*>(::operator new(sizeof(Playback) * kMaxSlots))),
      pending_(new std::atomic<uint64_t>[kPendingWords]),
      summary_(new std::atomic<uint64_t>[kSummaryWords]),
      active_(new SlotId[kMaxSlots]),
      free_(new SlotId[kMaxSlots]),
      scratch_(new float[kPairScratchStride * kMixerOutputPairs]),
      gainTable_(new float[kMaxTrim - kSilentVolume + 1]),
      events_(new Event[kMaxSpanEvents]),
      touched_(new SlotId[kMaxSpanEvents]),
      restarts_(new int[kMaxSpanEvents]) {
  for (int w = 0; w < kPendingWords; ++w) pending_[w].store(0, std::memory_order_relaxed);
  for (int w = 0; w < kSummaryWords; ++w) summary_[w].store(0, std::memory_order_relaxed);
  static_assert(std::is_trivially_destructible_v<Control> && std::is_trivially_destructible_v<Playback>,
                "slot storage is freed without running destructors");
  for (int i = 0; i < kMaxSlots; ++i) free_[i] = kMaxSlots - 1 - i;  // slot 0 goes out first
  freeCount_ = kMaxSlots;
  for (int a = -kMaxTrim; a < -kSilentVolume; ++a) {
    gainTable_[a + kMaxTrim] = static_cast<float>(std::pow(10.0, -a / 2000.0));
  }
  gainTable_[kMaxTrim - kSilentVolume] = 0.0f;  // -100 dB is silence, as the volume range promises
  setDeviceRate(deviceRate);
}

Mixer::~Mixer() {
  // Slots still in the mix leave it with the mixer.
  zumbel_engine_tally.slotsMixing.fetch_sub(activeCount_, std::memory_order_relaxed);
}

void Mixer::setDeviceRate(int rate) noexcept {
  const int r = std::max(1, rate);
  deviceRate_.store(r, std::memory_order_relaxed);
  rampFrames_ = std::max(1, static_cast<int>(std::lround(kStopRampSeconds * r)));
  for (int i = 0; i < activeCount_; ++i) {
    Playback& p = playback_[active_[i]];
    p.step = stepFor(p.frequency);
  }
}

SlotId Mixer::acquireSlot(const PcmBlock* pcm) noexcept {
  if (freeCount_ == 0) return kNoSlot;
  const SlotId slot = free_[--freeCount_];
  // Slots go out lowest first, so the slots ever used are always 0 .. built - 1.
  const SlotId built = built_.load(std::memory_order_relaxed);
  if (slot >= built) {
    for (SlotId s = built; s <= slot; ++s) {
      new (&control_[s]) Control();
      new (&playback_[s]) Playback();
    }
    built_.store(slot + 1, std::memory_order_release);
  }
  Control& c = control_[slot];
  c.volume.store(0, std::memory_order_relaxed);
  c.pan.store(0, std::memory_order_relaxed);
  c.frequency.store(0, std::memory_order_relaxed);
  c.trim.store(0, std::memory_order_relaxed);
  c.output.store(0, std::memory_order_relaxed);
  c.pcm.store(pcm, std::memory_order_release);
  c.released.store(false, std::memory_order_release);
  return slot;
}

void Mixer::releaseSlot(SlotId slot) noexcept {
  if (!valid(slot)) return;
  control_[slot].released.store(true, std::memory_order_seq_cst);
  markPending(slot);
}

void Mixer::recycleSlot(SlotId slot) noexcept {
  if (!valid(slot) || freeCount_ >= kMaxSlots) return;
  free_[freeCount_++] = slot;
}

void Mixer::applyCommandsWhileStopped() noexcept {
  if (running()) return;
  applyPendingCommands(true);
  // Slots released while an audio thread ran may still be fading; with none running they go now.
  int kept = 0;
  for (int i = 0; i < activeCount_; ++i) {
    const SlotId slot = active_[i];
    if (control_[slot].released.load(std::memory_order_acquire)) {
      retire(slot);
    } else {
      keep(slot, kept++);
    }
  }
  activeCount_ = kept;
}

void Mixer::markPending(SlotId slot) noexcept {
  const int word = slot >> 6;
  // A word that already had a bit is in the summary, or in a scan that has taken its summary bit
  // and has yet to take the word: only a word that was empty needs its summary bit.
  if (pending_[word].fetch_or(uint64_t{1} << (slot & 63), std::memory_order_seq_cst) != 0) return;
  summary_[word >> 6].fetch_or(uint64_t{1} << (word & 63), std::memory_order_seq_cst);
}

void Mixer::issue(SlotId slot, uint32_t kind) noexcept {
  if (!valid(slot)) return;
  std::atomic<uint32_t>& word = control_[slot].command;
  uint32_t old = word.load(std::memory_order_relaxed);
  while (!word.compare_exchange_weak(old, (((old >> 2) + 1) << 2) | kind, std::memory_order_release,
                                     std::memory_order_relaxed)) {
  }
  markPending(slot);
}

void Mixer::play(SlotId slot, bool looping) noexcept { issue(slot, looping ? kPlayLooping : kPlayOnce); }
void Mixer::stop(SlotId slot) noexcept { issue(slot, kStop); }

void Mixer::setVolume(SlotId slot, int32_t volume) noexcept {
  if (!valid(slot)) return;
  control_[slot].volume.store(std::clamp(volume, kSilentVolume, kFullVolume), std::memory_order_relaxed);
  markPending(slot);
}

void Mixer::setPan(SlotId slot, int32_t pan) noexcept {
  if (!valid(slot)) return;
  control_[slot].pan.store(std::clamp(pan, kPanLeft, kPanRight), std::memory_order_relaxed);
  markPending(slot);
}

void Mixer::setTrim(SlotId slot, int32_t trim) noexcept {
  if (!valid(slot)) return;
  control_[slot].trim.store(std::clamp(trim, kMinTrim, kMaxTrim), std::memory_order_relaxed);
  markPending(slot);
}

void Mixer::setOutput(SlotId slot, int output) noexcept {
  if (!valid(slot)) return;
  control_[slot].output.store(output >= 0 && output < kMixerOutputPairs ? output : 0, std::memory_order_relaxed);
  markPending(slot);
}

bool Mixer::setFrequency(SlotId slot, int32_t hz) noexcept {
  if (!valid(slot)) return false;
  if (hz != 0 && (hz < kMinFrequency || hz > kMaxFrequency)) return false;
  control_[slot].frequency.store(hz, std::memory_order_relaxed);
  markPending(slot);
  return true;
}

int32_t Mixer::volume(SlotId slot) const noexcept {
  return !valid(slot) ? 0 : control_[slot].volume.load(std::memory_order_relaxed);
}
int32_t Mixer::pan(SlotId slot) const noexcept {
  return !valid(slot) ? 0 : control_[slot].pan.load(std::memory_order_relaxed);
}
int32_t Mixer::frequency(SlotId slot) const noexcept {
  return !valid(slot) ? 0 : control_[slot].frequency.load(std::memory_order_relaxed);
}
int32_t Mixer::trim(SlotId slot) const noexcept {
  return !valid(slot) ? 0 : control_[slot].trim.load(std::memory_order_relaxed);
}
int Mixer::output(SlotId slot) const noexcept {
  return !valid(slot) ? 0 : control_[slot].output.load(std::memory_order_relaxed);
}

bool Mixer::isSounding(SlotId slot) const noexcept {
  return valid(slot) && playback_[slot].activeIndex >= 0;
}

bool Mixer::isIdle(SlotId slot) const noexcept {
  return !valid(slot) || control_[slot].idle.load(std::memory_order_acquire);
}

void Mixer::beginCycle() noexcept {
  // Sequentially consistent, like the release of a slot and the command scan: a release that
  // happened before the user-interface thread read the counter is seen by the next cycle's scan.
  started_.fetch_add(1, std::memory_order_seq_cst);
  // Every cycle applies what is pending, even one that renders no frames, so that a release is
  // never counted as seen by a cycle that did not look.
  applyPendingCommands();
}

void Mixer::silence() noexcept {
  applyPendingCommands();
  for (int i = 0; i < activeCount_; ++i) retire(active_[i]);
  activeCount_ = 0;
}

void Mixer::endCycle() noexcept { finished_.fetch_add(1, std::memory_order_release); }

uint64_t Mixer::stepFor(int32_t hz) const noexcept {
  const uint64_t f = static_cast<uint64_t>(hz == 0 ? kOutputRate : hz);
  const auto rate = static_cast<uint64_t>(deviceRate_.load(std::memory_order_relaxed));
  return ((f << 32) + rate / 2) / rate;
}

float Mixer::gainFor(int32_t attenuation) const noexcept {
  return gainTable_[std::clamp(attenuation, -kMaxTrim, -kSilentVolume) + kMaxTrim];
}

void Mixer::targetGains(int32_t volume, int32_t trim, int32_t pan, float& left, float& right) const noexcept {
  // The volume law never lifts a hit above full scale; a trim may (up to kMaxTrim), and a trim at
  // the floor silences the slot whatever the volume.
  const float base = trim <= kMinTrim || volume <= kSilentVolume ? 0.0f : gainFor(-(std::clamp(volume, kSilentVolume, kFullVolume) + trim));
  left = base * (pan > 0 ? gainFor(pan) : 1.0f);
  right = base * (pan < 0 ? gainFor(-pan) : 1.0f);
}

void Mixer::activate(SlotId slot) noexcept {
  Playback& p = playback_[slot];
  if (p.activeIndex >= 0) return;
  p.activeIndex = activeCount_;
  active_[activeCount_++] = slot;
  control_[slot].idle.store(false, std::memory_order_relaxed);
  zumbel_engine_tally.slotsMixing.fetch_add(1, std::memory_order_relaxed);
}

// The active slots keep the order they started in, so a frame's sum adds the same voices in the
// same order however the frames are split into blocks: a host's block sizes never change a sample.
void Mixer::deactivate(SlotId slot) noexcept {
  const int at = playback_[slot].activeIndex;
  if (at < 0) return;
  for (int i = at + 1; i < activeCount_; ++i) keep(active_[i], i - 1);
  --activeCount_;
  retire(slot);
}

void Mixer::keep(SlotId slot, int index) noexcept {
  active_[index] = slot;
  playback_[slot].activeIndex = index;
}

void Mixer::retire(SlotId slot) noexcept {
  playback_[slot].activeIndex = -1;
  control_[slot].idle.store(true, std::memory_order_release);
  zumbel_engine_tally.slotsMixing.fetch_sub(1, std::memory_order_relaxed);
}

template <typename Fn>
void Mixer::takePending(Fn&& fn) noexcept {
  // Lowest slot first: slots started at one frame join the mix in that order.
  for (int s = 0; s < kSummaryWords; ++s) {
    if (summary_[s].load(std::memory_order_seq_cst) == 0) continue;
    uint64_t words = summary_[s].exchange(0, std::memory_order_seq_cst);
    while (words != 0) {
      const int w = s * 64 + __builtin_ctzll(words);
      words &= words - 1;
      uint64_t bits = pending_[w].exchange(0, std::memory_order_seq_cst);
      while (bits != 0) {
        const int bit = __builtin_ctzll(bits);
        bits &= bits - 1;
        fn(w * 64 + bit);
      }
    }
  }
}

void Mixer::applyPendingCommands(bool stopped) noexcept {
  takePending([this, stopped](SlotId slot) { applyCommand(slot, stopped); });
}

Mixer::Settings Mixer::settingsOf(SlotId slot) const noexcept {
  const Control& c = control_[slot];
  Settings s{};
  s.command = c.command.load(std::memory_order_acquire);
  s.released = c.released.load(std::memory_order_acquire);
  s.pcm = c.pcm.load(std::memory_order_acquire);
  s.volume = c.volume.load(std::memory_order_relaxed);
  s.pan = c.pan.load(std::memory_order_relaxed);
  s.frequency = c.frequency.load(std::memory_order_relaxed);
  s.trim = c.trim.load(std::memory_order_relaxed);
  s.output = c.output.load(std::memory_order_relaxed);
  return s;
}

void Mixer::applyCommand(SlotId slot, bool stopped) noexcept { take(slot, settingsOf(slot), stopped); }

void Mixer::take(SlotId slot, const Settings& s, bool stopped) noexcept {
  applySettings(slot, s, stopped);
  // The new settings of a sounding slot, as a render call takes them in at its start.
  Playback& p = playback_[slot];
  if (p.activeIndex >= 0) follow(p, s.frequency, s.output, s.volume, s.pan, s.trim);
}

void Mixer::applySettings(SlotId slot, const Settings& s, bool stopped) noexcept {
  Playback& p = playback_[slot];
  const uint32_t command = s.command;
  const uint32_t sequence = command >> 2;
  if (s.released) {
    // A voice taken away while it sounds fades out like a stop; with no audio running there is
    // nothing to fade, and applyCommandsWhileStopped takes every released slot out of the mix in
    // one pass before its memory goes.
    if (!stopped && p.activeIndex >= 0 && !p.fading) {
      beginFadeOut(p);
    }
    p.seenSequence = sequence;
    return;
  }
  if (sequence == p.seenSequence) return;
  p.seenSequence = sequence;
  switch (command & 3) {
    case kPlayOnce:
      start(slot, false, s);
      break;
    case kPlayLooping:
      start(slot, true, s);
      break;
    case kStop:
      if (p.activeIndex >= 0) beginFadeOut(p);
      break;
    default:
      break;
  }
}

bool Mixer::startsSlot(SlotId slot, const Settings& s) const noexcept {
  const uint32_t kind = s.command & 3;
  return !s.released && (s.command >> 2) != playback_[slot].seenSequence && (kind == kPlayOnce || kind == kPlayLooping);
}

void Mixer::start(SlotId slot, bool looping, const Settings& s) noexcept {
  Playback& p = playback_[slot];
  p.pcm = s.pcm;
  if (p.pcm == nullptr || p.pcm->frameCount() == 0) {
    // A span's mix drops a slot from its list in its own pass.
    if (!mixing_) {
      deactivate(slot);
    } else if (p.activeIndex >= 0) {
      retire(slot);
    }
    return;
  }
  if (p.activeIndex >= 0 && (p.gainLeft != 0.0f || p.gainRight != 0.0f)) {
    // Restarting a sounding slot (the seventeenth quick hit, a loop played again).
    const int frames = std::max(1, p.fading ? p.rampLeft : rampFrames_);
    p.tailPosition = p.position;
    p.tailStep = p.step;
    p.tailLooping = p.looping;
    p.tailStartLeft = p.gainLeft;
    p.tailStartRight = p.gainRight;
    p.tailDeltaLeft = -p.gainLeft / static_cast<float>(frames);
    p.tailDeltaRight = -p.gainRight / static_cast<float>(frames);
    p.tailTotal = p.tailFrames = frames;
  } else {
    p.tailFrames = 0;
  }
  p.position = 0;
  p.looping = looping;
  p.fading = false;
  p.rampLeft = 0;
  p.frequency = s.frequency;
  p.step = stepFor(p.frequency);
  p.volume = s.volume;
  p.pan = s.pan;
  p.trim = s.trim;
  p.output = s.output;
  // A hit starts at full level at once: its attack is the point of a drum sample.
  targetGains(p.volume, p.trim, p.pan, p.targetLeft, p.targetRight);
  p.gainLeft = p.targetLeft;
  p.gainRight = p.targetRight;
  activate(slot);
}

void Mixer::beginRamp(Playback& p, float targetLeft, float targetRight) noexcept {
  p.targetLeft = targetLeft;
  p.targetRight = targetRight;
  p.rampStartLeft = p.gainLeft;
  p.rampStartRight = p.gainRight;
  p.rampTotal = p.rampLeft = rampFrames_;
  p.deltaLeft = (targetLeft - p.gainLeft) / static_cast<float>(rampFrames_);
  p.deltaRight = (targetRight - p.gainRight) / static_cast<float>(rampFrames_);
}

void Mixer::beginFadeOut(Playback& p) noexcept {
  p.fading = true;
  beginRamp(p, 0.0f, 0.0f);
}

void Mixer::updateParameters(SlotId slot, Playback& p) noexcept {
  const Control& c = control_[slot];
  follow(p, c.frequency.load(std::memory_order_relaxed), c.output.load(std::memory_order_relaxed),
         c.volume.load(std::memory_order_relaxed), c.pan.load(std::memory_order_relaxed),
         c.trim.load(std::memory_order_relaxed));
}

void Mixer::follow(Playback& p, int32_t frequency, int output, int32_t volume, int32_t pan, int32_t trim) noexcept {
  if (frequency != p.frequency) {
    p.frequency = frequency;
    p.step = stepFor(frequency);
  }
  // A slot moved to another pair finishes there; its fade or glide goes with it.
  p.output = output;
  if (p.fading) return;  // a fade keeps going to silence whatever the volume says
  if (volume == p.volume && pan == p.pan && trim == p.trim) return;
  p.volume = volume;
  p.pan = pan;
  p.trim = trim;
  // A sounding slot glides to its new level instead of jumping, which would click.
  float left = 0, right = 0;
  targetGains(volume, trim, pan, left, right);
  beginRamp(p, left, right);
}

namespace {

// Sample `i` of channel `ch`, wrapping around a loop; outside a one-shot block it is silence
// (the block's padding).
inline float sampleAt(const int16_t* frames, int channels, int64_t count, int64_t i, int ch, bool looping) noexcept {
  if (looping && (i >= count || i < 0)) i = ((i % count) + count) % count;
  return frames[channels * i + (channels == 2 ? ch : 0)];
}

// The frames next to a loop's seam, one at a time: their neighbours wrap around the loop.
inline void mixSeamFrame(const int16_t* data, int channels, int64_t count, uint64_t position, float* dst,
                         float gainLeft, float gainRight) noexcept {
  const auto idx = static_cast<int64_t>(position >> 32);
  const float t = fractionOf(position);
  for (int ch = 0; ch < 2; ++ch) {
    const float v = cubicPoint(sampleAt(data, channels, count, idx - 1, ch, true),
                               sampleAt(data, channels, count, idx, ch, true),
                               sampleAt(data, channels, count, idx + 1, ch, true),
                               sampleAt(data, channels, count, idx + 2, ch, true), t);
    dst[ch] += v * kSampleScale * (ch == 0 ? gainLeft : gainRight);
  }
}

// Positions from which `count` frames of cubic interpolation read no frame across a loop's seam
// (a one-shot block's padding covers its ends).
struct SafeRange {
  uint64_t from, limit;
};
inline SafeRange safeRange(int64_t count, bool looping) noexcept {
  const uint64_t end = static_cast<uint64_t>(count) << 32;
  // A loop's first frame interpolates against its last one, so it takes the wrapping path too.
  if (!looping) return {0, end};
  return {kUnitStep, count > 2 ? static_cast<uint64_t>(count - 2) << 32 : 0};
}

}  // namespace

void Mixer::mixTail(Playback& p, float* out, int frames) noexcept {
  const int16_t* data = p.pcm->frames();
  const int channels = p.pcm->channels();
  const int64_t count = p.pcm->frameCount();
  const uint64_t end = static_cast<uint64_t>(count) << 32;
  const SafeRange safe = safeRange(count, p.tailLooping);
  const int n = std::min(frames, p.tailFrames);
  int done = 0;
  while (done < n) {
    if (p.tailPosition >= end) {
      if (!p.tailLooping) {
        p.tailFrames = 0;
        return;
      }
      p.tailPosition %= end;
    }
    const GainRamp ramp{p.tailStartLeft, p.tailStartRight, p.tailDeltaLeft, p.tailDeltaRight,
                        p.tailTotal - p.tailFrames + done};
    if (p.tailPosition >= safe.from && p.tailPosition < safe.limit) {
      const uint64_t reachable = (safe.limit - p.tailPosition + p.tailStep - 1) / p.tailStep;
      const int m = static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(n - done), reachable));
      p.tailPosition = (channels == 1 ? mixCubicRampMono : mixCubicRamp)(data, p.tailPosition, p.tailStep,
                                                                         out + 2 * done, m, ramp);
      done += m;
    } else {
      mixSeamFrame(data, channels, count, p.tailPosition, out + 2 * done,
                   rampGain(ramp.startLeft, ramp.deltaLeft, ramp.first),
                   rampGain(ramp.startRight, ramp.deltaRight, ramp.first));
      p.tailPosition += p.tailStep;
      ++done;
    }
  }
  p.tailFrames -= n;
}

bool Mixer::mixSlot(Playback& p, float* out, int frames) noexcept {
  if (p.tailFrames > 0) mixTail(p, out, frames);
  const int16_t* data = p.pcm->frames();
  const int channels = p.pcm->channels();
  const bool mono = channels == 1;
  const int64_t count = p.pcm->frameCount();
  const uint64_t end = static_cast<uint64_t>(count) << 32;
  const SafeRange safe = safeRange(count, p.looping);
  int done = 0;
  while (done < frames) {
    if (p.position >= end) {
      if (!p.looping) return false;
      p.position %= end;
    }
    // A glide or a fade takes the same paths as the steady mix, each frame at its own gain.
    const bool ramping = p.rampLeft > 0;
    const int want = ramping ? std::min(frames - done, p.rampLeft) : frames - done;
    float* dst = out + 2 * done;
    const GainRamp ramp{p.rampStartLeft, p.rampStartRight, p.deltaLeft, p.deltaRight, p.rampTotal - p.rampLeft};
    int n = 0;
    if (!ramping && p.gainLeft == 0.0f && p.gainRight == 0.0f) {
      // Silent but running: only the position moves, so the slot ends when its sample would.
      const uint64_t advance = p.step * static_cast<uint64_t>(want);
      if (!p.looping && end - p.position <= advance) return false;
      p.position = p.looping ? (p.position + advance) % end : p.position + advance;
      n = want;
    } else if (p.step == kUnitStep && (p.position & 0xFFFFFFFFu) == 0) {
      const auto idx = static_cast<int64_t>(p.position >> 32);
      n = static_cast<int>(std::min<int64_t>(want, count - idx));
      if (ramping) {
        (mono ? mixCopyRampMono : mixCopyRamp)(data + channels * idx, dst, n, ramp);
      } else {
        (mono ? mixCopyMono : mixCopy)(data + channels * idx, dst, n, p.gainLeft, p.gainRight);
      }
      p.position += static_cast<uint64_t>(n) << 32;
    } else if (p.position >= safe.from && p.position < safe.limit) {
      const uint64_t reachable = (safe.limit - p.position + p.step - 1) / p.step;
      n = static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(want), reachable));
      p.position = ramping ? (mono ? mixCubicRampMono : mixCubicRamp)(data, p.position, p.step, dst, n, ramp)
                           : (mono ? mixCubicMono : mixCubic)(data, p.position, p.step, dst, n, p.gainLeft,
                                                              p.gainRight);
    } else {
      mixSeamFrame(data, channels, count, p.position, dst,
                   ramping ? rampGain(ramp.startLeft, ramp.deltaLeft, ramp.first) : p.gainLeft,
                   ramping ? rampGain(ramp.startRight, ramp.deltaRight, ramp.first) : p.gainRight);
      p.position += p.step;
      n = 1;
    }
    done += n;
    if (!ramping) continue;
    p.rampLeft -= n;
    if (p.rampLeft == 0) {
      p.gainLeft = p.targetLeft;
      p.gainRight = p.targetRight;
      if (p.fading) return false;
    } else {
      p.gainLeft = rampGain(p.rampStartLeft, p.deltaLeft, p.rampTotal - p.rampLeft);
      p.gainRight = rampGain(p.rampStartRight, p.deltaRight, p.rampTotal - p.rampLeft);
    }
  }
  return true;
}

void Mixer::renderChunk(const OutputPairs& out, int frames) noexcept {
  const int pairs = std::clamp(out.count, 1, kMixerOutputPairs);
  uint32_t used = 0;  // pairs some slot played on in this chunk
  // Finished slots drop out in one pass that keeps the others in order.
  int kept = 0;
  for (int i = 0; i < activeCount_; ++i) {
    const SlotId slot = active_[i];
    Playback& p = playback_[slot];
    updateParameters(slot, p);
    const int pair = p.output < pairs ? p.output : 0;
    float* mix = scratch_.get() + pair * kPairScratchStride;
    if ((used & (1u << pair)) == 0) {
      used |= 1u << pair;
      std::fill_n(mix, 2 * frames, 0.0f);
    }
    if (mixSlot(p, mix, frames)) {
      keep(slot, kept++);
    } else {
      retire(slot);
    }
  }
  activeCount_ = kept;
  writeOut(out, frames, used);
}

void Mixer::writeOut(const OutputPairs& out, int frames, uint32_t used) noexcept {
  const int pairs = std::clamp(out.count, 1, kMixerOutputPairs);
  for (int k = 0; k < pairs; ++k) {
    float* left = out.left[static_cast<std::size_t>(k)];
    float* right = out.right[static_cast<std::size_t>(k)];
    if ((used & (1u << k)) == 0) {
      std::fill_n(left, frames, 0.0f);
      std::fill_n(right, frames, 0.0f);
      continue;
    }
    splitStereo(scratch_.get() + k * kPairScratchStride, left, right, frames);
  }
}

void Mixer::render(const OutputPairs& out, int frames) noexcept {
  applyPendingCommands();
  int done = 0;
  while (done < frames) {
    const int n = std::min(frames - done, kMaxBlockFrames);
    renderChunk(out.advanced(done), n);
    done += n;
  }
}

void Mixer::beginSpan(const OutputPairs& out, int frames) noexcept {
  span_ = out;
  spanFrames_ = std::clamp(frames, 0, kMaxBlockFrames);
  spanDone_ = 0;
  spanUsed_ = 0;
}

void Mixer::capture(int at) noexcept {
  at = std::clamp(at, spanDone_, spanFrames_);
  takePending([this, at](SlotId slot) {
    if (eventCount_ == kMaxSpanEvents) {
      // No room: the span is mixed up to here with what it holds, and goes on from here.
      mixSpan(spanDone_, at);
      spanDone_ = at;
    }
    const int e = eventCount_++;
    events_[e] = Event{settingsOf(slot), slot, at, -1};
    Playback& p = playback_[slot];
    if (p.firstEvent < 0) {
      p.firstEvent = e;
      touched_[touchedCount_++] = slot;
    } else {
      events_[p.lastEvent].next = e;
    }
    p.lastEvent = e;
  });
}

void Mixer::endSpan() noexcept {
  mixSpan(spanDone_, spanFrames_);
  spanDone_ = spanFrames_;
  writeOut(span_, spanFrames_, spanUsed_);
}

float* Mixer::spanMix(const Playback& p) noexcept {
  const int pairs = std::clamp(span_.count, 1, kMixerOutputPairs);
  const int pair = p.output < pairs ? p.output : 0;
  float* mix = scratch_.get() + pair * kPairScratchStride;
  if ((spanUsed_ & (1u << pair)) == 0) {
    spanUsed_ |= 1u << pair;
    std::fill_n(mix, 2 * spanFrames_, 0.0f);
  }
  return mix;
}

bool Mixer::mixInto(Playback& p, int from, int to) noexcept {
  if (to <= from) return true;
  return mixSlot(p, spanMix(p) + 2 * from, to - from);
}

int Mixer::mixPlainRun(int i, int end, int from, int to) noexcept {
  const int frames = to - from;
  if (frames <= 0) return 0;
  // Whether mixSlot would do nothing for these frames but mixCopy them at the slot's gains and
  // still sound after them: no tail, no ramp, no events, the step exactly one frame from a whole
  // frame, audible, and the sample not ending before. A silent slot is left to mixSlot, which
  // adds nothing at all (adding zeros could turn a -0 into a +0).
  const auto copiesPlainly = [frames](const Playback& p) {
    return p.firstEvent < 0 && p.tailFrames <= 0 && p.rampLeft <= 0 && p.step == kUnitStep &&
           (p.position & 0xFFFFFFFFu) == 0 && (p.gainLeft != 0.0f || p.gainRight != 0.0f) &&
           static_cast<int64_t>(p.position >> 32) + frames <= p.pcm->frameCount();
  };
  const Playback& first = playback_[active_[i]];
  if (!copiesPlainly(first)) return 0;
  const int pairs = std::clamp(span_.count, 1, kMixerOutputPairs);
  const auto pairOf = [pairs](const Playback& p) { return p.output < pairs ? p.output : 0; };
  int run = 1;
  while (run < kMaxFusedCopies && i + run < end) {
    const Playback& p = playback_[active_[i + run]];
    if (!copiesPlainly(p) || pairOf(p) != pairOf(first) || p.pcm->channels() != first.pcm->channels()) break;
    ++run;
  }
  if (run < 2) return 0;
  std::array<CopySource, kMaxFusedCopies> sources;
  for (int j = 0; j < run; ++j) {
    Playback& p = playback_[active_[i + j]];
    sources[static_cast<std::size_t>(j)] = {
        p.pcm->frames() + p.pcm->channels() * static_cast<int64_t>(p.position >> 32), p.gainLeft, p.gainRight};
    p.position += static_cast<uint64_t>(frames) << 32;
  }
  mixCopies(sources.data(), run, first.pcm->channels(), spanMix(first) + 2 * from, frames);
  return run;
}

int Mixer::mixWithEvents(SlotId slot, int at, int e, int to, bool& alive) noexcept {
  Playback& p = playback_[slot];
  for (; e >= 0; e = events_[e].next) {
    const Event& ev = events_[e];
    if (alive && ev.frame > at) {
      alive = mixInto(p, at, ev.frame);
      if (!alive) retire(slot);
    }
    at = ev.frame;
    if (!alive) {
      // Out of the mix, a start waits for its turn among the others (mixSpan); anything else
      // only moves the slot's sequence on.
      if (startsSlot(slot, ev.settings)) return e;
      applySettings(slot, ev.settings, false);
      continue;
    }
    take(ev.slot, ev.settings, false);
    alive = p.activeIndex >= 0;
  }
  if (alive) {
    alive = mixInto(p, at, to);
    if (!alive) retire(slot);
  }
  return -1;
}

void Mixer::mixSpan(int from, int to) noexcept {
  mixing_ = true;
  const auto later = [](int a, int b) { return a > b; };  // the heap gives the earliest event first
  const auto waitTurn = [this, &later](int e) {
    restarts_[restartCount_++] = e;
    std::push_heap(restarts_.get(), restarts_.get() + restartCount_, later);
  };
  // The slots sounding at `from`, in their order, each over the whole span with its own events;
  // finished ones drop out in one pass that keeps the others in order.
  int kept = 0;
  const int sounding = activeCount_;
  for (int i = 0; i < sounding; ++i) {
    // A few slots that only copy their samples through the whole span are added at once.
    if (const int run = mixPlainRun(i, sounding, from, to); run > 0) {
      for (int j = 0; j < run; ++j) keep(active_[i + j], kept++);
      i += run - 1;
      continue;
    }
    const SlotId slot = active_[i];
    const int first = std::exchange(playback_[slot].firstEvent, -1);
    bool alive = true;
    const int again = mixWithEvents(slot, from, first, to, alive);
    if (alive) keep(slot, kept++);
    if (again >= 0) waitTurn(again);
  }
  activeCount_ = kept;
  // The silent slots that were told something.
  for (int t = 0; t < touchedCount_; ++t) {
    const SlotId slot = touched_[t];
    const int first = std::exchange(playback_[slot].firstEvent, -1);
    if (first < 0) continue;
    bool alive = false;
    const int again = mixWithEvents(slot, from, first, to, alive);
    if (again >= 0) waitTurn(again);
  }
  // Slots started during the span join after the others, in the order of their starts (events
  // are kept in frame order, and a frame's in slot order), as rendering up to each start in turn
  // would have added them.
  while (restartCount_ > 0) {
    std::pop_heap(restarts_.get(), restarts_.get() + restartCount_, later);
    const Event& ev = events_[restarts_[--restartCount_]];
    take(ev.slot, ev.settings, false);
    bool alive = playback_[ev.slot].activeIndex >= 0;
    const int again = mixWithEvents(ev.slot, ev.frame, ev.next, to, alive);
    // A slot started here is the last in the list until it has been mixed.
    if (!alive && playback_[ev.slot].activeIndex < 0 && activeCount_ > 0 && active_[activeCount_ - 1] == ev.slot) {
      --activeCount_;
    }
    if (again >= 0) waitTurn(again);
  }
  touchedCount_ = 0;
  eventCount_ = 0;
  mixing_ = false;
}

}  // namespace zumbel
