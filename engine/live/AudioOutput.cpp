#include "AudioOutput.h"

#include <algorithm>

#include "AudioSystem.h"
#include "DrumEngine.h"
#include "JackAudioBackend.h"
#include "Prompts.h"
#include "StoredDevice.h"

namespace zumbel {

namespace {

constexpr std::string_view kErrorCaption = "Error";
constexpr std::string_view kCannotCreate = "Internal Error: 'Can not Create DirectSound'";
constexpr std::string_view kNoPrimaryBuffer = "Internal Error: 'Could not create a primary_buffer'.";
constexpr std::string_view kNoRate = "Internal Error: 'Output for 44.1kHz not found'.";
constexpr std::string_view kScanFailed = "Internal Error: 'Failed to scan DX devices'.";
constexpr std::string_view kDriverNotValid = "Driver not valid";
constexpr std::string_view kDoesNotWork =
    " does not seem to work.\n(Please check manufacturer for updated driver).\nChanging to default audio driver.";
constexpr std::string_view kDefaultDescription = "System default";

// How far an attempt got: a later stage's failure says more about what is wrong.
int stage(OpenStatus s) {
  switch (s) {
    case OpenStatus::kNoDevice: return 0;
    case OpenStatus::kNoStream: return 1;
    case OpenStatus::kNoRate: return 2;
    case OpenStatus::kOk: return 3;
  }
  return 0;
}

bool sameDevice(const AudioDeviceInfo& a, const AudioDeviceInfo& b) { return a.api == b.api && a.module == b.module; }

bool isListed(const std::vector<AudioDeviceInfo>& devices, const AudioDeviceInfo& device) {
  return std::any_of(devices.begin(), devices.end(), [&](const AudioDeviceInfo& d) { return sameDevice(d, device); });
}

// Puts `device` back where the system lists it among its own kind: before the first of them with
// a higher index, else after the last of them, else at the end.
void keepListed(std::vector<AudioDeviceInfo>& devices, const AudioDeviceInfo& device) {
  if (isListed(devices, device)) return;
  auto at = devices.end();
  for (auto it = devices.begin(); it != devices.end(); ++it) {
    if (it->api != device.api) continue;
    if (device.index >= 0 && it->index > device.index) {
      at = it;
      break;
    }
    at = it + 1;
  }
  devices.insert(at, device);
}

}  // namespace

AudioOutput::AudioOutput(DrumEngine& engine, AudioSystem& system, Prompts& prompts)
    : engine_(engine), system_(system), prompts_(prompts), cycle_(engine) {}

AudioOutput::~AudioOutput() { close(); }

JackAudioBackend* AudioOutput::jack() noexcept { return dynamic_cast<JackAudioBackend*>(backend_.get()); }

std::optional<AudioDeviceList> AudioOutput::ListAudioDevices() {
  std::optional<std::vector<AudioDeviceInfo>> found = system_.listDevices();
  if (!found) return std::nullopt;
  std::vector<AudioDeviceInfo>& devices = *found;
  if (backend_ && inUse_) keepListed(devices, *inUse_);
  AudioDeviceList list;
  list.devices.push_back(AudioDeviceInfo{AudioApi::kJack, std::string(kDefaultDescription), "", -1});
  for (AudioDeviceInfo& d : devices) {
    if (list.count() >= kMaxAudioDevices) break;
    list.devices.push_back(std::move(d));
  }
  if (backend_ && inUse_ && !isListed(list.devices, *inUse_)) list.devices.back() = *inUse_;
  return list;
}

void AudioOutput::close() noexcept {
  if (!backend_) return;
  inUse_.reset();
  backend_->close();
  backend_.reset();
  engine_.mixer().setRunning(false);
  // Voices retired while the device played can go now that no cycle can reach them.
  engine_.voices().collect();
}

bool AudioOutput::closeIfLost() noexcept {
  if (!backend_ || backend_->alive()) return false;
  close();
  return true;
}

OpenStatus AudioOutput::openDevice(const AudioDeviceInfo& device) {
  std::unique_ptr<AudioBackend> backend = system_.createBackend(device);
  std::string detail;
  OpenStatus status = backend ? backend->open(request_, detail) : OpenStatus::kNoDevice;
  if (status == OpenStatus::kOk) {
    Mixer& mixer = engine_.mixer();
    mixer.setDeviceRate(backend->sampleRate());
    cycle_.prepare(backend->sampleRate(), backend->periodFrames(), backend->wakeSlackFrames());
    mixer.setRunning(true);
    if (backend->start(cycle_, detail)) {
      backend_ = std::move(backend);
      playingApi_ = device.api;
      detail_.clear();
      return OpenStatus::kOk;
    }
    backend->close();
    mixer.setRunning(false);
    status = OpenStatus::kNoStream;
  }
  if (!detail_.empty()) detail_ += "; ";
  detail_ += device.description + ": " + (detail.empty() ? "failed" : detail);
  return status;
}

void AudioOutput::showOpenFailure(OpenStatus status) {
  if (status == OpenStatus::kNoRate) {
    prompts_.showMessage(kNoRate, kErrorCaption);
  } else {
    prompts_.showMessage(kNoPrimaryBuffer, kErrorCaption);
  }
}

void AudioOutput::rememberMidiPatch() {
  if (JackAudioBackend* client = jack()) patchedMidi_ = client->connectedMidiSources();
}

void AudioOutput::restoreMidiPatch() {
  JackAudioBackend* client = jack();
  if (!client) return;
  for (const std::string& source : patchedMidi_) client->connectMidiSource(source);
  patchedMidi_.clear();
}

bool AudioOutput::setOutputPairs(int pairs) noexcept {
  request_.outputPairs = std::clamp(pairs, 1, kMixerOutputPairs);
  return backend_ && playingApi_ == AudioApi::kJack && backend_->outputPairs() != request_.outputPairs;
}

int AudioOutput::reopen() {
  if (!backend_ || !inUse_) return InitAudioOutput(0);
  const AudioDeviceInfo device = *inUse_;
  detail_.clear();
  rememberMidiPatch();
  close();
  const OpenStatus status = openDevice(device);
  if (status != OpenStatus::kOk) {
    if (status == OpenStatus::kNoDevice) {
      prompts_.showMessage(device.description + std::string(kDoesNotWork), kErrorCaption);
    } else {
      showOpenFailure(status);
    }
    return 0;
  }
  inUse_ = device;
  restoreMidiPatch();
  return 1;
}

int AudioOutput::InitAudioOutput(int device, const std::string& name) {
  detail_.clear();
  if (device == 0) {
    // Opening the default again replaces whatever plays now; the voices stay.
    rememberMidiPatch();
    close();
    OpenStatus best = OpenStatus::kNoDevice;
    for (const AudioDeviceInfo& candidate : system_.defaultCandidates()) {
      const OpenStatus status = openDevice(candidate);
      if (status == OpenStatus::kOk) {
        restoreMidiPatch();
        return 1;
      }
      if (stage(status) > stage(best)) best = status;
    }
    if (best == OpenStatus::kNoDevice) {
      prompts_.showMessage(kCannotCreate, kAppCaption);
    } else {
      showOpenFailure(best);
    }
    return 0;
  }

  const std::optional<AudioDeviceList> list = ListAudioDevices();
  if (!list) {
    prompts_.showMessage(kScanFailed, kErrorCaption);
    return 0;
  }
  std::vector<std::string> names;
  for (const AudioDeviceInfo& d : list->devices) names.push_back(d.description);
  const std::optional<int> stored = findStoredDevice(device, name, names);
  if (stored) device = *stored;
  if (!stored || device < 0 || device >= list->count()) {
    prompts_.showMessage(kDriverNotValid, kErrorCaption);
    return 0;
  }
  const AudioDeviceInfo chosen = list->devices[static_cast<std::size_t>(device)];
  if (reloadVoices_) {
    reloadVoices_(false);
  } else {
    engine_.voices().ReleaseAllVoices();
  }
  rememberMidiPatch();
  close();
  const OpenStatus status = openDevice(chosen);
  if (status == OpenStatus::kNoDevice) {
    prompts_.showMessage(chosen.description + std::string(kDoesNotWork), kErrorCaption);
    return 0;
  }
  if (status != OpenStatus::kOk) {
    showOpenFailure(status);
    return 0;
  }
  inUse_ = chosen;
  restoreMidiPatch();
  if (reloadVoices_) reloadVoices_(true);
  return 1;
}

}  // namespace zumbel
