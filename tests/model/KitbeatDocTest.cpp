#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "EditHistory.h"
#include "KitbeatDoc.h"

namespace zumbel {
namespace {

std::array<int, kLayerCount> sources(const CKitbeatDoc& doc, int n) {
  std::array<int, kLayerCount> out{};
  for (int k = 0; k < kLayerCount; ++k) out[k] = doc.sound(n).sources[k];
  return out;
}

using Sources = std::array<int, kLayerCount>;

class DocTest : public ::testing::Test {
 protected:
  DocTest() {
    doc.OnNewDocument();
    doc.appendGroup("Kicks");
    for (int i = 0; i < 6; ++i) doc.appendSample(0, "C:\\Drums\\k" + std::to_string(i) + ".wav");
  }
  CKitbeatDoc doc;
};

TEST(KitbeatDoc, NewDrumSetHasDefaultsAndTitle) {
  CKitbeatDoc doc;
  doc.SetModifiedFlag();
  doc.SetPathName("/kits/Old.drums");
  doc.OnNewDocument();
  EXPECT_EQ(doc.GetTitle(), "New Drumset (Not Saved)");
  EXPECT_EQ(doc.GetPathName(), "");
  EXPECT_FALSE(doc.IsModified());
  EXPECT_EQ(doc.headerValue(), 1);
  EXPECT_EQ(doc.groupCount(), 0);
  for (int n = 0; n < kSoundCount; ++n) {
    const Sound& s = doc.sound(n);
    EXPECT_TRUE(s.isEmpty());
    EXPECT_EQ(s.cutNote(), -1);
    EXPECT_EQ(s.velocityScheme(), 4);
    EXPECT_EQ(s.compress(), -4000);
    EXPECT_EQ(s.pan(), 0);
    EXPECT_EQ(s.playbackRate(), 0);
    EXPECT_EQ(s.settings[kFormatMarker], 1);
    EXPECT_EQ(s.settings[kReserved0 + 0], 4);
    EXPECT_EQ(s.settings[kReserved0 + 1], -4000);
    EXPECT_EQ(s.settings[kReserved0 + 2], 0);
    EXPECT_EQ(s.settings[kReserved0 + 3], 1);
    EXPECT_EQ(s.noteOffEnabled + s.looping + s.externalPitchBend, 0);
    for (const SampleRef& r : s.refs) EXPECT_EQ(r, kNoSample);
  }
  EXPECT_EQ(doc.threshold(0, 0), 90);
  EXPECT_EQ(doc.threshold(2, 3), 25);
  EXPECT_EQ(doc.threshold(4, 1), 105);
}

TEST(KitbeatDoc, ConstructionDiffersFromNewOnlyInHeaderAndReserved) {
  CKitbeatDoc built;
  EXPECT_EQ(built.headerValue(), 0);
  EXPECT_EQ(built.GetTitle(), "");
  for (int i = 0; i < 4; ++i) EXPECT_EQ(built.sound(7).settings[kReserved0 + i], 0);
  EXPECT_EQ(built.sound(7).velocityScheme(), 4);
  EXPECT_EQ(built.sound(7).compress(), -4000);
}

TEST(KitbeatDoc, VelocityBandsFollowTheScheme) {
  CKitbeatDoc doc;
  doc.OnNewDocument();
  EXPECT_EQ(doc.velocityBand(4, 120), 1);
  EXPECT_EQ(doc.velocityBand(4, 121), 0);
  EXPECT_EQ(doc.velocityBand(4, 40), 4);
  EXPECT_EQ(doc.velocityBand(4, 41), 3);
  EXPECT_EQ(doc.velocityBand(0, 91), 0);
  EXPECT_EQ(doc.velocityBand(0, 10), 4);
  EXPECT_EQ(doc.velocityBand(0, 11), 3);
  // A scheme read from a file may be anything; it must never index past the table.
  EXPECT_EQ(doc.velocityBand(7, 121), doc.velocityBand(4, 121));
  EXPECT_EQ(doc.velocityBand(-3, 40), doc.velocityBand(4, 40));
}

TEST_F(DocTest, AssigningToAnEmptySoundFillsLayerZero) {
  doc.AssignSample(5, 3, SampleRef{0, 2});
  EXPECT_EQ(doc.sound(5).refs[0], (SampleRef{0, 2}));
  EXPECT_EQ(doc.sound(5).refs[3], kNoSample);
  EXPECT_EQ(sources(doc, 5), (Sources{0, 0, 0, 0, 0}));
}

TEST_F(DocTest, AssigningFillsBandsUpToTheNextOwnLayer) {
  doc.AssignSample(1, 0, SampleRef{0, 0});
  doc.AssignSample(1, 2, SampleRef{0, 2});
  ASSERT_EQ(sources(doc, 1), (Sources{0, 0, 2, 2, 2}));

  CKitbeatDoc copy = doc;
  copy.AssignSample(1, 3, SampleRef{0, 3});
  EXPECT_EQ(sources(copy, 1), (Sources{0, 0, 2, 3, 3}));

  doc.AssignSample(1, 1, SampleRef{0, 1});
  EXPECT_EQ(sources(doc, 1), (Sources{0, 1, 2, 2, 2}));
  EXPECT_EQ(doc.sound(1).refs[1], (SampleRef{0, 1}));

  // Replacing a layer's own sample leaves the bands alone.
  doc.AssignSample(1, 2, SampleRef{0, 4});
  EXPECT_EQ(sources(doc, 1), (Sources{0, 1, 2, 2, 2}));
  EXPECT_EQ(doc.sound(1).refs[2], (SampleRef{0, 4}));
}

TEST_F(DocTest, RemovingALayerRepointsItsBandsToTheLouderLayer) {
  doc.AssignSample(1, 0, SampleRef{0, 0});
  doc.AssignSample(1, 2, SampleRef{0, 2});
  CKitbeatDoc other = doc;
  other.AssignSample(1, 3, SampleRef{0, 3});

  doc.RemoveSample(1, 2);
  EXPECT_EQ(sources(doc, 1), (Sources{0, 0, 0, 0, 0}));
  EXPECT_EQ(doc.sound(1).refs[2], kNoSample);

  other.RemoveSample(1, 2);
  EXPECT_EQ(sources(other, 1), (Sources{0, 0, 0, 3, 3}));
  EXPECT_EQ(other.sound(1).refs[3], (SampleRef{0, 3}));

  other.RemoveSample(1, 0);
  EXPECT_TRUE(other.sound(1).isEmpty());
  for (const SampleRef& r : other.sound(1).refs) EXPECT_EQ(r, kNoSample);
}

TEST_F(DocTest, ForgettingLayerZeroEmptiesTheSoundButKeepsPanRateAndFlags) {
  Sound& s = doc.sound(9);
  doc.AssignSample(9, 0, SampleRef{0, 1});
  doc.AssignSample(9, 3, SampleRef{0, 4});
  s.settings[kCutNote] = 12;
  s.settings[kVelocityScheme] = 1;
  s.settings[kCompress] = -8000;
  s.settings[kPan] = 2500;
  s.settings[kPlaybackRate] = 22050;
  s.looping = 1;
  s.noteOffEnabled = 1;

  doc.ForgetSample(SampleRef{0, 1});
  EXPECT_TRUE(s.isEmpty());
  EXPECT_EQ(s.refs[0], kNoSample);
  EXPECT_EQ(s.cutNote(), -1);
  EXPECT_EQ(s.velocityScheme(), 4);
  EXPECT_EQ(s.compress(), -4000);
  EXPECT_EQ(s.pan(), 2500);
  EXPECT_EQ(s.playbackRate(), 22050);
  EXPECT_EQ(s.looping, 1);
  EXPECT_EQ(s.noteOffEnabled, 1);
  EXPECT_EQ(s.refs[3], (SampleRef{0, 4}));  // left in place while the sound is empty

  // The next sample given to the empty sound starts it afresh, without the leftover reference.
  doc.AssignSample(9, 2, SampleRef{0, 5});
  EXPECT_EQ(sources(doc, 9), (Sources{0, 0, 0, 0, 0}));
  EXPECT_EQ(s.refs[3], kNoSample);
}

TEST_F(DocTest, ForgettingClearsEveryUseInOnePass) {
  const SampleRef gone{0, 3};
  doc.AssignSample(0, 0, gone);
  doc.AssignSample(2, 0, SampleRef{0, 0});
  doc.AssignSample(2, 1, gone);
  doc.AssignSample(2, 3, SampleRef{0, 1});
  doc.AssignSample(4, 0, SampleRef{0, 0});
  doc.AssignSample(4, 4, gone);

  doc.ForgetSample(gone);
  EXPECT_TRUE(doc.sound(0).isEmpty());
  EXPECT_EQ(sources(doc, 2), (Sources{0, 0, 0, 3, 3}));
  EXPECT_EQ(sources(doc, 4), (Sources{0, 0, 0, 0, 0}));
  for (int n = 0; n < kSoundCount; ++n) {
    for (const SampleRef& r : doc.sound(n).refs) EXPECT_NE(r, gone);
  }
}

// A sound moves, copies and swaps whole, with the choke members the audio thread reads; a move
// leaves a new set's empty sound. Cut notes stay the sound numbers they were.
TEST_F(DocTest, WholeSoundsMoveCopyAndSwapWithEveryProperty) {
  const auto fill = [&](int n, int seed) {
    doc.AssignSample(n, 0, SampleRef{0, seed});
    doc.AssignSample(n, 3, SampleRef{0, seed + 1});
    for (int i = 0; i < kSoundSettingCount; ++i) doc.sound(n).settings[i] = seed * 100 + i;
    doc.sound(n).looping = doc.sound(n).noteOffEnabled = doc.sound(n).externalPitchBend = 1;
    SoundExtras& x = doc.soundExtras(n);
    x.name = "S" + std::to_string(seed);
    x.level = x.output = x.layerGain[3] = x.roundRobin = seed;
    x.alternates[3] = {"/t" + std::to_string(seed) + ".wav"};
    doc.extras().setChokeGroup(n, 4 + seed);  // 5 and 6
  };
  fill(3, 1);
  fill(9, 2);
  doc.sound(60).settings[kCutNote] = 3;
  using Whole = std::pair<Sound, SoundExtras>;
  const auto whole = [&](int n) { return Whole{doc.sound(n), doc.soundExtras(n)}; };
  CKitbeatDoc fresh;
  fresh.OnNewDocument();
  const Whole kick = whole(3), snare = whole(9), empty{fresh.sound(0), SoundExtras{}};
  struct Step {
    std::function<bool()> edit;
    std::array<const Whole*, 4> at;  // what sounds 3, 9, 20 and 40 hold afterwards
  };
  const std::array<int, 4> watched{3, 9, 20, 40};
  int step = 0;
  for (const Step& s : std::vector<Step>{
           {[&] { return doc.CopySound(3, 20); }, {&kick, &snare, &kick, &empty}},
           {[&] { return doc.MoveSound(3, 40); }, {&empty, &snare, &kick, &kick}},
           {[&] { return doc.SwapSounds(40, 9); }, {&empty, &kick, &kick, &snare}},
           {[&] { return doc.MoveSound(40, 20); }, {&empty, &kick, &snare, &empty}},
       }) {
    doc.SetModifiedFlag(false);
    EXPECT_TRUE(s.edit() && doc.IsModified()) << step;
    for (std::size_t i = 0; i < watched.size(); ++i) {
      EXPECT_TRUE(whole(watched[i]) == *s.at[i]) << step << ": sound " << watched[i];
      EXPECT_EQ(doc.extras().chokeMembers(5).contains(watched[i]), s.at[i] == &kick) << step;
      EXPECT_EQ(doc.extras().chokeMembers(6).contains(watched[i]), s.at[i] == &snare) << step;
    }
    ++step;
  }
  EXPECT_EQ(doc.sound(60).cutNote(), 3) << "other sounds' cuts stay";
  // Cuts within the carried sounds go with them: a hat pair swapped still cuts each other, a
  // sound that cut itself still does, and so does its copy.
  doc.sound(30).settings[kCutNote] = 31;
  doc.sound(31).settings[kCutNote] = 30;
  doc.sound(32).settings[kCutNote] = 32;
  doc.SwapSounds(30, 31);
  doc.MoveSound(32, 33);
  doc.CopySound(33, 34);
  EXPECT_EQ((std::array<int, 4>{doc.sound(30).cutNote(), doc.sound(31).cutNote(), doc.sound(33).cutNote(),
                                doc.sound(34).cutNote()}),
            (std::array<int, 4>{31, 30, 33, 34}));

  // Onto itself, outside the set, or nothing that differs: no change and no modification.
  doc.SetModifiedFlag(false);
  EXPECT_FALSE(doc.MoveSound(9, 9) || doc.CopySound(-1, 9) || doc.SwapSounds(9, kSoundCount) || doc.MoveSound(3, 40));
  EXPECT_FALSE(doc.IsModified());
}

TEST(KitbeatDoc, PathSetsTitleAndFolder) {
  CKitbeatDoc doc;
  doc.SetPathName("/home/me/kits/Rock.drums");
  EXPECT_EQ(doc.GetTitle(), "Rock.drums");
  EXPECT_EQ(doc.folder(), "/home/me/kits/");
  doc.SetPathName("Rock.drums");
  EXPECT_EQ(doc.folder(), "");
}

// What the window's title and Save rely on: which state counts as saved, and what stays of it.
TEST(EditHistory, TheSavedStateIsFoundAgainUntilItCanNoLongerBeReached) {
  CKitbeatDoc doc;
  doc.OnNewDocument();
  EditHistory h;
  h.clear(true);
  const auto edit = [&](int pan, const std::string& key = {}) {
    h.begin(doc, "Pan", key);
    doc.sound(0).settings[kPan] = pan;
    h.end(doc);
  };
  const auto undo = [&] { doc.replaceContent(h.undo(doc)->content); };
  edit(1);
  edit(2);
  EXPECT_FALSE(h.atSaved());
  undo();
  undo();
  EXPECT_TRUE(h.atSaved());
  EXPECT_EQ(doc.sound(0).pan(), 0);
  EXPECT_FALSE(h.undo(doc));
  doc.replaceContent(h.redo(doc)->content);
  h.markSaved();
  undo();
  edit(5);  // over the undone step: the saved state (pan 1) is gone for good
  EXPECT_FALSE(h.canRedo());
  undo();
  EXPECT_FALSE(h.atSaved());

  // Moves under one key make one step; coming back to where they began makes none.
  h.clear(true);
  for (int pan : {10, 20, 30}) edit(pan, "drag");
  EXPECT_EQ(h.steps(), 1);
  edit(0, "drag");
  EXPECT_EQ(h.steps(), 0);
  EXPECT_TRUE(h.atSaved());
  h.closeMerge();

  // The oldest steps go past the limit, and a save among them with them.
  h.clear(true);
  for (int k = 1; k <= kMaxUndoSteps + 3; ++k) edit(k);
  EXPECT_EQ(h.steps(), kMaxUndoSteps);
  while (h.canUndo()) undo();
  EXPECT_EQ(doc.sound(0).pan(), 3);
  EXPECT_FALSE(h.atSaved());
}

}  // namespace
}  // namespace zumbel
