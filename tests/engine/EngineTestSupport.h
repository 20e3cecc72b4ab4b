#pragma once
// Helpers for driving the engine in tests: voices made from frames held in memory, a prompts
// recorder and a renderer that collects whole cycles.

#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "DrumEngine.h"
#include "Prompts.h"
#include "SampleVoice.h"
#include "WavFileWriter.h"

namespace zumbel::test {

class RecordingPrompts : public Prompts {
 public:
  void showMessage(std::string_view text, std::string_view caption) override {
    shown.emplace_back(std::string(text), std::string(caption));
    icons.push_back(MessageIcon::kPlain);
  }
  void showAlert(MessageIcon icon, std::string_view text, std::string_view caption) override {
    RecordingPrompts::showMessage(text, caption);
    icons.back() = icon;
  }
  std::vector<std::pair<std::string, std::string>> shown;
  std::vector<MessageIcon> icons;  // one for each message shown
};

// A 16-bit stereo WAV file of `frames` frames at `level` on both sides; false when it could not
// be written.
inline bool writeTestWav(const std::string& path, int frames, float level = 0.5f) {
  const std::vector<float> v(static_cast<std::size_t>(frames), level);
  WavFileWriter w;
  if (!w.open(path, 44100, SampleFormat::kS16)) return false;
  w.write(v.data(), v.data(), frames);
  return w.close();
}

// Interleaved stereo frames where left = `left[i]` and right = `right[i]`.
inline std::vector<int16_t> stereo(const std::vector<int16_t>& left, const std::vector<int16_t>& right) {
  std::vector<int16_t> out;
  for (std::size_t i = 0; i < left.size(); ++i) {
    out.push_back(left[i]);
    out.push_back(right[i]);
  }
  return out;
}

// A constant-valued sample: every frame holds `value` on both sides.
inline std::vector<int16_t> dc(int frames, int16_t value) {
  return std::vector<int16_t>(static_cast<std::size_t>(2 * frames), value);
}

inline std::unique_ptr<SampleVoice> makeVoice(Mixer& mixer, const std::vector<int16_t>& frames, int buffers = 16,
                                              int32_t pan = 0, int32_t looping = 0, int32_t pitchBend = 0,
                                              int32_t rate = 0, Prompts* prompts = nullptr) {
  return std::make_unique<SampleVoice>(prompts, mixer, frames.data(), static_cast<uint32_t>(frames.size() * 2),
                                       buffers, "test.wav", pan, looping, pitchBend, rate);
}

struct Render {
  std::vector<float> left, right;
};

// Runs one cycle of `frames` frames with the given messages.
inline Render cycle(DrumEngine& engine, int frames, std::vector<TimedMessage> messages = {}) {
  Render r{std::vector<float>(static_cast<std::size_t>(frames)), std::vector<float>(static_cast<std::size_t>(frames))};
  engine.process(r.left.data(), r.right.data(), frames, messages);
  return r;
}

inline Render mix(Mixer& mixer, int frames) {
  Render r{std::vector<float>(static_cast<std::size_t>(frames)), std::vector<float>(static_cast<std::size_t>(frames))};
  mixer.beginCycle();
  mixer.render(r.left.data(), r.right.data(), frames);
  mixer.endCycle();
  return r;
}

inline float s16(int v) { return static_cast<float>(v) / 32768.0f; }

}  // namespace zumbel::test
