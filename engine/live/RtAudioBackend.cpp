#include "RtAudioBackend.h"

#include <RtAudio.h>
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <map>
#include <optional>

#include "AlsaMidiInput.h"
#include "EngineConfig.h"
#include "LiveCycle.h"

namespace zumbel {

namespace {

// RtAudio's error callback carries no pointer of ours. What it reports from the audio thread
// (a lost device) belongs to the backend whose callback runs on that thread, and what it reports
// from a call made here belongs to that call; a thread-local slot per side keeps them apart.
struct ErrorSink {
  std::atomic<bool>* alive = nullptr;  // set by the audio callback on its own thread
  std::string* text = nullptr;         // set around a call on the user-interface thread
};
thread_local ErrorSink tErrorSink;

class CaptureErrors {
 public:
  explicit CaptureErrors(std::string& text) noexcept { tErrorSink.text = &text; }
  ~CaptureErrors() { tErrorSink.text = nullptr; }
  CaptureErrors(const CaptureErrors&) = delete;
  CaptureErrors& operator=(const CaptureErrors&) = delete;
};

bool contains(const std::string& text, const char* words) { return text.find(words) != std::string::npos; }

// Underruns are counted through the stream status; a write that fails for any other reason
// (ALSA and PulseAudio report an unplugged device or a vanished server that way, as a mere
// warning) or any real error means the device is gone.
bool meansDeviceLost(RtAudioError::Type type, const std::string& text) {
  if (type == RtAudioError::WARNING || type == RtAudioError::DEBUG_WARNING) {
    return contains(text, "write error") && !contains(text, "underrun");
  }
  return true;
}

void onRtAudioError(RtAudioError::Type type, const std::string& text) {
  ErrorSink& sink = tErrorSink;
  if (sink.text != nullptr && type != RtAudioError::WARNING && type != RtAudioError::DEBUG_WARNING) {
    *sink.text = text;
  }
  if (sink.alive != nullptr && meansDeviceLost(type, text)) sink.alive->store(false, std::memory_order_relaxed);
}

std::optional<RtAudio::Api> rtApiOf(AudioApi api) {
  RtAudio::Api wanted;
  switch (api) {
    case AudioApi::kPulse: wanted = RtAudio::LINUX_PULSE; break;
    case AudioApi::kAlsa: wanted = RtAudio::LINUX_ALSA; break;
    default: return std::nullopt;
  }
  std::vector<RtAudio::Api> compiled;
  RtAudio::getCompiledApi(compiled);
  if (std::find(compiled.begin(), compiled.end(), wanted) == compiled.end()) return std::nullopt;
  return wanted;
}

std::unique_ptr<RtAudio> makeRtAudio(AudioApi api, std::string& detail) {
  const std::optional<RtAudio::Api> rtApi = rtApiOf(api);
  if (!rtApi) {
    detail = std::string("RtAudio was built without ") + audioApiName(api);
    return nullptr;
  }
  if (api == AudioApi::kAlsa) silenceAlsaLibMessages();
  try {
    auto audio = std::make_unique<RtAudio>(*rtApi);
    audio->showWarnings(false);
    return audio;
  } catch (const std::exception& e) {
    detail = e.what();
  } catch (...) {
    detail = "RtAudio could not be started";
  }
  return nullptr;
}

// Splits RtAudio's ALSA name "hw:<card name>,<device>"; nothing for "default" and the like.
std::optional<std::pair<std::string, std::string>> splitAlsaName(const std::string& name) {
  if (name.rfind("hw:", 0) != 0) return std::nullopt;
  const std::size_t comma = name.rfind(',');
  if (comma == std::string::npos || comma <= 3 || comma + 1 == name.size()) return std::nullopt;
  const std::string device = name.substr(comma + 1);
  if (!std::all_of(device.begin(), device.end(), [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
  return std::make_pair(name.substr(3, comma - 3), device);
}

// The RtAudio index of `device`, looked up again by name when the index a list gave has since
// moved to another device (a card plugged in or out). -1 when it is gone. A device another
// program holds cannot be probed and comes back nameless; its index is kept, so the open
// reports it as unreachable rather than gone.
int findDevice(RtAudio& audio, const AudioDeviceInfo& device, unsigned count) {
  if (device.index < 0) {
    // RtAudio's default for ALSA is the first card; the system's default is the PCM named so.
    for (unsigned i = 0; !device.module.empty() && i < count; ++i) {
      if (audio.getDeviceInfo(i).name == device.module) return static_cast<int>(i);
    }
    return static_cast<int>(audio.getDefaultOutputDevice());
  }
  if (static_cast<unsigned>(device.index) < count) {
    const std::string name = audio.getDeviceInfo(static_cast<unsigned>(device.index)).name;
    if (device.module.empty() || name.empty() || name == device.module) return device.index;
  }
  for (unsigned i = 0; i < count; ++i) {
    if (audio.getDeviceInfo(i).name == device.module) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

void describeRtAudioOutputs(std::vector<AudioDeviceInfo>& devices) {
  std::map<std::string, int> outputsPerCard;
  for (const AudioDeviceInfo& d : devices) {
    if (d.api != AudioApi::kAlsa) continue;
    if (const auto parts = splitAlsaName(d.module)) ++outputsPerCard[parts->first];
  }
  for (AudioDeviceInfo& d : devices) {
    std::string label = d.module;
    if (d.api == AudioApi::kAlsa) {
      if (const auto parts = splitAlsaName(d.module)) {
        label = parts->first;
        if (outputsPerCard[parts->first] > 1) label += " (device " + parts->second + ")";
      }
    }
    d.description = std::string(audioApiName(d.api)) + ": " + label;
  }
}

std::vector<int> rateTrialOrder(int preferred, int deviceRate, const std::vector<unsigned>& offered) {
  const auto inRange = [](long long r) { return r >= kMinDeviceRate && r <= kMaxDeviceRate; };
  if (!offered.empty() && std::none_of(offered.begin(), offered.end(), inRange)) return {};
  std::vector<int> order;
  const auto add = [&](long long r) {
    if (inRange(r) && std::find(order.begin(), order.end(), r) == order.end()) order.push_back(static_cast<int>(r));
  };
  add(preferred);
  add(deviceRate);
  for (unsigned r : offered) add(r);
  return order;
}

unsigned streamBuffers(AudioApi api, int periodFrames, int rate) noexcept {
  // Left to itself RtAudio asks PulseAudio for no particular buffer, and the server then buffers
  // 130 ms and more ahead of the sink: every note would sound that late. Three periods keep the
  // stream fed through a late wake-up, but the server itself wakes on timers a few milliseconds
  // apart: below about 10 ms of buffer the stream runs dry now and then (the server logs it, the
  // program cannot hear of it through RtAudio), so short periods get as many more as that takes.
  // ALSA's own choice (four periods) stays.
  if (api != AudioApi::kPulse) return 0;
  constexpr int kMinPulseBufferMs = 10;
  const int period = std::max(periodFrames, 1);
  const int wanted = (std::max(rate, 1) * kMinPulseBufferMs / 1000 + period - 1) / period;
  return static_cast<unsigned>(std::max(3, wanted));
}

int outputLatency(long reported, unsigned buffers, int periodFrames) noexcept {
  // RtAudio measures ALSA's delay only once the stream runs and never PulseAudio's; until then a
  // period rendered waits behind the buffers the stream was opened with.
  if (reported > 0) return static_cast<int>(reported);
  return static_cast<int>(std::max(1u, buffers)) * periodFrames;
}

std::vector<AudioDeviceInfo> listRtAudioOutputs(AudioApi api) {
  std::vector<AudioDeviceInfo> devices;
  std::string ignored;
  std::unique_ptr<RtAudio> audio = makeRtAudio(api, ignored);
  if (!audio) return devices;
  try {
    const unsigned count = audio->getDeviceCount();
    for (unsigned i = 0; i < count && static_cast<int>(devices.size()) < kMaxAudioDevices; ++i) {
      const RtAudio::DeviceInfo info = audio->getDeviceInfo(i);
      if (!info.probed || info.outputChannels < 1) continue;
      devices.push_back(AudioDeviceInfo{api, "", info.name, static_cast<int>(i)});
    }
  } catch (...) {
    // What was listed before the failure is still true.
  }
  describeRtAudioOutputs(devices);
  return devices;
}

RtAudioBackend::RtAudioBackend(AudioDeviceInfo device) : device_(std::move(device)) {}

RtAudioBackend::~RtAudioBackend() { close(); }

OpenStatus RtAudioBackend::open(const AudioStreamRequest& request, std::string& detail) {
  close();
  rate_ = period_ = latency_ = 0;
  scheduled_ = false;
  xruns_.store(0, std::memory_order_relaxed);
  alive_.store(true, std::memory_order_relaxed);

  audio_ = makeRtAudio(device_.api, detail);
  if (!audio_) return OpenStatus::kNoDevice;

  int id = -1;
  RtAudio::DeviceInfo info;
  try {
    const unsigned count = audio_->getDeviceCount();
    id = count == 0 ? -1 : findDevice(*audio_, device_, count);
    if (id < 0 || static_cast<unsigned>(id) >= count) {
      detail = device_.index < 0 ? std::string("no output device") : "device " + device_.module + " is gone";
      audio_.reset();
      return OpenStatus::kNoDevice;
    }
    info = audio_->getDeviceInfo(static_cast<unsigned>(id));
  } catch (const std::exception& e) {
    detail = e.what();
    audio_.reset();
    return OpenStatus::kNoDevice;
  } catch (...) {
    detail = "its devices could not be listed";
    audio_.reset();
    return OpenStatus::kNoDevice;
  }
  if (!info.probed || info.outputChannels < 1) {
    const std::string name = info.name.empty() ? device_.module : info.name;
    detail = "device " + name +
             (info.probed ? " has no outputs" : " does not answer (another program may hold it)");
    audio_.reset();
    return OpenStatus::kNoDevice;
  }
  if (device_.description.empty()) {
    std::vector<AudioDeviceInfo> one{AudioDeviceInfo{device_.api, "", info.name, id}};
    describeRtAudioOutputs(one);
    device_.description = one.front().description;
  }

  const std::vector<int> rates = rateTrialOrder(request.preferredRate, static_cast<int>(info.preferredSampleRate),
                                                info.sampleRates);
  if (rates.empty()) {
    detail = "device " + info.name + " offers no rate the mixer plays";
    audio_.reset();
    return OpenStatus::kNoRate;
  }

  // RtAudio throws one and the same error type for every failed open, so its words decide. A
  // message about the sample rate is a refused rate: the next one is tried. One saying the device
  // would not open or could not be connected to means it is out of reach, which no other rate
  // changes. Anything else is a stream failure, and the next rate is still tried because hardware
  // often ties period sizes to the rate. Only when every refusal was about the rate does the
  // open report kNoRate.
  RtAudio::StreamParameters params;
  params.deviceId = static_cast<unsigned>(id);
  params.nChannels = kOutputChannels;
  params.firstChannel = 0;
  bool onlyRateRefusals = true;
  std::string firstOtherFailure;
  for (int rate : rates) {
    RtAudio::StreamOptions options;
    // Not RTAUDIO_SCHEDULE_REALTIME: with it RtAudio's audio thread writes a line to std::cerr as
    // it starts, which flushes the tied std::cout under the main thread's feet (the command's
    // first lines came out torn or twice). The callback raises its own thread instead.
    options.flags = RTAUDIO_NONINTERLEAVED;
    options.streamName = kClientName;
    unsigned frames = static_cast<unsigned>(std::clamp(request.periodFrames, kMinPeriodFrames, kMaxPeriodFrames));
    options.numberOfBuffers = streamBuffers(device_.api, static_cast<int>(frames), rate);
    std::string failure;
    {
      CaptureErrors capture(failure);
      try {
        audio_->openStream(&params, nullptr, RTAUDIO_FLOAT32, static_cast<unsigned>(rate), &frames,
                           &RtAudioBackend::callback, this, &options, &onRtAudioError);
      } catch (const std::exception& e) {
        failure = e.what();
      } catch (...) {
        failure = "RtAudio gave no reason";
      }
    }
    if (audio_->isStreamOpen()) {
      // ALSA settles on the nearest rate the card plays, which may not be the one asked for.
      const int settled = static_cast<int>(audio_->getStreamSampleRate());
      if (settled >= kMinDeviceRate && settled <= kMaxDeviceRate) {
        rate_ = settled;
        period_ = static_cast<int>(frames);
        long latency = 0;
        try {
          latency = audio_->getStreamLatency();
        } catch (...) {
        }
        latency_ = outputLatency(latency, options.numberOfBuffers, period_);
        return OpenStatus::kOk;
      }
      try {
        audio_->closeStream();
      } catch (...) {
      }
      failure = "the device settled on sample rate " + std::to_string(settled);
    }
    if (failure.empty()) failure = "RtAudio gave no reason";
    if (contains(failure, "sample rate")) {
      detail = failure;
      continue;
    }
    if (contains(failure, " open") || contains(failure, "connect")) {
      detail = failure;
      audio_.reset();
      return OpenStatus::kNoDevice;
    }
    onlyRateRefusals = false;
    if (firstOtherFailure.empty()) firstOtherFailure = failure;
  }
  if (!onlyRateRefusals) detail = firstOtherFailure;
  audio_.reset();
  return onlyRateRefusals ? OpenStatus::kNoRate : OpenStatus::kNoStream;
}

bool RtAudioBackend::start(LiveCycle& cycle, std::string& detail) {
  if (!audio_ || !audio_->isStreamOpen()) {
    detail = "no stream is open";
    return false;
  }
  // Before the stream runs, so its first period already reaches the cycle.
  cycle_ = &cycle;
  std::string failure;
  {
    CaptureErrors capture(failure);
    try {
      audio_->startStream();
    } catch (const std::exception& e) {
      failure = e.what();
    } catch (...) {
      failure = "the stream would not start";
    }
  }
  if (audio_->isStreamRunning()) return true;
  detail = failure.empty() ? "the stream would not start" : failure;
  close();
  return false;
}

void RtAudioBackend::close() noexcept {
  if (audio_) {
    // Errors here go to the error callback, not to the caller: nothing to capture.
    try {
      if (audio_->isStreamRunning()) audio_->abortStream();
    } catch (...) {
    }
    try {
      if (audio_->isStreamOpen()) audio_->closeStream();  // joins the audio thread
    } catch (...) {
    }
    audio_.reset();
  }
  cycle_ = nullptr;
}

std::string RtAudioBackend::openedName() const {
  return device_.description.empty() ? audioApiName(device_.api) : device_.description;
}

int RtAudioBackend::callback(void* output, void* /*input*/, unsigned int frames, double /*streamTime*/,
                             unsigned int status, void* self) {
  auto* backend = static_cast<RtAudioBackend*>(self);
  if (!backend->scheduled_) {
    // Once, on the first period: real-time round-robin where the system allows it (root, an
    // rtprio limit), silently as before where it does not.
    backend->scheduled_ = true;
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_RR);
    pthread_setschedparam(pthread_self(), SCHED_RR, &param);
  }
  tErrorSink.alive = &backend->alive_;
  if ((status & RTAUDIO_OUTPUT_UNDERFLOW) != 0) backend->xruns_.fetch_add(1, std::memory_order_relaxed);
  float* left = static_cast<float*>(output);
  renderClippedPeriod(backend->cycle_, left, left + frames, static_cast<int>(frames), steadyNowNs());
  return 0;
}

void renderClippedPeriod(LiveCycle* cycle, float* left, float* right, int frames, uint64_t nowNs) noexcept {
  if (cycle == nullptr) {
    std::fill_n(left, frames, 0.0f);
    std::fill_n(right, frames, 0.0f);
    return;
  }
  cycle->run(left, right, frames, {}, nowNs);
  for (float* channel : {left, right}) {
    for (int i = 0; i < frames; ++i) channel[i] = std::clamp(channel[i], -1.0f, 1.0f);
  }
}

}  // namespace zumbel
