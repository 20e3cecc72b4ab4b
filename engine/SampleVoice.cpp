#include "SampleVoice.h"

#include <algorithm>
#include <bit>

#include "EngineTally.h"
#include "Limits.h"
#include "Prompts.h"

namespace zumbel {

namespace {
constexpr std::string_view kVoiceErrorCaption = "RUR";
constexpr std::string_view kCreateBufferFailed = "En onnistunut luomaan bufferia";

std::shared_ptr<const PcmBlock> copyOf(const int16_t* data, uint32_t lengthBytes) {
  const int64_t frames = static_cast<int64_t>(lengthBytes / kOutputBlockAlign);
  return frames > 0 ? PcmBlock::create(data, frames) : nullptr;
}

}  // namespace

SampleVoice::SampleVoice(Prompts* owner, Mixer& mixer, const int16_t* data, uint32_t lengthBytes,
                         int bufferCount, std::string path, int32_t pan, int32_t looping,
                         int32_t followsPitchBend, int32_t playbackRate)
    : SampleVoice(owner, mixer, copyOf(data, lengthBytes), bufferCount, std::move(path), pan, looping,
                  followsPitchBend, playbackRate) {}

SampleVoice::SampleVoice(Prompts* owner, Mixer& mixer, std::shared_ptr<const PcmBlock> pcm, int bufferCount,
                         std::string path, int32_t pan, int32_t looping, int32_t followsPitchBend,
                         int32_t playbackRate)
    : mixer_(mixer),
      pcm_(std::move(pcm)),
      path_(std::move(path)),
      bufferCount_(std::clamp(bufferCount, 1, kSoundVoiceBuffers)),
      pan_(pan),
      looping_(looping),
      followsPitchBend_(followsPitchBend),
      baseRate_(playbackRate) {
  slots_.fill(kNoSlot);
  // A buffer of no frames cannot be made, as with any audio output.
  if (pcm_ && pcm_->frameCount() == 0) pcm_.reset();
  if (pcm_) slots_[0] = mixer_.acquireSlot(pcm_.get());
  if (slots_[0] == kNoSlot) {
    // Out of memory or out of slots: the voice stays silent, as a failed buffer would.
    pcm_.reset();
    if (owner) owner->showMessage(kCreateBufferFailed, kVoiceErrorCaption);
  } else {
    // Duplicates share the block; one that cannot be had just never sounds.
    for (int i = 1; i < bufferCount_; ++i) slots_[static_cast<std::size_t>(i)] = mixer_.acquireSlot(pcm_.get());
  }
  SetPan(pan);
  SetPitch(playbackRate);
  if (baseRate_ == 0) baseRate_ = kOutputRate;
  zumbel_engine_tally.voicesAlive.fetch_add(1, std::memory_order_relaxed);
}

SampleVoice::~SampleVoice() {
  detach();
  // Without an audio thread the mixer forgets the slots now; with one, the voice table only
  // destroys a voice after the cycles that could see it.
  mixer_.applyCommandsWhileStopped();
  for (int i = bufferCount_ - 1; i >= 0; --i) mixer_.recycleSlot(slots_[static_cast<std::size_t>(i)]);
  zumbel_engine_tally.voicesAlive.fetch_sub(1, std::memory_order_relaxed);
}

void SampleVoice::detach() noexcept {
  for (auto& alternate : alternates_) alternate->detach();
  if (detached_) return;
  detached_ = true;
  for (int i = bufferCount_ - 1; i >= 0; --i) mixer_.releaseSlot(slots_[static_cast<std::size_t>(i)]);
}

bool SampleVoice::isSilent() const noexcept {
  for (int i = 0; i < bufferCount_; ++i) {
    if (!mixer_.isIdle(slots_[static_cast<std::size_t>(i)])) return false;
  }
  for (const auto& alternate : alternates_) {
    if (!alternate->isSilent()) return false;
  }
  return true;
}

bool SampleVoice::addAlternate(std::unique_ptr<SampleVoice> take) {
  if (!take || take->slots_[0] == kNoSlot || !take->alternates_.empty() ||
      static_cast<int>(alternates_.size()) >= kMaxAlternates) {
    return false;
  }
  alternates_.push_back(std::move(take));
  return true;
}

SampleVoice* SampleVoice::take(int k) noexcept {
  if (k == 0) return this;
  if (k < 0 || k >= takeCount()) return nullptr;
  return alternates_[static_cast<std::size_t>(k - 1)].get();
}

const SampleVoice* SampleVoice::take(int k) const noexcept { return const_cast<SampleVoice*>(this)->take(k); }

void SampleVoice::SetLooping(bool on) noexcept {
  looping_ = on ? 1 : 0;
  for (auto& alternate : alternates_) alternate->SetLooping(on);
}

void SampleVoice::SetFollowsPitchBend(bool on) noexcept {
  followsPitchBend_ = on ? 1 : 0;
  for (auto& alternate : alternates_) alternate->SetFollowsPitchBend(on);
}

void SampleVoice::SetBaseRate(int32_t rate) noexcept {
  baseRate_ = rate == 0 ? kOutputRate : rate;
  for (auto& alternate : alternates_) alternate->SetBaseRate(rate);
}

void SampleVoice::Play() noexcept {
  const int next = std::clamp<int>(nextBuffer_, 0, bufferCount_ - 1);
  // A looping voice restarts the same buffer, so only one copy ever sounds.
  const bool looping = looping_ != 0;
  mixer_.play(slots_[static_cast<std::size_t>(next)], looping);
  const uint32_t bit = uint32_t{1} << next;
  // Hits repeated without a stop between them find their bit already set and write nothing.
  if ((played_.load(std::memory_order_seq_cst) & bit) == 0) played_.fetch_or(bit, std::memory_order_seq_cst);
  if (!looping) nextBuffer_ = next + 1 == bufferCount_ ? 0 : next + 1;
}

void SampleVoice::Stop() noexcept {
  if (played_.load(std::memory_order_seq_cst) != 0) {
    for (uint32_t bits = played_.exchange(0, std::memory_order_seq_cst); bits != 0; bits &= bits - 1) {
      mixer_.stop(slots_[static_cast<std::size_t>(std::countr_zero(bits))]);
    }
  }
  for (auto& alternate : alternates_) alternate->Stop();
}

void SampleVoice::SetVolume(int32_t volume) noexcept {
  volume_ = volume;
  mixer_.setVolume(slots_[static_cast<std::size_t>(std::clamp<int>(nextBuffer_, 0, bufferCount_ - 1))], volume);
}

void SampleVoice::SetPan(int32_t pan) noexcept {
  for (int i = bufferCount_ - 1; i >= 0; --i) mixer_.setPan(slots_[static_cast<std::size_t>(i)], pan);
  for (auto& alternate : alternates_) alternate->SetPan(pan);
}

void SampleVoice::SetTrim(int32_t trim) noexcept {
  trim_ = trim;
  for (int i = bufferCount_ - 1; i >= 0; --i) mixer_.setTrim(slots_[static_cast<std::size_t>(i)], trim);
  for (auto& alternate : alternates_) alternate->SetTrim(trim);
}

void SampleVoice::SetOutput(int output) noexcept {
  output_ = output;
  for (int i = bufferCount_ - 1; i >= 0; --i) mixer_.setOutput(slots_[static_cast<std::size_t>(i)], output);
  for (auto& alternate : alternates_) alternate->SetOutput(output);
}

void SampleVoice::SetPitch(int32_t value) noexcept {
  for (auto& alternate : alternates_) alternate->SetPitch(value);
  if (followsPitchBend_ != 0) {
    // The value is a pitch-bend position; the base rate stays.
    const int64_t hz = int64_t{value} + baseRate_ - kPitchBendOffset;
    const auto clamped = static_cast<int32_t>(std::clamp<int64_t>(hz, INT32_MIN, INT32_MAX));
    for (int i = bufferCount_ - 1; i >= 0; --i) mixer_.setFrequency(slots_[static_cast<std::size_t>(i)], clamped);
    return;
  }
  baseRate_ = value;
  // 0 asks for the buffer's own rate, which is the output rate.
  const int32_t hz = value == kOutputRate ? 0 : value;
  for (int i = bufferCount_ - 1; i >= 0; --i) mixer_.setFrequency(slots_[static_cast<std::size_t>(i)], hz);
}

}  // namespace zumbel
