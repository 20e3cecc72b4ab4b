#include "AudioSystem.h"

#include "JackAudioBackend.h"
#include "RtAudioBackend.h"

namespace zumbel {

const char* audioApiName(AudioApi api) noexcept {
  switch (api) {
    case AudioApi::kJack: return "JACK";
    case AudioApi::kPulse: return "PulseAudio";
    case AudioApi::kAlsa: return "ALSA";
  }
  return "";
}

std::vector<AudioDeviceInfo> SystemAudio::defaultCandidates() {
  // A running JACK server owns the sound card (PipeWire answers both JACK and PulseAudio);
  // otherwise PulseAudio mixes for the desktop, and plain ALSA is what is left.
  return {
      AudioDeviceInfo{AudioApi::kJack, "JACK", "", -1},
      AudioDeviceInfo{AudioApi::kPulse, "PulseAudio: default", "", -1},
      AudioDeviceInfo{AudioApi::kAlsa, "ALSA: default", "default", -1},
  };
}

std::optional<std::vector<AudioDeviceInfo>> SystemAudio::listDevices() {
  // The sound server and the cards first, the JACK clients after them: clients come and go with
  // the programs that make them, and should not move the numbers of the devices that stay.
  std::vector<AudioDeviceInfo> devices = listRtAudioOutputs(AudioApi::kPulse);
  std::vector<AudioDeviceInfo> more = listRtAudioOutputs(AudioApi::kAlsa);
  devices.insert(devices.end(), more.begin(), more.end());
  more = listJackOutputs();
  devices.insert(devices.end(), more.begin(), more.end());
  return devices;
}

std::unique_ptr<AudioBackend> SystemAudio::createBackend(const AudioDeviceInfo& device) {
  if (device.api == AudioApi::kJack) return std::make_unique<JackAudioBackend>(device);
  return std::make_unique<RtAudioBackend>(device);
}

}  // namespace zumbel
