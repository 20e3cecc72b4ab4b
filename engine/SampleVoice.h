#pragma once
// One playable sample: a PCM block held by several mixer slots ("buffers"), so that quick
// repeated hits of the same sound overlap; each Play starts the next buffer in turn.
//
// A layer's voice may own alternate takes of its hit, voices of their own that the note trigger
// engine picks from (take 0 is the voice itself). They are added on the user-interface thread
// before the voice is published and never change after. Whatever concerns the whole layer (stop,
// pan, pitch, level, output, the switches, detach) reaches every take; SetVolume and Play act on
// the one take they are called on.
//
// Play, Stop, SetVolume and SetPitch run on the audio thread (the note trigger engine) while the
// user-interface thread may call SetPan, SetPitch and the switches; every field either side
// writes is one 32-bit value written whole. None of the operations allocates or blocks.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "EngineConfig.h"
#include "Mixer.h"
#include "PcmBlock.h"
#include "RelaxedInt.h"

namespace zumbel {

class Prompts;

// Buffers for each alternate of a layer playing `takes` takes: together the takes overlap about
// as many hits as the layer's own voice alone does, since a strict turn comes back to a take only
// every `takes` hits; never fewer than kMinAlternateVoiceBuffers, so a take picked again soon at
// random still lets its last hit ring. A layer with alternates then holds at most about twice the
// slots of one without.
constexpr int alternateBufferCount(int takes) noexcept {
  const int t = takes < 1 ? 1 : takes;
  const int share = (kSoundVoiceBuffers + t - 1) / t;
  return share < kMinAlternateVoiceBuffers ? kMinAlternateVoiceBuffers : share;
}

class SampleVoice {
 public:
  // Plays `pcm`, which other voices may share; the block lives at least as long as the voice.
  // Pan, looping, pitch-bend following and playback rate are the sound's settings (all 0 for the
  // preview voice). A missing or empty block, or no free slot, is shown through `owner` and
  // leaves a voice whose operations do nothing.
  SampleVoice(Prompts* owner, Mixer& mixer, std::shared_ptr<const PcmBlock> pcm, int bufferCount, std::string path,
              int32_t pan, int32_t looping, int32_t followsPitchBend, int32_t playbackRate);
  // The same over a copy of `lengthBytes` bytes of 16-bit stereo frames.
  SampleVoice(Prompts* owner, Mixer& mixer, const int16_t* data, uint32_t lengthBytes, int bufferCount,
              std::string path, int32_t pan, int32_t looping, int32_t followsPitchBend, int32_t playbackRate);
  // The voice table destroys voices only once no audio cycle can still reach them.
  virtual ~SampleVoice();
  SampleVoice(const SampleVoice&) = delete;
  SampleVoice& operator=(const SampleVoice&) = delete;

  void Play() noexcept;
  void Stop() noexcept;
  void SetVolume(int32_t volume) noexcept;  // on the buffer the next Play starts
  void SetPan(int32_t pan) noexcept;        // on every buffer
  void SetPitch(int32_t value) noexcept;
  // The sound's level with the layer's gain (hundredths of a dB, kMinTrim or below: silent) and
  // the output pair, on every buffer: a sounding hit glides to a new level within one cycle.
  void SetTrim(int32_t trim) noexcept;
  void SetOutput(int output) noexcept;
  // Take effect at the next Play / SetPitch.
  void SetLooping(bool on) noexcept;
  void SetFollowsPitchBend(bool on) noexcept;
  // The rate pitch bend bends around (0: as recorded); heard from the next pitch-bend value.
  void SetBaseRate(int32_t rate) noexcept;

  // Silences every buffer (with a short fade when one is sounding) and gives the slots back to
  // the mixer to forget. The voice's memory stays valid until it is destroyed.
  void detach() noexcept;
  // True once no buffer of any take is in the mix any more.
  bool isSilent() const noexcept;

  // --- alternate takes ---
  // User-interface thread, before the voice is published. Refused (false, and `take` is
  // destroyed) when it is null, got no mixer slot, has alternates of its own, or the voice
  // already has kMaxAlternates.
  bool addAlternate(std::unique_ptr<SampleVoice> take);
  // 1 + the alternates.
  int takeCount() const noexcept { return 1 + static_cast<int>(alternates_.size()); }
  // Take k: 0 is this voice, 1.. its alternates in the order they were added; null outside.
  SampleVoice* take(int k) noexcept;
  const SampleVoice* take(int k) const noexcept;

  const std::string& path() const noexcept { return path_; }
  int bufferCount() const noexcept { return bufferCount_; }
  bool looping() const noexcept { return looping_ != 0; }
  bool followsPitchBend() const noexcept { return followsPitchBend_ != 0; }
  int32_t baseRate() const noexcept { return baseRate_; }
  int32_t pan() const noexcept { return pan_; }
  int32_t volume() const noexcept { return volume_; }
  int32_t trim() const noexcept { return trim_; }
  int output() const noexcept { return output_; }
  int nextBuffer() const noexcept { return nextBuffer_; }
  SlotId buffer(int i) const noexcept { return slots_[static_cast<std::size_t>(i)]; }
  int64_t frameCount() const noexcept { return pcm_ ? pcm_->frameCount() : 0; }
  const std::shared_ptr<const PcmBlock>& pcm() const noexcept { return pcm_; }

 private:
  Mixer& mixer_;
  std::shared_ptr<const PcmBlock> pcm_;
  std::array<SlotId, kSoundVoiceBuffers> slots_;
  std::string path_;
  int bufferCount_;
  int32_t pan_;
  RelaxedInt looping_;
  RelaxedInt followsPitchBend_;
  RelaxedInt baseRate_;
  RelaxedInt volume_{0};
  RelaxedInt trim_{0};
  RelaxedInt output_{0};
  RelaxedInt nextBuffer_{0};
  // One bit per buffer started since the last Stop: only those can be sounding, so stopping a
  // voice that was not played since (most of a choke group, most of a set on All Sound Off)
  // costs one load instead of a mixer command per buffer. Set after the mixer's play command and
  // taken whole before the stop commands, so a Stop racing a Play from the other thread either
  // stops that buffer or leaves its bit for the next Stop.
  std::atomic<uint32_t> played_{0};
  static_assert(kSoundVoiceBuffers <= 32);
  bool detached_ = false;
  std::vector<std::unique_ptr<SampleVoice>> alternates_;
};

}  // namespace zumbel
