// The Sound Properties dialog's messages applied to a sound: what is stored, which voices are
// retuned, and what is left alone.

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "KitbeatDoc.h"
#include "RealtimeScope.h"
#include "SoundParameter.h"
#include "SoundParameterUpdate.h"
#include "VoiceTable.h"

namespace zumbel {
namespace {

constexpr int kSound = 3;

// Sound 3 with its own samples in layers 0 and 2 (sources 0, 0, 2, 2, 2) and their voices, plus
// a stray voice in layer 1, which plays no band of its own.
class SoundParameterUpdate : public ::testing::Test {
 protected:
  SoundParameterUpdate() {
    doc.OnNewDocument();
    const int32_t sources[] = {0, 0, 2, 2, 2};
    for (int k = 0; k < kLayerCount; ++k) doc.sound(kSound).sources[static_cast<std::size_t>(k)] = sources[k];
    for (int j : {0, 1, 2}) voices.publish(kSound, j, test::makeVoice(mixer, test::dc(100, 1)));
  }
  void apply(int type, int value, int sound = kSound) {
    // Nothing of it may allocate: the voices' side is the audio path's own operations.
    const RealtimeScope audioPathRules;
    ApplySoundParameter(doc, &voices, sound, type, value);
  }
  SampleVoice& voice(int layer) { return *voices.voice(kSound, layer); }
  int32_t hz(int layer) { return mixer.frequency(voice(layer).buffer(0)); }
  const Sound& sound() const { return doc.sound(kSound); }

  CKitbeatDoc doc;
  Mixer mixer;
  VoiceTable voices{mixer};
};

TEST_F(SoundParameterUpdate, ValuesAreStoredAsSentAndTheSchemeOneLower) {
  apply(kSoundScheme, 1);
  EXPECT_EQ(sound().velocityScheme(), 0);
  apply(kSoundScheme, 5);
  EXPECT_EQ(sound().velocityScheme(), 4);
  apply(kSoundCompress, -6000);
  EXPECT_EQ(sound().compress(), -6000);
  apply(kSoundCutNote, 12);
  EXPECT_EQ(sound().cutNote(), 12);
  apply(kSoundCutNote, -1);
  EXPECT_EQ(sound().cutNote(), -1);
  EXPECT_EQ(doc.sound(kSound + 1).compress(), kDefaultCompress);
  EXPECT_FALSE(doc.IsModified());
}

TEST_F(SoundParameterUpdate, SwitchesTravelInvertedAndAreStoredAsZeroOrOne) {
  const struct {
    int type;
    const RelaxedInt Sound::*flag;
  } switches[] = {{kSoundNoteOff, &Sound::noteOffEnabled}, {kSoundLooping, &Sound::looping},
                  {kSoundPitchBend, &Sound::externalPitchBend}};
  for (const auto& s : switches) {
    apply(s.type, 0);
    EXPECT_EQ(sound().*s.flag, 1) << s.type;
    apply(s.type, 1);
    EXPECT_EQ(sound().*s.flag, 0) << s.type;
    apply(s.type, 7);
    EXPECT_EQ(sound().*s.flag, 1) << s.type;
  }
  // Every voice there is follows the switches, also one that plays no band.
  for (int j : {0, 1, 2}) {
    EXPECT_TRUE(voice(j).looping()) << j;
    EXPECT_TRUE(voice(j).followsPitchBend()) << j;
  }
}

TEST_F(SoundParameterUpdate, PanReachesTheLayersWithTheirOwnSampleAndRateReachesEveryVoice) {
  apply(kSoundPan, 4000);
  EXPECT_EQ(sound().pan(), 4000);
  EXPECT_EQ(mixer.pan(voice(0).buffer(15)), 4000);
  EXPECT_EQ(mixer.pan(voice(2).buffer(0)), 4000);
  EXPECT_EQ(mixer.pan(voice(1).buffer(0)), 0);
  // The pan a voice was made with stays what it was.
  EXPECT_EQ(voice(0).pan(), 0);

  apply(kSoundRate, 46721);
  EXPECT_EQ(sound().playbackRate(), 46721);
  for (int j : {0, 1, 2}) EXPECT_EQ(hz(j), 46721) << j;
  apply(kSoundRate, 44100);
  for (int j : {0, 1, 2}) EXPECT_EQ(hz(j), 0) << j;  // the buffer's own rate
}

TEST_F(SoundParameterUpdate, ARateForVoicesFollowingPitchBendIsWhatTheyBendAround) {
  apply(kSoundRate, 48000);
  apply(kSoundPitchBend, 0);
  voice(0).SetPitch(8000);  // a bend message: the base rate itself
  EXPECT_EQ(hz(0), 48000);
  // The pitch reset while pitch bend has the pitch: no jump now, and the next bend is heard
  // around the rate the set now stores.
  apply(kSoundRate, 44100);
  EXPECT_EQ(sound().playbackRate(), 44100);
  EXPECT_EQ(hz(0), 48000);
  voice(0).SetPitch(9000);
  EXPECT_EQ(hz(0), 45100);
  // Switched off, the sound goes back to its own rate instead of staying bent.
  apply(kSoundPitchBend, 1);
  EXPECT_EQ(hz(0), 0);
  EXPECT_EQ(voice(0).baseRate(), 44100);
}

TEST_F(SoundParameterUpdate, UnknownTypesAndSoundsOutsideTheSetChangeNothing) {
  const DrumSetContent before = doc.content();
  for (int type : {0, 1, 12, 99, 100, -2}) apply(type, 1);
  apply(kSoundPan, 100, -1);
  apply(kSoundPan, 100, kSoundCount);
  EXPECT_TRUE(doc.content() == before);
  EXPECT_EQ(mixer.pan(voice(0).buffer(0)), 0);
}

// The level reaches every voice with its layer's gain on top; values no control sends are refused.
TEST_F(SoundParameterUpdate, LevelAndOutputReachEveryVoiceAndOutOfRangeValuesAreRefused) {
  doc.soundExtras(kSound).layerGain[2] = 300;
  apply(kSoundLevel, -650);
  apply(kSoundOutput, kOutputPairs - 1);
  EXPECT_EQ(mixer.trim(voice(0).buffer(15)), -650);
  EXPECT_EQ(mixer.trim(voice(2).buffer(0)), -350);
  EXPECT_EQ(mixer.output(voice(1).buffer(0)), kOutputPairs - 1);
  for (int level : {kMinLevel - 1, kMaxLevel + 1}) apply(kSoundLevel, level);
  for (int output : {-1, kOutputPairs}) apply(kSoundOutput, output);
  EXPECT_EQ(doc.soundExtras(kSound).level, -650);
  EXPECT_EQ(voice(2).output(), kOutputPairs - 1);
}

}  // namespace
}  // namespace zumbel
