// The note trigger engine end to end through the engine's process(): which voice a message
// starts, how loud, what it silences and which lamps it lights, at which frame.

#include <climits>
#include <cmath>

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "KitbeatDoc.h"
#include "ShortMessage.h"

namespace zumbel {
namespace {

using test::cycle;

constexpr uint32_t on(int note, int velocity, int channel = 0) { return packShortMessage(0x90 + channel, note, velocity); }
constexpr uint32_t off(int note, int channel = 0) { return packShortMessage(0x80 + channel, note, 0); }

// The level a voice sounds at, as a sample value, for a volume in hundredths of a dB.
double level(int value, int32_t volume) { return value * std::pow(10.0, volume / 2000.0); }

class Kit : public ::testing::Test {
 protected:
  Kit() { doc.OnNewDocument(); }

  // Gives layer j of sound n a voice of its own: a long constant sample whose value tells the
  // voices apart.
  SampleVoice* give(int n, int j, int frames = 44100) {
    Sound& s = doc.sound(n);
    if (s.isEmpty()) {
      for (auto& src : s.sources) src = 0;
    }
    for (int k = j; k < kLayerCount && (k == j || s.sources[k] != k); ++k) s.sources[k] = j;
    engine.voices().publish(n, j, test::makeVoice(engine.mixer(), test::dc(frames, valueOf(n, j)), 16, 0,
                                                  s.looping, s.externalPitchBend, s.playbackRate()));
    return engine.voices().voice(n, j);
  }
  static int16_t valueOf(int n, int j) { return static_cast<int16_t>(1000 * (j + 1) + n); }

  // The left output a few frames into a cycle, in sample units.
  double sounding(std::vector<TimedMessage> messages = {}) {
    return cycle(engine, 16, std::move(messages)).left[15] * 32768.0;
  }

