#include "SetPlayer.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "DrumEngine.h"
#include "LoadedSet.h"

namespace zumbel {

namespace {

int soundingSlots(const LoadedSet* set) noexcept {
  return set != nullptr && set->engine ? set->engine->mixer().activeSlotCount() : 0;
}

}  // namespace

SetPlayer::SetPlayer(int rate, int pairs)
    : handoverFrames_(static_cast<int64_t>(std::llround(kSetHandoverSeconds * rate))),
      rampFrames_(std::max(1, static_cast<int>(std::lround(kStopRampSeconds * rate)))),
      pairs_(std::clamp(pairs, 1, kMixerOutputPairs)),
      scratch_(std::make_unique<float[]>(static_cast<std::size_t>(2 * pairs_) * kMaxBlockFrames)) {}

SetPlayer::~SetPlayer() = default;

LoadedSet* SetPlayer::offer(LoadedSet* set) noexcept {
  LoadedSet* dropped = pending_;
  pending_ = set;
  if (set != nullptr && set->engine) set->engine->trigger().setMidiChannel(channel_);
  return dropped;
}

LoadedSet* SetPlayer::takeRetired() noexcept { return std::exchange(retired_, nullptr); }

bool SetPlayer::takeSwapped() noexcept { return std::exchange(swapped_, false); }

void SetPlayer::setChannel(int channel) noexcept {
  channel = std::clamp(channel, 1, kMidiChannels);
  if (channel == channel_) return;
  channel_ = channel;
  for (LoadedSet* set : {current_, fading_, pending_}) {
    if (set != nullptr && set->engine) set->engine->trigger().setMidiChannel(channel);
  }
}

void SetPlayer::swapIn() noexcept {
  if (soundingSlots(current_) > 0) {
    fading_ = current_;
    fadingAge_ = 0;
    ramping_ = false;
    rampLeft_ = 0;
  } else if (current_ != nullptr) {
    retired_ = current_;
  }
  current_ = std::exchange(pending_, nullptr);
  swapped_ = true;
}

void SetPlayer::process(const OutputPairs& given, int frames, std::span<const TimedMessage> messages) noexcept {
  frames = std::clamp(frames, 0, kMaxBlockFrames);
  OutputPairs out = given;
  out.count = pairs_;
  if (pending_ != nullptr && fading_ == nullptr && retired_ == nullptr) swapIn();
  // The replaced set makes way at once while another set waits.
  if (fading_ != nullptr && !ramping_ && (pending_ != nullptr || fadingAge_ >= handoverFrames_)) {
    ramping_ = true;
    rampLeft_ = rampFrames_;
  }

  if (current_ != nullptr && current_->engine) {
    current_->engine->process(out, frames, messages);
  } else {
    for (int k = 0; k < pairs_; ++k) {
      std::fill_n(out.left[static_cast<std::size_t>(k)], frames, 0.0f);
      std::fill_n(out.right[static_cast<std::size_t>(k)], frames, 0.0f);
    }
  }
  if (fading_ == nullptr) return;

  // The old set hears everything but new notes: a note-off still ends the note it began.
  std::size_t count = 0;
  for (const TimedMessage& m : messages) {
    const bool noteOn = (messageStatus(m.message) & 0xF0) == 0x90 && messageData2(m.message) > 0;
    if (!noteOn && count < forFading_.size()) forFading_[count++] = m;
  }
  OutputPairs old;
  old.count = pairs_;
  for (int k = 0; k < pairs_; ++k) {
    old.left[static_cast<std::size_t>(k)] = scratch_.get() + static_cast<std::ptrdiff_t>(2 * k) * kMaxBlockFrames;
    old.right[static_cast<std::size_t>(k)] = old.left[static_cast<std::size_t>(k)] + kMaxBlockFrames;
  }
  fading_->engine->process(old, frames, std::span<const TimedMessage>(forFading_.data(), count));
  for (int k = 0; k < pairs_; ++k) {
    const auto at = static_cast<std::size_t>(k);
    float* left = out.left[at];
    float* right = out.right[at];
    const float* oldLeft = old.left[at];
    const float* oldRight = old.right[at];
    for (int f = 0; f < frames; ++f) {
      const float gain =
          ramping_ ? static_cast<float>(std::max(0, rampLeft_ - f)) / static_cast<float>(rampFrames_) : 1.0f;
      left[f] += gain * oldLeft[f];
      right[f] += gain * oldRight[f];
    }
  }
  fadingAge_ += frames;
  if (ramping_) rampLeft_ = std::max(0, rampLeft_ - frames);
  const bool over = soundingSlots(fading_) == 0 || (ramping_ && rampLeft_ == 0);
  if (over && retired_ == nullptr) retired_ = std::exchange(fading_, nullptr);
}

void SetPlayer::silence() noexcept {
  for (LoadedSet* set : {current_, fading_}) {
    if (set != nullptr && set->engine) set->engine->mixer().silence();
  }
}

std::array<LoadedSet*, 4> SetPlayer::releaseAll() noexcept {
  std::array<LoadedSet*, 4> all{std::exchange(current_, nullptr), std::exchange(fading_, nullptr),
                                std::exchange(pending_, nullptr), std::exchange(retired_, nullptr)};
  return all;
}

}  // namespace zumbel
