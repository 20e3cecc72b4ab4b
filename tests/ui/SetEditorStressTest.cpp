// The window's edits while a drummer plays: the user-interface thread drops samples on pads,
// replaces them, clears layers and previews, exactly as the view's gestures do, while the audio
// thread plays dense notes on those very sounds. Built under ThreadSanitizer in `make test`; the
// allocation guard fails it if the audio path allocates.

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "KitbeatDoc.h"
#include "LayerVoiceLoader.h"
#include "SetEditor.h"
#include "ShortMessage.h"
#include "TestSupport.h"
#include "WaveReader.h"

namespace zumbel {
namespace {

class AlwaysOk : public test::RecordingPrompts {
 public:
  bool askOkCancel(std::string_view, std::string_view) override { return true; }
};

constexpr int kSounds = 8;
constexpr int kPeriod = 64;
constexpr int kRounds = 200;

TEST(EditStress, PadsChangeWhileNotesPlayThem) {
  test::TempDir dir;
  CKitbeatDoc doc;
  doc.OnNewDocument();
  const int g = doc.appendGroup("Kit");
  for (int i = 0; i < 3; ++i) {
    const std::string path = dir / ("s" + std::to_string(i) + ".wav");
    ASSERT_TRUE(test::writeTestWav(path, 3000 + 1000 * i, 0.1f * static_cast<float>(i + 1)));
    doc.appendSample(g, path);
  }
  DrumEngine engine(doc);
  AlwaysOk prompts;
  WaveReader reader(&prompts);
  LayerVoiceLoader loader(doc, engine, &prompts);
  SetEditor editor(doc, engine, loader, reader, prompts);

  std::atomic<bool> done{false};
  std::atomic<uint64_t> cycles{0};
  engine.mixer().setRunning(true);
  std::thread audio([&] {
    std::array<TimedMessage, 2 * kSounds> notes{};
    std::vector<float> left(kPeriod), right(kPeriod);
    for (uint32_t c = 0; !done.load(std::memory_order_acquire); ++c) {
      for (int s = 0; s < kSounds; ++s) {
        const int velocity = static_cast<int>((c * 13 + static_cast<uint32_t>(s) * 29) % 127) + 1;
        notes[2 * s] = {static_cast<uint32_t>(s * 4), packShortMessage(0x90, kFirstNote + s, velocity)};
        notes[2 * s + 1] = {static_cast<uint32_t>(s * 4 + 2), packShortMessage(0x80, kFirstNote + s, 0)};
      }
      engine.process(left.data(), right.data(), kPeriod, notes);
      cycles.fetch_add(1, std::memory_order_release);
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  });

  for (int round = 0; round < kRounds; ++round) {
    for (int s = 0; s < kSounds; ++s) {
      const int layer = (round + s) % kLayerCount;
      editor.DropEntryOnPad(s, layer, g, (round + s) % 3);
      if ((round + s) % 4 == 0) editor.ClearLayer(s, (round * 3 + s) % kLayerCount);
      doc.sound(s).noteOffEnabled = round % 2;
    }
    if (round % 10 == 0) editor.startPreview(std::string(*doc.samplePath({g, round % 3})));
    if (round % 10 == 5) editor.stopPreview();
    const uint64_t target = cycles.load(std::memory_order_acquire) + 2;
    while (cycles.load(std::memory_order_acquire) < target) std::this_thread::sleep_for(std::chrono::microseconds(200));
    engine.voices().collect();
  }
  done.store(true, std::memory_order_release);
  audio.join();
  engine.mixer().setRunning(false);

  // What the edits leave behind is a set the engine can trust: a voice for exactly the layers
  // that play a sample of their own.
  for (int s = 0; s < kSounds; ++s) {
    for (int j = 0; j < kLayerCount; ++j) {
      EXPECT_EQ(engine.voices().voice(s, j) != nullptr, doc.sound(s).hasOwnSample(j)) << "sound " << s << " layer " << j;
      if (doc.sound(s).hasOwnSample(j)) {
        EXPECT_TRUE(doc.sound(s).refs[j].isSet());
      }
    }
  }
  EXPECT_GT(cycles.load(), static_cast<uint64_t>(kRounds));
  editor.stopPreview();
  engine.voices().ReleaseAllVoices();
  engine.voices().collect();
  EXPECT_EQ(engine.voices().retiredCount(), 0u);
}

}  // namespace
}  // namespace zumbel
