// Three threads as in the program: a MIDI thread sending thousands of notes a second, the audio
// thread rendering small cycles, and the user-interface thread rebuilding every voice of the set
// (some with alternate takes), changing sound settings and choke groups and stopping sounds all
// the while. Built under ThreadSanitizer in `make test`; with the
// allocation guard linked in, any allocation on the audio thread fails it as well.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "KitbeatDoc.h"
#include "MessageQueue.h"
#include "ShortMessage.h"

namespace zumbel {
namespace {

constexpr int kPeriod = 64;
constexpr int kMinRebuilds = 12;
constexpr auto kMinDuration = std::chrono::seconds(2);

void buildEveryVoice(CKitbeatDoc& doc, DrumEngine& engine, const std::vector<int16_t>& pcm, int round) {
  for (int n = 0; n < kSoundCount; ++n) {
    Sound& s = doc.sound(n);
    for (int j = 0; j < kLayerCount; ++j) {
      // Alternate which layers own samples, so sources change under the notes' feet.
      const bool own = j == 0 || (j + n + round) % 2 == 0;
      s.sources[j] = own ? j : s.sources[j - 1].load();
      if (!own) continue;
      // Some first layers play three takes, in as many slots as one voice of 16 buffers.
      const bool takes = j == 0 && (n + round) % 4 == 0;
      auto voice = test::makeVoice(engine.mixer(), pcm, takes ? 8 : 16, s.pan(), s.looping, s.externalPitchBend,
                                   s.playbackRate());
      for (int k = 0; takes && k < 2; ++k) {
        ASSERT_TRUE(voice->addAlternate(
            test::makeVoice(engine.mixer(), pcm, 4, s.pan(), s.looping, s.externalPitchBend, s.playbackRate())));
      }
      engine.voices().publish(n, j, std::move(voice));
    }
  }
}

TEST(EngineStress, NotesWhileTheVoiceTableIsRebuiltAndSettingsChange) {
  CKitbeatDoc doc;
  doc.OnNewDocument();
  DrumEngine engine(doc);
  std::vector<int16_t> pcm;
  for (int i = 0; i < 2000; ++i) {
    pcm.push_back(static_cast<int16_t>((i * 37) % 20000 - 10000));
    pcm.push_back(static_cast<int16_t>((i * 53) % 20000 - 10000));
  }
  buildEveryVoice(doc, engine, pcm, 0);

  MessageQueue queue;
  std::atomic<bool> done{false};
  std::atomic<uint64_t> cycles{0}, handled{0};
  std::atomic<double> peak{0};
  engine.mixer().setRunning(true);

  std::thread audio([&] {
    std::array<TimedMessage, kMaxEventsPerCycle> batch;
    std::vector<float> left(kPeriod), right(kPeriod);
    double loudest = 0;
    while (!done.load(std::memory_order_acquire)) {
      std::size_t count = 0;
      StampedMessage m;
      while (count < batch.size() && queue.peek(m)) {
        queue.pop();
        batch[count] = TimedMessage{static_cast<uint32_t>(count % kPeriod), m.message};
        ++count;
      }
      std::sort(batch.begin(), batch.begin() + static_cast<std::ptrdiff_t>(count),
                [](const TimedMessage& a, const TimedMessage& b) { return a.frame < b.frame; });
      engine.process(left.data(), right.data(), kPeriod, std::span(batch.data(), count));
      for (float v : left) loudest = std::max(loudest, static_cast<double>(std::abs(v)));
      handled.fetch_add(count, std::memory_order_relaxed);
      cycles.fetch_add(1, std::memory_order_relaxed);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    peak.store(loudest);
  });

  std::thread midi([&] {
    uint32_t i = 0;
    while (!done.load(std::memory_order_acquire)) {
      const int note = 30 + static_cast<int>(i * 7 % 100);
      const int status = i % 5 == 4 ? 0x80 : (i % 17 == 0 ? 0xE0 : (i % 23 == 0 ? 0xB0 : 0x90));
      queue.push(StampedMessage{i, packShortMessage(status, status == 0xB0 ? 7 : note, static_cast<int>(i % 128))});
      ++i;
      // Some thousands a second: a busy drummer plus a sequencer, far above a real player.
      if (i % 4 == 0) std::this_thread::sleep_for(std::chrono::microseconds(150));
      // Never more than a few cycles' worth ahead of the audio thread, which a sanitizer slows.
      while (i - handled.load(std::memory_order_relaxed) > 256 && !done.load(std::memory_order_acquire)) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
      }
    }
  });

  // The user-interface thread.
  const auto started = std::chrono::steady_clock::now();
  int round = 1;
  for (; round <= kMinRebuilds || std::chrono::steady_clock::now() - started < kMinDuration; ++round) {
    engine.voices().ReleaseAllVoices();
    buildEveryVoice(doc, engine, pcm, round);
    for (int n = 0; n < kSoundCount; ++n) {
      Sound& s = doc.sound(n);
      s.settings[kCutNote] = (n + round) % 7 == 0 ? (n * 5 + round) % kSoundCount : kNone;
      s.settings[kVelocityScheme] = (n + round) % kSchemeCount;
      s.settings[kCompress] = -1000 * (round % 9);
      s.noteOffEnabled = round % 2;
      s.looping = (n + round) % 11 == 0 ? 1 : 0;
      s.externalPitchBend = (n + round) % 3 == 0 ? 1 : 0;
      doc.extras().setChokeGroup(n, (n + round) % 6 < 3 ? 1 + n % 4 : kNoChokeGroup);
      doc.soundExtras(n).roundRobin = (n + round) % 2 == 0 ? kRoundRobinRandom : kRoundRobinTurn;
      for (int j = 0; j < kLayerCount; ++j) {
        if (SampleVoice* v = engine.voices().voice(n, j)) {
          // As the window stops a layer it is about to change, under the notes playing it.
          if ((n + j + round) % 9 == 0) v->Stop();
          v->SetPan(-5000 + 700 * round);
          v->SetLooping(s.looping != 0);
          v->SetFollowsPitchBend(s.externalPitchBend != 0);
          v->SetPitch(round % 2 ? 22050 + 1000 * round : 44100);
        }
      }
    }
    engine.trigger().setFirstShownSound(24 * (round % 3));
    // Leave time for the audio thread to play through this set before the next rebuild.
    const uint64_t target = cycles.load() + 20;
    while (cycles.load() < target) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    engine.voices().collect();
  }
  done.store(true, std::memory_order_release);
  midi.join();
  audio.join();
  engine.mixer().setRunning(false);

  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("%d rebuilds of %d voices, %llu messages (%.0f per second) in %llu cycles over %.1f s\n", round - 1,
              kSoundCount * kLayerCount, static_cast<unsigned long long>(handled.load()), handled.load() / seconds,
              static_cast<unsigned long long>(cycles.load()), seconds);
  EXPECT_GT(handled.load() / seconds, 1000.0);
  EXPECT_GT(cycles.load(), static_cast<uint64_t>(20 * kMinRebuilds));
  EXPECT_GT(peak.load(), 0.0);
  engine.voices().collect();
  EXPECT_EQ(engine.voices().retiredCount(), 0u);
  // Every slot but the current set's is back in the pool.
  EXPECT_EQ(engine.mixer().freeSlotCount(), kMaxSlots - engine.voices().voiceCount() * 16);
}

}  // namespace
}  // namespace zumbel