  CKitbeatDoc doc;
  DrumEngine engine{doc};
};

TEST(VolumeLaw, TruncatingIntegerDivisions) {
  EXPECT_EQ(NoteTriggerEngine::hitVolume(-4000, 127, 127), -220);
  EXPECT_EQ(NoteTriggerEngine::hitVolume(-4000, 127, 64), -2110);
  EXPECT_EQ(NoteTriggerEngine::hitVolume(-4000, 127, 1), -4000);
  EXPECT_EQ(NoteTriggerEngine::hitVolume(-8000, 127, 127), -314);
  EXPECT_EQ(NoteTriggerEngine::hitVolume(-4000, 64, 127), -2110);  // channel volume 64
  for (int v = 1; v <= 127; ++v) {
    const int32_t volume = NoteTriggerEngine::hitVolume(0, 127, v);
    EXPECT_GE(volume, -126);
    EXPECT_LE(volume, 0);
  }
  // A damaged file's compress value does not overflow.
  EXPECT_LT(NoteTriggerEngine::hitVolume(INT32_MIN, 127, 127), -10000);
}

TEST_F(Kit, NotesMapToSoundsAndVelocityToTheVolumeLaw) {
  SampleVoice* kick = give(0, 0);
  SampleVoice* top = give(71, 0);
  EXPECT_NEAR(sounding({{0, on(36, 127)}}), level(valueOf(0, 0), -220), 0.05);
  EXPECT_EQ(kick->volume(), -220);
  kick->Stop();
  sounding();
  for (int note : {35, 0, 20}) {
    EXPECT_EQ(kick->nextBuffer(), (note == 35 ? 2 : note == 0 ? 3 : 4) - 1);
    sounding({{0, on(note, 64)}});
    EXPECT_EQ(kick->volume(), -2110) << note;
  }
  sounding({{0, on(107, 1)}});
  EXPECT_EQ(top->volume(), -4000);
  EXPECT_EQ(top->nextBuffer(), 1);
}

TEST_F(Kit, TheBandsSourceLayerPlays) {
  // Scheme 4 (120, 105, 75, 40): layer 1 borrows layer 0, layer 2 has its own sample.
  give(10, 0);
  give(10, 2);
  ASSERT_EQ(doc.sound(10).sources[1], 0);
  struct Case {
    int velocity, layer;
  };
  for (Case c : {Case{127, 0}, Case{121, 0}, Case{120, 0}, Case{106, 0}, Case{105, 2}, Case{41, 2}, Case{40, 2}, Case{1, 2}}) {
    const double out = sounding({{0, on(46, c.velocity)}});
    const int32_t volume = NoteTriggerEngine::hitVolume(-4000, 127, c.velocity);
    EXPECT_NEAR(out, level(valueOf(10, c.layer), volume), 0.05) << c.velocity;
    engine.voices().voice(10, 0)->Stop();
    engine.voices().voice(10, 2)->Stop();
    cycle(engine, 256);
  }
}

TEST_F(Kit, SelectedChannelControlChangeAndPitchBend) {
  give(0, 0);
  doc.sound(1).externalPitchBend = 1;
  SampleVoice* bent = give(1, 0);
  engine.trigger().setNoteOnStatus(0x99);  // channel 10
  EXPECT_EQ(sounding({{0, on(36, 127, 0)}}), 0.0);
  // Pitch bend on any channel re-tunes the sounds that follow it.
  sounding({{0, packShortMessage(0xE0, 0, 64)}});
  EXPECT_EQ(engine.mixer().frequency(bent->buffer(5)), 44228);
  EXPECT_EQ(engine.mixer().frequency(engine.voices().voice(0, 0)->buffer(5)), 0);
  // Channel volume on the selected channel only; other controllers do nothing.
  sounding({{0, packShortMessage(0xB0, 7, 10)}, {0, packShortMessage(0xB9, 10, 10)}});
  EXPECT_EQ(engine.trigger().channelVolume(9), 127);
  sounding({{0, packShortMessage(0xB9, 7, 64)}});
  EXPECT_EQ(engine.trigger().channelVolume(9), 64);
  sounding({{0, on(36, 127, 9)}});
  EXPECT_EQ(engine.voices().voice(0, 0)->volume(), -2110);
  // Active sensing, clock and program changes are ignored.
  const int next = engine.voices().voice(0, 0)->nextBuffer();
  sounding({{0, 0xFE}, {0, 0xF8}, {0, packShortMessage(0xC9, 36, 0)}});
  EXPECT_EQ(engine.voices().voice(0, 0)->nextBuffer(), next);
}

TEST_F(Kit, CutNoteSilencesEveryVoiceOfTheTargetEvenItself) {
  SampleVoice* open0 = give(10, 0);
  SampleVoice* open2 = give(10, 2);
  give(6, 0);
  doc.sound(6).settings[kCutNote] = 10;
  sounding({{0, on(46, 127)}, {0, on(46, 60)}});
  cycle(engine, 4000);  // long ago
  ASSERT_TRUE(engine.mixer().isSounding(open0->buffer(0)));
  ASSERT_TRUE(engine.mixer().isSounding(open2->buffer(0)));
  const double closed = sounding({{0, on(42, 127)}});
  cycle(engine, 512);
  EXPECT_FALSE(engine.mixer().isSounding(open0->buffer(0)));
  EXPECT_FALSE(engine.mixer().isSounding(open2->buffer(0)));
  EXPECT_EQ(engine.mixer().volume(open0->buffer(open0->nextBuffer())), kSilentVolume);
  EXPECT_NEAR(closed, level(valueOf(6, 0), -220) + level(valueOf(10, 0), -220) + level(valueOf(10, 2), -2110), 400);
  EXPECT_NEAR(sounding(), level(valueOf(6, 0), -220), 0.05);  // the closed hat rings on

  // A sound that cuts itself falls silent at once, fading over a few milliseconds.
  doc.sound(6).settings[kCutNote] = 6;
  cycle(engine, 16, {{0, on(42, 127)}});
  cycle(engine, 512);
  EXPECT_EQ(engine.mixer().activeSlotCount(), 0);
}

TEST_F(Kit, NoteOffStopsOnlyWhenEnabledAndOnlyWithALayerZeroVoice) {
  SampleVoice* v = give(2, 0, 44100);
  sounding({{0, on(38, 100)}});
  sounding({{0, off(38)}});
  cycle(engine, 512);
  EXPECT_TRUE(engine.mixer().isSounding(v->buffer(0)));  // note-off disabled by default
  doc.sound(2).noteOffEnabled = 1;
  sounding({{0, on(38, 0)}});  // velocity 0 is a note-off
  cycle(engine, 512);
  EXPECT_FALSE(engine.mixer().isSounding(v->buffer(0)));

  // A looping sound rings until its note-off.
  doc.sound(3).looping = 1;
  doc.sound(3).noteOffEnabled = 1;
  SampleVoice* loop = give(3, 0, 100);
  sounding({{0, on(39, 127)}});
  cycle(engine, 5000);
  EXPECT_TRUE(engine.mixer().isSounding(loop->buffer(0)));
  sounding({{0, off(39)}});
  cycle(engine, 512);
  EXPECT_FALSE(engine.mixer().isSounding(loop->buffer(0)));

  // Layer 0 without a voice: the other layers are not stopped.
  SampleVoice* upper = give(4, 3);
  doc.sound(4).noteOffEnabled = 1;
  engine.voices().release(4, 0);
  upper->Play();
  sounding({{0, off(40)}});
  cycle(engine, 512);
  EXPECT_TRUE(engine.mixer().isSounding(upper->buffer(0)));
}

TEST_F(Kit, GrabsAllSoundOffAndAllNotesOffFadeOutWhatTheyShould) {
  constexpr auto cc = [](int controller, int value) { return packShortMessage(0xB0, controller, value); };
  constexpr auto grab = [](int note, int pressure) { return packShortMessage(0xA0, note, pressure); };
  SampleVoice* crash = give(13, 0);
  SampleVoice* ride = give(15, 0);
  // Each hit starts the voice's next buffer.
  const auto ringing = [&](SampleVoice* v) {
    for (int b = 0; b < v->bufferCount(); ++b) {
      if (engine.mixer().isSounding(v->buffer(b))) return true;
    }
    return false;
  };
  const auto hitBoth = [&] {
    sounding({{0, on(49, 100)}, {0, on(51, 100)}});
    ASSERT_TRUE(ringing(crash) && ringing(ride));
  };

  // Aftertouch below the threshold, on another channel, or with grabbing off leaves it ringing.
  hitBoth();
  sounding({{0, grab(49, 126)}, {0, packShortMessage(0xA1, 49, 127)}});
  cycle(engine, 512);
  EXPECT_TRUE(ringing(crash));
  doc.extras().grabThreshold = kGrabOff;
  sounding({{0, grab(49, 127)}});
  cycle(engine, 512);
  EXPECT_TRUE(ringing(crash));
  // At the threshold the grabbed cymbal fades out over the stop ramp; the other rings on.
  doc.extras().grabThreshold = 100;
  const auto grabbed = cycle(engine, 256, {{0, grab(49, 100)}});
  EXPECT_GT(grabbed.left[0], grabbed.left[60]);
  EXPECT_GT(grabbed.left[60], grabbed.left[255]);
  cycle(engine, 512);
  EXPECT_FALSE(ringing(crash));
  EXPECT_TRUE(ringing(ride));

  // All Sound Off stops everything; All Notes Off only what a note-off would stop.
  hitBoth();
  sounding({{0, cc(kAllSoundOffController, 0)}});
  cycle(engine, 512);
  EXPECT_FALSE(ringing(crash) || ringing(ride));
  doc.sound(13).noteOffEnabled = 1;
  hitBoth();
  sounding({{0, cc(kAllNotesOffController, 0)}});
  cycle(engine, 512);
  EXPECT_FALSE(ringing(crash));
  EXPECT_TRUE(ringing(ride));
}

TEST_F(Kit, LampsFollowNotesAndTheShownOctaves) {
  const Indicators& lamps = engine.indicators();
  give(0, 0);
  // An empty sound plays nothing but lights its band's pad in the empty look.
  const uint32_t before = lamps.changeCount();
  EXPECT_EQ(sounding({{0, on(37, 110)}}), 0.0);
  EXPECT_GT(lamps.changeCount(), before);
  EXPECT_TRUE(lamps.midiLamp());
  EXPECT_EQ(lamps.pad(1, 1), PadLamp::kLitEmpty);
  sounding({{0, on(36, 127)}});
  EXPECT_EQ(lamps.pad(0, 0), PadLamp::kLitLoaded);
  sounding({{0, off(36)}});
  EXPECT_FALSE(lamps.midiLamp());
  for (int j = 0; j < kLayerCount; ++j) EXPECT_EQ(lamps.pad(0, j), PadLamp::kIdle);
  EXPECT_EQ(lamps.pad(1, 1), PadLamp::kLitEmpty);  // another key keeps its lamp

  // With the second octave pair shown, sound 24 is the first key and sound 0 is off screen.
  engine.trigger().setFirstShownSound(24);
  sounding({{0, off(37)}});  // 37 - 36 - 24 < 0: the first key is reset
  EXPECT_EQ(lamps.pad(1, 1), PadLamp::kLitEmpty);
  sounding({{0, on(36, 127)}, {0, on(60, 127)}, {0, on(84, 127)}});
  EXPECT_EQ(lamps.pad(0, 0), PadLamp::kLitEmpty);  // sound 24
  for (int k = 0; k < Indicators::kKeys; ++k) {
    if (k != 0 && k != 1) {
      EXPECT_EQ(lamps.pad(k, 0), PadLamp::kIdle) << k;
    }
  }
  // A sound whose band has no voice lights the MIDI lamp and nothing else.
  sounding({{0, off(60)}});
  give(30, 0);
  engine.voices().release(30, 0);
  sounding({{0, on(66, 127)}});
  EXPECT_TRUE(lamps.midiLamp());
  EXPECT_EQ(lamps.pad(6, 0), PadLamp::kIdle);
}

TEST_F(Kit, ValuesFromADamagedFileNeverIndexOutsideTheTables) {
  give(5, 0);
  Sound& s = doc.sound(5);
  s.settings[kVelocityScheme] = 77;  // read as the default scheme
  s.settings[kCutNote] = 500;
  EXPECT_NEAR(sounding({{0, on(41, 127)}}), level(valueOf(5, 0), -220), 0.05);
  s.settings[kCutNote] = -7;
  s.sources[0] = 9;  // not empty, but names no layer: nothing plays
  for (auto& src : s.sources) src = 9;
  s.sources[1] = -5;
  cycle(engine, 512, {{0, packShortMessage(0x90, 41, 127)}, {0, packShortMessage(0x90, 41, 110)}});
  EXPECT_EQ(engine.voices().voice(5, 0)->nextBuffer(), 1);
  // Data bytes above 127 from a raw stream pick no sound beyond the table.
  for (auto& src : s.sources) src = 0;
  sounding({{0, packShortMessage(0x90, 0xC8, 100)}, {0, packShortMessage(0x80, 0xFF, 0)}});
  EXPECT_EQ(engine.voices().voice(5, 0)->nextBuffer(), 1);
  // Only the first source decides whether a sound is empty.
  give(7, 1);
  doc.sound(7).sources[0] = kNone;
  sounding({{0, on(43, 100)}});
  EXPECT_EQ(engine.voices().voice(7, 1)->nextBuffer(), 0);
  EXPECT_EQ(engine.indicators().pad(7, 2), PadLamp::kLitEmpty);
  // A channel from a hand-edited settings file is taken as the nearest real one, never overflowing.
  engine.trigger().setMidiChannel(INT_MAX);
  EXPECT_EQ(engine.trigger().noteOnStatus(), 0x9F);
  engine.trigger().setMidiChannel(INT_MIN);
  EXPECT_EQ(engine.trigger().noteOnStatus(), 0x90);
  engine.trigger().setNoteOnStatus(0x1234);  // a nonsense channel matches nothing
  EXPECT_NO_FATAL_FAILURE(sounding({{0, 0xFFFFFFFF}, {0, packShortMessage(0xB0, 7, 0)}}));
}

TEST_F(Kit, ReleaseAllVoicesEmptiesTheTableAndThePreview) {
  give(0, 0);
  give(0, 3);
  engine.voices().setPreview(test::makeVoice(engine.mixer(), test::dc(44100, 500), 1));
  engine.voices().preview()->Play();
  EXPECT_GT(sounding({{0, on(36, 127)}}), 0.0);
  engine.voices().ReleaseAllVoices();
  EXPECT_EQ(engine.voices().voiceCount(), 0);
  EXPECT_EQ(engine.voices().preview(), nullptr);
  cycle(engine, 512);
  EXPECT_EQ(sounding({{0, on(36, 127)}}), 0.0);  // nothing plays until voices are made again
  EXPECT_EQ(engine.mixer().activeSlotCount(), 0);
  engine.voices().ReleaseAllVoices();  // on an empty table: nothing to do
  EXPECT_EQ(engine.mixer().freeSlotCount(), kMaxSlots);
}

TEST_F(Kit, EachMessageActsAtItsOwnFrame) {
  give(0, 0);
  give(1, 0);
  const auto r = cycle(engine, 256, {{37, on(36, 127)}, {37, on(37, 127)}, {200, on(36, 127)}});
  for (int i = 0; i < 37; ++i) ASSERT_EQ(r.left[static_cast<std::size_t>(i)], 0.0f) << i;
  const double both = level(valueOf(0, 0), -220) + level(valueOf(1, 0), -220);
  EXPECT_NEAR(r.left[37] * 32768.0, both, 0.1);
  EXPECT_NEAR(r.left[199] * 32768.0, both, 0.1);
  EXPECT_NEAR(r.left[200] * 32768.0, both + level(valueOf(0, 0), -220), 0.1);
  // Messages at or past the end of the cycle take effect from the next cycle's first frame.
  const auto late = cycle(engine, 64, {{64, off(36)}, {9999, on(37, 127)}});
  EXPECT_EQ(engine.voices().voice(1, 0)->nextBuffer(), 2);
  EXPECT_NEAR(late.left[63] * 32768.0, both + level(valueOf(0, 0), -220), 0.1);
}

}  // namespace
}  // namespace zumbel
