// A voice's buffers: the rotation, which buffer volume and pan reach, the two pitch modes and
// the switches that wait for the next Play or SetPitch.

#include <gtest/gtest.h>

#include "EngineTally.h"
#include "EngineTestSupport.h"
#include "KitbeatDoc.h"

namespace zumbel {
namespace {

using test::makeVoice;

TEST(SampleVoice, PlaysRotateThroughTheBuffersAndTheSeventeenthRestartsTheFirst) {
  Mixer mixer;
  auto voice = makeVoice(mixer, test::dc(44100, 1000));
  ASSERT_EQ(voice->bufferCount(), 16);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(voice->nextBuffer(), i);
    voice->Play();
  }
  test::mix(mixer, 8);
  EXPECT_EQ(mixer.activeSlotCount(), 16);
  EXPECT_EQ(voice->nextBuffer(), 0);
  voice->Play();  // buffer 0 again, from its start
  EXPECT_EQ(voice->nextBuffer(), 1);
  test::mix(mixer, 8);
  EXPECT_EQ(mixer.activeSlotCount(), 16);
  voice->Stop();
  test::mix(mixer, 512);
  EXPECT_EQ(mixer.activeSlotCount(), 0);
  EXPECT_EQ(voice->nextBuffer(), 1);  // Stop leaves the rotation alone
}

TEST(SampleVoice, LoopingVoiceAndPreviewVoiceRestartTheSameBuffer) {
  Mixer mixer;
  auto looping = makeVoice(mixer, test::dc(100, 1000), 16, 0, 1);
  looping->Play();
  looping->Play();
  test::mix(mixer, 8);
  EXPECT_EQ(mixer.activeSlotCount(), 1);
  EXPECT_EQ(looping->nextBuffer(), 0);
  // Switching looping off waits for the next Play, which then rotates again.
  looping->SetLooping(false);
  test::mix(mixer, 300);
  EXPECT_TRUE(mixer.isSounding(looping->buffer(0)));  // still looping
  looping->Play();
  EXPECT_EQ(looping->nextBuffer(), 1);
  test::mix(mixer, 300);
  EXPECT_FALSE(mixer.isSounding(looping->buffer(0)));

  auto preview = makeVoice(mixer, test::dc(100, 1000), 1);
  EXPECT_EQ(preview->bufferCount(), 1);
  preview->Play();
  preview->Play();
  EXPECT_EQ(preview->nextBuffer(), 0);
}

TEST(SampleVoice, VolumeReachesTheNextBufferOnlyAndPanReachesAll) {
  Mixer mixer;
  auto voice = makeVoice(mixer, test::dc(1000, 1000), 16, -300);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(mixer.pan(voice->buffer(i)), -300);
  voice->SetVolume(-500);
  voice->Play();
  voice->SetVolume(-700);  // after Play: the buffer that starts next
  EXPECT_EQ(mixer.volume(voice->buffer(0)), -500);
  EXPECT_EQ(mixer.volume(voice->buffer(1)), -700);
  EXPECT_EQ(mixer.volume(voice->buffer(2)), 0);
  EXPECT_EQ(voice->volume(), -700);
  voice->SetPan(2500);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(mixer.pan(voice->buffer(i)), 2500);
  EXPECT_EQ(voice->pan(), -300);  // the creation pan is kept
}

TEST(SampleVoice, PitchOutsideAndInsidePitchBendMode) {
  Mixer mixer;
  auto voice = makeVoice(mixer, test::dc(100, 1));
  EXPECT_EQ(voice->baseRate(), 44100);  // rate 0 at creation
  EXPECT_EQ(mixer.frequency(voice->buffer(15)), 0);
  voice->SetPitch(48000);
  EXPECT_EQ(voice->baseRate(), 48000);
  EXPECT_EQ(mixer.frequency(voice->buffer(0)), 48000);
  voice->SetPitch(44100);
  EXPECT_EQ(voice->baseRate(), 44100);
  EXPECT_EQ(mixer.frequency(voice->buffer(7)), 0);  // the buffer's own rate

  // Switching to pitch-bend mode waits for the next SetPitch, which then bends around the base.
  voice->SetFollowsPitchBend(true);
  EXPECT_EQ(mixer.frequency(voice->buffer(3)), 0);
  const std::pair<int32_t, int32_t> bends[] = {{8128, 44228}, {0, 36100}, {16256, 52356}};
  for (auto [value, hz] : bends) {
    voice->SetPitch(value);
    EXPECT_EQ(mixer.frequency(voice->buffer(0)), hz) << value;
    EXPECT_EQ(mixer.frequency(voice->buffer(15)), hz) << value;
    EXPECT_EQ(voice->baseRate(), 44100);
  }
  voice->SetFollowsPitchBend(false);
  voice->SetPitch(30000);
  EXPECT_EQ(voice->baseRate(), 30000);
  EXPECT_EQ(mixer.frequency(voice->buffer(0)), 30000);
}

TEST(SampleVoice, CreationWithPitchBendTakesTheRateAsABendValue) {
  Mixer mixer;
  // Rate 0: 0 + 0 - 8000 is refused, the buffers keep their own rate and the base becomes 44100.
  auto zero = makeVoice(mixer, test::dc(10, 1), 16, 0, 0, 1, 0);
  EXPECT_EQ(mixer.frequency(zero->buffer(0)), 0);
  EXPECT_EQ(zero->baseRate(), 44100);
  zero->SetPitch(8128);
  EXPECT_EQ(mixer.frequency(zero->buffer(0)), 44228);
  // A stored rate is used twice until the first bend arrives.
  auto stored = makeVoice(mixer, test::dc(10, 1), 16, 0, 0, 1, 30000);
  EXPECT_EQ(mixer.frequency(stored->buffer(0)), 52000);
  EXPECT_EQ(stored->baseRate(), 30000);
}

TEST(SampleVoice, AVoiceThatCannotGetItsBuffersSaysSoAndStaysSilent) {
  Mixer mixer;
  test::RecordingPrompts prompts;
  std::vector<std::unique_ptr<SampleVoice>> voices;
  const auto frames = test::dc(10, 1000);
  for (int i = 0; i < kMaxSlots / 16; ++i) voices.push_back(makeVoice(mixer, frames));
  EXPECT_TRUE(prompts.shown.empty());
  auto starved = makeVoice(mixer, frames, 16, 0, 0, 0, 0, &prompts);
  ASSERT_EQ(prompts.shown.size(), 1u);
  EXPECT_EQ(prompts.shown[0].first, "En onnistunut luomaan bufferia");
  EXPECT_EQ(prompts.shown[0].second, "RUR");
  starved->SetVolume(-100);
  starved->Play();
  starved->SetPitch(8128);
  starved->Stop();
  EXPECT_EQ(test::mix(mixer, 8).left[0], 0.0f);
  // Giving voices back frees their buffers for new ones.
  voices.pop_back();
  mixer.applyCommandsWhileStopped();
  auto again = makeVoice(mixer, frames, 16, 0, 0, 0, 0, &prompts);
  EXPECT_EQ(prompts.shown.size(), 1u);
  again->Play();
  EXPECT_EQ(test::mix(mixer, 8).left[0], test::s16(1000));
}

TEST(SampleVoice, AVoiceRemovedWhileSoundingFadesOutAndIsFreedOnlyAfterwards) {
  CKitbeatDoc doc;
  DrumEngine engine(doc);
  engine.mixer().setRunning(true);  // this thread plays the audio thread's part too
  engine.voices().publish(0, 0, makeVoice(engine.mixer(), test::dc(44100, 16000)));
  SampleVoice* voice = engine.voices().voice(0, 0);
  const SlotId slot = voice->buffer(0);
  voice->Play();
  test::cycle(engine, 64);
  engine.voices().ReleaseAllVoices();
  EXPECT_EQ(engine.voices().voice(0, 0), nullptr);
  test::cycle(engine, 0);  // a cycle without frames still takes the release in
  engine.voices().collect();
  EXPECT_EQ(engine.voices().retiredCount(), 1u);  // still fading: its block is still read
  const auto r = test::cycle(engine, 256);
  EXPECT_GT(r.left[0], 0.4f);
  EXPECT_LT(r.left[64], r.left[0]);
  EXPECT_EQ(r.left[255], 0.0f);
  EXPECT_TRUE(engine.mixer().isIdle(slot));
  engine.voices().collect();
  EXPECT_EQ(engine.voices().retiredCount(), 0u);
  // The slot goes to the next voice and plays only that voice's block.
  engine.voices().publish(1, 0, makeVoice(engine.mixer(), test::dc(100, 1000)));
  engine.voices().voice(1, 0)->Play();
  EXPECT_EQ(test::cycle(engine, 8).left[4], test::s16(1000));
  engine.mixer().setRunning(false);
}

// What a long run's stop report counts, from the first hit until the last sound and voice are
// gone: voices held and mixer slots in the mix (process-wide, so the test counts changes), and
// the voices of one table still sounding, retired ones included.
TEST(SampleVoice, TheTallyAndTheTableCountWhatSoundsAndWhatIsHeld) {
  const auto held = [base = zumbel_engine_tally.voicesAlive.load()] { return zumbel_engine_tally.voicesAlive.load() - base; };
  const auto mixing = [base = zumbel_engine_tally.slotsMixing.load()] { return zumbel_engine_tally.slotsMixing.load() - base; };
  {
    CKitbeatDoc doc;
    DrumEngine engine(doc);
    engine.mixer().setRunning(true);
    VoiceTable& voices = engine.voices();
    voices.publish(0, 0, makeVoice(engine.mixer(), test::dc(100, 1000)));
    voices.publish(1, 0, makeVoice(engine.mixer(), test::dc(44100, 1000)));
    EXPECT_EQ(held(), 2);
    voices.voice(0, 0)->Play();
    voices.voice(0, 0)->Play();
    voices.voice(1, 0)->Play();
    test::cycle(engine, 8);
    EXPECT_EQ(mixing(), 3);
    EXPECT_EQ(voices.soundingCount(), 2);
    test::cycle(engine, 256);  // the short sample has ended twice
    EXPECT_EQ(mixing(), 1);
    EXPECT_EQ(voices.soundingCount(), 1);
    voices.ReleaseAllVoices();
    voices.collect();
    EXPECT_EQ(voices.soundingCount(), 1);  // retired, fading out
    EXPECT_EQ(held(), 2);
    test::cycle(engine, 512);
    voices.collect();
    EXPECT_EQ(mixing(), 0);
    EXPECT_EQ(voices.soundingCount(), 0);
    EXPECT_EQ(held(), 0);
    engine.mixer().setRunning(false);
  }
  {
    // A mixer that goes while a slot still plays takes it out of the count.
    Mixer mixer;
    auto voice = makeVoice(mixer, test::dc(44100, 1000));
    voice->Play();
    test::mix(mixer, 8);
    mixer.setRunning(true);
    voice.reset();
    EXPECT_EQ(mixing(), 1);
  }
  EXPECT_EQ(mixing(), 0);
  EXPECT_EQ(held(), 0);
}

}  // namespace
}  // namespace zumbel
