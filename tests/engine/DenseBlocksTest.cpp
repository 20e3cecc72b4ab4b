// A block with many events is mixed once, each slot's changes at their frames: the output must be
// the very samples that rendering up to each event in turn gives, whatever the block sizes, with
// ramps (restarts, cuts, chokes, glides) everywhere and more slot changes than a span keeps.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "DrumEngine.h"
#include "EngineTestSupport.h"
#include "KitbeatDoc.h"
#include "PcmBlock.h"
#include "SampleVoice.h"
#include "ShortMessage.h"

namespace zumbel {
namespace {

struct Rig {
  // Stereo samples, stereo ones with the same value on both channels, or those values as mono.
  enum class Kind { kStereo, kBothSides, kMono };
  explicit Rig(const CKitbeatDoc& doc, Kind kind = Kind::kStereo) : engine(doc) {
    for (int n = 0; n < kSoundCount; ++n) {
      const Sound& s = doc.sound(n);
      // Wave shapes and lengths differ per sound, so the cubic path, loops and ends all occur.
      std::vector<int16_t> frames;
      const int length = 40 + (n * 97) % 3000;
      for (int i = 0; i < length; ++i) {
        const auto v = static_cast<int16_t>(((i * (n + 3) * 131) % 20000) - 10000);
        frames.push_back(v);
        if (kind != Kind::kMono) frames.push_back(kind == Kind::kStereo ? static_cast<int16_t>(-v / 2) : v);
      }
      std::shared_ptr<PcmBlock> mono;
      if (kind == Kind::kMono) {
        mono = PcmBlock::allocate(length, 1);
        std::copy(frames.begin(), frames.end(), mono->writableFrames());
      }
      engine.voices().publish(
          n, 0,
          kind == Kind::kMono
              ? std::make_unique<SampleVoice>(nullptr, engine.mixer(), mono, 16, "mono.wav", s.pan(), s.looping,
                                              s.externalPitchBend, s.playbackRate())
              : test::makeVoice(engine.mixer(), frames, 16, s.pan(), s.looping, s.externalPitchBend,
                                s.playbackRate()));
    }
  }
  DrumEngine engine;
};

// The mixing as it was: up to each message's frame, then the message.
void renderUpToEachMessage(DrumEngine& engine, float* left, float* right, int frames,
                           const std::vector<TimedMessage>& messages) {
  Mixer& mixer = engine.mixer();
  mixer.beginCycle();
  int cursor = 0;
  for (const TimedMessage& m : messages) {
    const int at = std::clamp(static_cast<int>(std::min<uint32_t>(m.frame, static_cast<uint32_t>(frames))), cursor, frames);
    if (at > cursor) mixer.render(left + cursor, right + cursor, at - cursor);
    cursor = at;
    engine.trigger().HandleShortMessage(m.message);
  }
  if (cursor < frames) mixer.render(left + cursor, right + cursor, frames - cursor);
  mixer.endCycle();
}

TEST(DenseBlocks, OneMixPerBlockGivesTheSamplesOfMixingUpToEachEvent) {
  CKitbeatDoc doc;
  doc.OnNewDocument();
  for (int n = 0; n < kSoundCount; ++n) {
    Sound& s = doc.sound(n);
    for (auto& src : s.sources) src = 0;
    s.settings[kPan] = (n * 700) % 8001 - 4000;
    s.settings[kPlaybackRate] = n % 3 == 0 ? 0 : 30000 + n * 100;
    s.looping = n % 5 == 0;
    s.noteOffEnabled = n % 2;
    s.externalPitchBend = n % 4 == 1;
    if (n % 7 == 0) s.settings[kCutNote] = (n + 1) % kSoundCount;
    if (n < 12) doc.extras().setChokeGroup(n, 1 + n % 3);
  }
  // A second of dense playing, every message at a frame of its own or sharing one.
  constexpr int kTotal = 44100;
  std::vector<TimedMessage> song;
  std::mt19937 next(12345);
  for (uint32_t frame = 0; frame < kTotal; frame += next() % 9) {
    const uint32_t r = next();
    const int note = kFirstNote + static_cast<int>(r % 48);
    uint32_t message = packShortMessage(0x90, note, 1 + static_cast<int>(r >> 8) % 127);
    switch (r >> 24 & 15) {
      case 0: message = packShortMessage(0x80, note, 0); break;
      case 1: message = packShortMessage(0xE0, static_cast<int>(r >> 4) % 128, static_cast<int>(r >> 12) % 128); break;
      case 2: message = packShortMessage(0xB0, 7, static_cast<int>(r >> 4) % 128); break;
      case 3: message = packShortMessage(0xA0, note, 127); break;
      default: break;
    }
    song.push_back({frame, message});
  }
  // Bursts of pitch bends move every bending slot: more changes in one block than a span keeps.
  for (uint32_t k = 0; k < 24; ++k) song.push_back({20032 + 2 * k, packShortMessage(0xE0, 0, static_cast<int>(k) * 5)});
  std::stable_sort(song.begin(), song.end(), [](const TimedMessage& a, const TimedMessage& b) { return a.frame < b.frame; });

  const auto run = [&](bool asBefore, const std::vector<int>& blocks, bool lying = false,
                       Rig::Kind kind = Rig::Kind::kStereo) {
    Rig rig(doc, kind);
    std::vector<float> left(kTotal), right(kTotal);
    std::size_t m = 0;
    for (int done = 0, b = 0; done < kTotal; ++b) {
      const int n = std::min(blocks[static_cast<std::size_t>(b) % blocks.size()], kTotal - done);
      std::vector<TimedMessage> block;
      for (; m < song.size() && song[m].frame < static_cast<uint32_t>(done + n); ++m) {
        // A host may lie: a frame past the block or behind the last one is taken at the nearest.
        const uint32_t frame = lying && m % 97 == 0   ? 0xFFFFFFFFu
                               : lying && m % 89 == 0 ? 0u
                                                      : song[m].frame - static_cast<uint32_t>(done);
        block.push_back({frame, song[m].message});
      }
      if (asBefore) {
        renderUpToEachMessage(rig.engine, left.data() + done, right.data() + done, n, block);
      } else {
        rig.engine.process(left.data() + done, right.data() + done, n, block);
      }
      done += n;
    }
    return std::make_pair(left, right);
  };
  const auto before = run(true, {64});
  float peak = 0;
  for (float v : before.first) peak = std::max(peak, std::abs(v));
  ASSERT_GT(peak, 0.1f) << "the song must sound";
  // The bends must reach sounding slots, or the test would not see a change applied mid-sound.
  const std::vector<TimedMessage> all = song;
  std::erase_if(song, [](const TimedMessage& m) { return (m.message & 0xF0) == 0xE0; });
  EXPECT_NE(run(true, {64}).first, before.first);
  song = all;
  const auto differs = [](const std::vector<float>& a, const std::vector<float>& b) {
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return static_cast<long>(i);
    }
    return -1L;
  };
  for (const std::vector<int>& blocks : std::vector<std::vector<int>>{{64}, {1, 7, 333}, {5000, 17}, {kTotal}}) {
    const auto now = run(false, blocks);
    EXPECT_EQ(differs(now.first, before.first), -1) << "left, blocks of " << blocks[0];
    EXPECT_EQ(differs(now.second, before.second), -1) << "right, blocks of " << blocks[0];
    // Frames past the block or going back land where they did before, block for block.
    const auto lyingBefore = run(true, blocks, true);
    const auto lyingNow = run(false, blocks, true);
    EXPECT_EQ(differs(lyingNow.first, lyingBefore.first), -1) << "lying frames, blocks of " << blocks[0];
    EXPECT_EQ(differs(lyingNow.second, lyingBefore.second), -1) << "lying frames, blocks of " << blocks[0];
  }
  // Mono samples play as stereo ones holding each value on both sides, through all of the above.
  const auto bothSides = run(false, {64}, false, Rig::Kind::kBothSides);
  const auto mono = run(false, {64}, false, Rig::Kind::kMono);
  EXPECT_EQ(differs(mono.first, bothSides.first), -1) << "mono, left";
  EXPECT_EQ(differs(mono.second, bothSides.second), -1) << "mono, right";
}

}  // namespace
}  // namespace zumbel
