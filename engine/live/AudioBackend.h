#pragma once
// One audio output device as the program drives it: opened, called once per period on its own
// audio thread, closed. JACK is spoken natively; ALSA and PulseAudio through RtAudio. Every
// backend hands its periods to the same LiveCycle, so what is heard does not depend on which one
// plays it.

#include <cstdint>
#include <string>

namespace zumbel {

class LiveCycle;

enum class AudioApi { kJack, kPulse, kAlsa };

// "JACK", "PulseAudio", "ALSA".
const char* audioApiName(AudioApi api) noexcept;

// One entry of the output device list.
struct AudioDeviceInfo {
  AudioApi api = AudioApi::kAlsa;
  // What a person reads in the list: "JACK: system", "ALSA: HDA Intel PCH", "PulseAudio: default".
  std::string description;
  // What the backend opens: the JACK client whose playback ports get connected (empty: the
  // physical playback ports), or the RtAudio device's name.
  std::string module;
  // The RtAudio device index at the time the list was made; -1 for JACK and for the default.
  int index = -1;
};

// What a backend is asked for. JACK ignores the rate and period: the server sets both.
struct AudioStreamRequest {
  int preferredRate = 44100;
  int periodFrames = 256;
  // Stereo output pairs, 1..kMixerOutputPairs. Only JACK registers more than one; a sound routed
  // to a pair that is not there plays on the first, so PulseAudio and ALSA play the whole mix.
  int outputPairs = 1;
};

enum class OpenStatus {
  kOk,
  kNoDevice,     // the server or device could not be reached at all
  kNoStream,     // reached, but no output stream could be opened or started on it
  kNoRate,       // every rate the device offers was refused or lies outside what the mixer plays
};

class AudioBackend {
 public:
  virtual ~AudioBackend() = default;

  // Opens the device and its output stream and settles the rate, without starting the audio
  // thread yet. `detail` receives the library's own words on failure, for the command line; the
  // window never shows them.
  virtual OpenStatus open(const AudioStreamRequest& request, std::string& detail) = 0;
  // Starts calling `cycle.run` on the audio thread; false (with `detail`) when the stream would
  // not start.
  virtual bool start(LiveCycle& cycle, std::string& detail) = 0;
  // Stops the audio thread and lets the device go; after it returns the cycle is never called
  // again. Idempotent.
  virtual void close() noexcept = 0;

  // Valid after a successful open.
  virtual int sampleRate() const noexcept = 0;
  virtual int periodFrames() const noexcept = 0;
  // Frames from the moment a period is rendered until it leaves the device.
  virtual int outputLatencyFrames() const noexcept = 0;
  // How early or late the backend may call a period without a gap in the sound: one period for
  // a backend on a steady clock (JACK); more for one whose periods come in bursts.
  virtual int wakeSlackFrames() const noexcept { return periodFrames(); }
  // Periods the device played without the program's data (underruns, JACK xruns) since open.
  virtual uint64_t xrunCount() const noexcept = 0;
  // False once the server or device went away under the program (JACK shut down, device lost).
  virtual bool alive() const noexcept = 0;
  // What was opened, for a person: "JACK: system (Zumbel:out_left, Zumbel:out_right)".
  virtual std::string openedName() const = 0;
  // The stereo output pairs the cycle plays into: what the request asked for where the backend
  // offers several (JACK), 1 everywhere else.
  virtual int outputPairs() const noexcept { return 1; }
};

}  // namespace zumbel
