#pragma once
// The audio outputs the machine offers and how each is opened. The output (AudioOutput) asks
// through this interface, so its rules (which device number means what, which message for which
// failure) are tested against a scripted system.

#include <memory>
#include <optional>
#include <vector>

#include "AudioBackend.h"

namespace zumbel {

class AudioSystem {
 public:
  virtual ~AudioSystem() = default;
  // The devices the system default may be, in order of preference.
  virtual std::vector<AudioDeviceInfo> defaultCandidates() = 0;
  // Every output device after the default, in order; nothing when enumeration failed.
  virtual std::optional<std::vector<AudioDeviceInfo>> listDevices() = 0;
  virtual std::unique_ptr<AudioBackend> createBackend(const AudioDeviceInfo& device) = 0;
};

// The real machine: JACK when a server runs, then PulseAudio, then ALSA.
class SystemAudio final : public AudioSystem {
 public:
  std::vector<AudioDeviceInfo> defaultCandidates() override;
  std::optional<std::vector<AudioDeviceInfo>> listDevices() override;
  std::unique_ptr<AudioBackend> createBackend(const AudioDeviceInfo& device) override;
};

}  // namespace zumbel
