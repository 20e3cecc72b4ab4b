#pragma once
// ALSA and PulseAudio output through RtAudio: float, non-interleaved stereo, so the mixer writes
// straight into the device's buffers. One stereo pair only: a sound routed to an output of its own
// plays in the main mix here (the request's outputPairs is for JACK). RtAudio reports trouble by
// throwing; every call into it is caught here and turned into a status.

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AudioBackend.h"

class RtAudio;

namespace zumbel {

// The output devices RtAudio offers for `api` (kPulse or kAlsa), named for a person
// ("ALSA: HDA Intel PCH", "PulseAudio: ..."), each with its RtAudio index and name. Empty when
// the API is not built into RtAudio or has nothing; never throws.
std::vector<AudioDeviceInfo> listRtAudioOutputs(AudioApi api);

// Fills each entry's description from its RtAudio name (`module`). ALSA calls a device
// "hw:<card name>,<device>"; people know the card name, so the device number is kept only for a
// card with several outputs in the list.
void describeRtAudioOutputs(std::vector<AudioDeviceInfo>& devices);

// The rates an open tries, in order: the asked rate, the device's own, then the rest it offers,
// each once and only within kMinDeviceRate..kMaxDeviceRate. Empty when the device offers rates
// but none within the bounds. An empty `offered` (the device did not say) still tries the first
// two.
std::vector<int> rateTrialOrder(int preferred, int deviceRate, const std::vector<unsigned>& offered);

// The buffers (periods) an output stream of `api` is opened with at `periodFrames` and `rate`;
// 0 leaves RtAudio's own choice.
unsigned streamBuffers(AudioApi api, int periodFrames, int rate) noexcept;
// The output latency in frames: what RtAudio reports when it knows, otherwise the buffers the
// stream holds (RtAudio writes back what ALSA granted).
int outputLatency(long reported, unsigned buffers, int periodFrames) noexcept;

// One period for RtAudio: the cycle's mix limited to -1..1, or silence without a cycle. RtAudio
// turns float into a card's integer format without clipping, so an over (two loud hits at once,
// or interpolation overshooting a normalised sample) would wrap round to the opposite extreme:
// a full-scale crack instead of a clipped peak.
void renderClippedPeriod(LiveCycle* cycle, float* left, float* right, int frames, uint64_t nowNs) noexcept;

class RtAudioBackend final : public AudioBackend {
 public:
  // `device.index` -1 opens the API's default output device.
  explicit RtAudioBackend(AudioDeviceInfo device);
  ~RtAudioBackend() override;

  OpenStatus open(const AudioStreamRequest& request, std::string& detail) override;
  bool start(LiveCycle& cycle, std::string& detail) override;
  void close() noexcept override;

  int sampleRate() const noexcept override { return rate_; }
  int periodFrames() const noexcept override { return period_; }
  int outputLatencyFrames() const noexcept override { return latency_; }
  // RtAudio calls the callback whenever the device takes data: PulseAudio asks for several
  // periods at once, so a period comes up to the whole buffer early.
  int wakeSlackFrames() const noexcept override { return latency_; }
  uint64_t xrunCount() const noexcept override { return xruns_.load(std::memory_order_relaxed); }
  bool alive() const noexcept override { return alive_.load(std::memory_order_relaxed); }
  std::string openedName() const override;

 private:
  static int callback(void* output, void* input, unsigned int frames, double streamTime,
                      unsigned int status, void* self);

  AudioDeviceInfo device_;
  std::unique_ptr<RtAudio> audio_;
  LiveCycle* cycle_ = nullptr;
  int rate_ = 0;
  int period_ = 0;
  int latency_ = 0;
  // The audio thread has raised its own scheduling; set before the stream starts.
  bool scheduled_ = false;
  std::atomic<uint64_t> xruns_{0};
  std::atomic<bool> alive_{true};
};

}  // namespace zumbel
