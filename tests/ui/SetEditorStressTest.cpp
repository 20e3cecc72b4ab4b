// The window's edits while a drummer plays: the user-interface thread drops samples on pads,
// replaces them, clears layers, moves, copies and swaps whole sounds and previews, exactly as the
// view's gestures do, while the audio thread plays dense notes on those very sounds. Built under
// ThreadSanitizer in `make test`; the allocation guard fails it if the audio path allocates.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "KitbeatDoc.h"
#include "LayerVoiceLoader.h"
#include "EditHistory.h"
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

  std::vector<SetState> undone;
  for (int round = 0; round < kRounds; ++round) {
    // Undo puts whole earlier sets back under the playing notes, as a user's Ctrl+Z does.
    if (round % 7 == 3) undone.push_back(SetState::of(doc));
    if (round % 7 == 6) editor.restoreState(undone[static_cast<std::size_t>(round) % undone.size()]);
    for (int s = 0; s < kSounds; ++s) {
      const int layer = (round + s) % kLayerCount;
      editor.DropEntryOnPad(s, layer, g, (round + s) % 3);
      if ((round + s) % 4 == 0) editor.ClearLayer(s, (round * 3 + s) % kLayerCount);
      if ((round + s) % 5 == 0) editor.MoveSound(s, (s + 3) % kSounds, static_cast<SoundMove>(round % 3));
      doc.sound(s).noteOffEnabled = round % 2;
    }
    if (round % 10 == 0) editor.startPreview(std::string(*doc.samplePath({g, round % 3})));
    if (round % 10 == 5) editor.stopPreview();
    const uint64_t target = cycles.load(std::memory_order_acquire) + 2;
    while (cycles.load(std::memory_order_acquire) < target) std::this_thread::sleep_for(std::chrono::microseconds(200));
    engine.voices().collect();
  }

  // What the edits leave behind is a set the engine can trust: a voice for exactly the layers
  // that play a sample of their own. Layers of one file play one block.
  std::map<std::string, std::vector<std::pair<int, int>>> layersOf;
  for (int s = 0; s < kSounds; ++s) {
    for (int j = 0; j < kLayerCount; ++j) {
      const SampleVoice* v = engine.voices().voice(s, j);
      EXPECT_EQ(v != nullptr, doc.sound(s).hasOwnSample(j)) << "sound " << s << " layer " << j;
      if (!v) continue;
      EXPECT_TRUE(doc.sound(s).refs[j].isSet());
      auto& layers = layersOf[v->path()];
      if (!layers.empty()) {
        EXPECT_EQ(v->pcm(), engine.voices().voice(layers[0].first, layers[0].second)->pcm());
      }
      layers.emplace_back(s, j);
    }
  }

  // The block outlives every voice of it, those still fading out included, while notes keep
  // coming, and goes with the last.
  const auto& [path, layers] = *std::max_element(
      layersOf.begin(), layersOf.end(), [](const auto& a, const auto& b) { return a.second.size() < b.second.size(); });
  ASSERT_GT(layers.size(), 1u) << path;
  const std::weak_ptr<const PcmBlock> block = engine.voices().voice(layers[0].first, layers[0].second)->pcm();
  for (const auto& [s, j] : layers) {
    ASSERT_FALSE(block.expired());
    engine.voices().release(s, j);
    const uint64_t target = cycles.load(std::memory_order_acquire) + 2;
    while (cycles.load(std::memory_order_acquire) < target) std::this_thread::sleep_for(std::chrono::microseconds(200));
    engine.voices().collect();
  }
  for (int tries = 0; engine.voices().retiredCount() > 0 && tries < 2000; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    engine.voices().collect();
  }
  EXPECT_TRUE(block.expired());

  done.store(true, std::memory_order_release);
  audio.join();
  engine.mixer().setRunning(false);
  EXPECT_GT(cycles.load(), static_cast<uint64_t>(kRounds));
  editor.stopPreview();
  engine.voices().ReleaseAllVoices();
  engine.voices().collect();
  EXPECT_EQ(engine.voices().retiredCount(), 0u);
}

}  // namespace
}  // namespace zumbel
