// The set's extras file: saved with the set, read back exactly, and never able to stop a set from
// opening, whatever lies beside it.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "DrumsFile.h"
#include "ExtrasFile.h"
#include "KitbeatDoc.h"
#include "TestSupport.h"

namespace zumbel {
namespace {

using test::TempDir;

std::string readText(const std::string& path) {
  const std::vector<uint8_t> b = test::readBytes(path);
  return {b.begin(), b.end()};
}

void writeText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

class ExtrasFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    doc.OnNewDocument();
    ASSERT_TRUE(doc.OnSaveDocument(set).ok());
    plain = test::readBytes(set);
  }
  TempDir dir;
  const std::string set = dir / "Kit.drums";
  const std::string extras = dir / "Kit.zumbel";
  CKitbeatDoc doc;
  std::vector<uint8_t> plain;
};

TEST_F(ExtrasFileTest, RoundTripsBesideAnUnchangedSetAndLeavesNoFileWhenDefault) {
  EXPECT_FALSE(std::filesystem::exists(extras)) << "a set without extras needs no file";
  SoundExtras& snare = doc.soundExtras(2);
  snare.name = "Snare \"rim\" \xC3\xA9";
  snare.level = -600;
  snare.output = 2;
  snare.layerGain[3] = -350;
  doc.soundExtras(127).level = kLevelOff;
  doc.soundExtras(0).layerGain[0] = kMaxLayerGain;
  doc.extras().grabThreshold = kGrabOff;
  for (const int hat : {6, 8, 10}) doc.extras().setChokeGroup(hat, kMaxChokeGroups);
  doc.extras().setChokeGroup(10, 3);  // moving a sound takes it out of its old group
  snare.roundRobin = kRoundRobinRandom;
  snare.alternates[1] = {"/kits/Snare 2.wav", "C:\\Kits\\Snare 3.wav"};
  ASSERT_TRUE(doc.OnSaveDocument(set).ok());
  EXPECT_EQ(test::readBytes(set), plain) << "an extra never changes the .drums file";
  ASSERT_TRUE(std::filesystem::exists(extras));

  CKitbeatDoc back;
  const FileOutcome opened = back.OnOpenDocument(set);
  ASSERT_TRUE(opened.ok());
  EXPECT_TRUE(opened.notices.empty());
  EXPECT_EQ(back.soundExtras(2).name, snare.name);
  EXPECT_EQ(back.soundExtras(2).level, -600);
  EXPECT_EQ(back.soundExtras(2).output, 2);
  EXPECT_EQ(back.soundExtras(2).layerGain[3], -350);
  EXPECT_EQ(back.soundExtras(127).level, kLevelOff);
  EXPECT_EQ(back.soundExtras(0).layerGain[0], kMaxLayerGain);
  EXPECT_EQ(back.extras().grabThreshold, kGrabOff);
  EXPECT_EQ(back.soundExtras(2).roundRobin, kRoundRobinRandom);
  EXPECT_EQ(back.soundExtras(2).alternates[1], snare.alternates[1]);
  EXPECT_TRUE(back.soundExtras(2).alternates[0].empty());
  EXPECT_EQ(back.soundExtras(8).chokeGroup, kMaxChokeGroups);
  const SoundMask& hats = back.extras().chokeMembers(kMaxChokeGroups);
  EXPECT_EQ(hats.count(), 2);
  EXPECT_TRUE(hats.contains(6) && hats.contains(8) && !hats.contains(10));
  EXPECT_TRUE(back.extras().chokeMembers(3).contains(10));
  EXPECT_EQ(back.extras().chokeMembers(kNoChokeGroup).count(), 0) << "no group chokes the ungrouped";
  EXPECT_TRUE(back.soundExtras(1).isDefault());
  EXPECT_EQ(voiceTrim(back.soundExtras(2), 3), -950);
  EXPECT_EQ(voiceTrim(back.soundExtras(127), 0), kLevelOff);

  // Back to defaults: the file goes, so a later set of that name does not inherit it.
  back.replaceExtras(SetExtras{});
  EXPECT_EQ(back.extras().chokeMembers(kMaxChokeGroups).count(), 0);
  ASSERT_TRUE(back.OnSaveDocument(set).ok());
  EXPECT_FALSE(std::filesystem::exists(extras));
  EXPECT_EQ(test::readBytes(set), plain);
}

TEST_F(ExtrasFileTest, UnknownKeysSurviveASaveAndKnownOnesAreReplaced) {
  writeText(extras, R"({"format":"zumbel-extras","version":1,"producer":{"take":7},
    "sounds":{"5":{"name":"Tom","levelDb":-3,"colour":"red","layers":{"1":{"gainDb":2,"mic":"oh"}}},
              "9":{"levelDb":-1}}})");
  CKitbeatDoc back;
  ASSERT_TRUE(back.OnOpenDocument(set).ok());
  back.soundExtras(5).level = 0;            // back to default: its key goes, its neighbours stay
  back.soundExtras(5).layerGain[1] = 0;
  back.soundExtras(9).level = 0;            // nothing of its own left: the sound's entry goes
  ASSERT_TRUE(back.OnSaveDocument(set).ok());
  const std::string text = readText(extras);
  EXPECT_NE(text.find("\"producer\""), std::string::npos);
  EXPECT_NE(text.find("\"colour\": \"red\""), std::string::npos);
  EXPECT_NE(text.find("\"mic\": \"oh\""), std::string::npos);
  EXPECT_EQ(text.find("levelDb"), std::string::npos);
  EXPECT_EQ(text.find("gainDb"), std::string::npos);
  EXPECT_EQ(text.find("\"9\""), std::string::npos);
  CKitbeatDoc again;
  ASSERT_TRUE(again.OnOpenDocument(set).ok());
  EXPECT_EQ(again.soundExtras(5).name, "Tom");
}

TEST_F(ExtrasFileTest, HostileFilesAreReportedAndNeverStopTheSet) {
  const std::string deep = std::string(200000, '[') + std::string(200000, ']');
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"not json {", "not an extras file"},
      {"[1,2,3]", "not an extras file"},
      {"\xff\xfe{}", "not an extras file"},
      {deep, "nested too deeply"},
      {R"({"sounds":[1]})", "\"sounds\" is not an object"},
      {R"({"grabThreshold":0})", "not an aftertouch value"},
      {R"({"version":99,"sounds":{"3":{"levelDb":-6}}})", "newer Zumbel"},
  };
  for (const auto& [text, expected] : cases) {
    writeText(extras, text);
    CKitbeatDoc back;
    const FileOutcome opened = back.OnOpenDocument(set);
    ASSERT_TRUE(opened.ok()) << expected;
    ASSERT_EQ(opened.notices.size(), 1u) << expected;
    EXPECT_NE(opened.notices[0].find(expected), std::string::npos) << opened.notices[0];
  }

  // Values out of range or of the wrong kind are each named and left out; good ones still apply.
  writeText(extras, R"({"sounds":{"128":{},"-1":{},"01":{},"x":{},"4":5,
    "1":{"name":7,"levelDb":13,"output":9,"layers":{"5":{},"0":{"gainDb":"loud"},"2":{"gainDb":-61}}},
    "2":{"levelDb":-60,"output":8,"name":"Ride\nBell","layers":{"4":{"gainDb":12}}},
    "3":{"levelDb":1e30,"chokeGroup":33,"roundRobin":"shuffle","layers":{"0":{"alternates":"a.wav"},
         "1":{"alternates":["ok.wav","",7,"bad\u0000name"]}}},
    "6":{"chokeGroup":-1,"layers":{"2":{"alternates":["1","2","3","4","5","6","7","8","9","10","11","12","13","14","15","16","17"]}}}}})");
  CKitbeatDoc back;
  FileOutcome opened = back.OnOpenDocument(set);
  ASSERT_TRUE(opened.ok());
  EXPECT_EQ(opened.notices.size(), 20u);
  EXPECT_EQ(back.soundExtras(3).alternates[1], std::vector<std::string>{"ok.wav"});
  EXPECT_EQ(back.soundExtras(3).chokeGroup, kNoChokeGroup);
  EXPECT_EQ(back.soundExtras(6).alternates[2].size(), static_cast<std::size_t>(kMaxAlternates));
  EXPECT_TRUE(back.soundExtras(1).isDefault());
  EXPECT_EQ(back.soundExtras(2).level, kMinLevel);
  EXPECT_EQ(back.soundExtras(2).output, 7);
  EXPECT_EQ(back.soundExtras(2).name, "Ride Bell");
  EXPECT_EQ(back.soundExtras(2).layerGain[4], 1200);

  // Not a file, or far too big: ignored without reading it whole.
  std::filesystem::remove(extras);
  ::mkfifo(extras.c_str(), 0600);
  opened = back.OnOpenDocument(set);
  ASSERT_TRUE(opened.ok());
  ASSERT_EQ(opened.notices.size(), 1u);
  EXPECT_NE(opened.notices[0].find("not a regular file"), std::string::npos);
  std::filesystem::remove(extras);
  { std::ofstream(extras) << "{}"; }
  std::filesystem::resize_file(extras, kMaxExtrasFileBytes + 1);
  opened = back.OnOpenDocument(set);
  ASSERT_EQ(opened.notices.size(), 1u);
  EXPECT_NE(opened.notices[0].find("larger"), std::string::npos);

  // Many bad values: the user is told a bounded number of lines.
  std::string many = R"({"sounds":{)";
  for (int n = 0; n < 128; ++n) many += (n ? "," : "") + ("\"" + std::to_string(n) + "\":{\"output\":0}");
  writeText(extras, many + "}}");
  opened = back.OnOpenDocument(set);
  EXPECT_LE(opened.notices.size(), 21u);
  EXPECT_NE(opened.notices.back().find("more"), std::string::npos);
}

TEST_F(ExtrasFileTest, SaveAsWritesBothAndAFailedSaveLeavesBothAsTheyWere) {
  doc.soundExtras(7).name = "Clap";
  TempDir other;
  ASSERT_TRUE(doc.OnSaveDocument(other / "Copy.drums").ok());
  EXPECT_NE(readText(other / "Copy.zumbel").find("Clap"), std::string::npos);

  // A read-only extras file refuses the save; the set beside it is left untouched too.
  ASSERT_TRUE(doc.OnSaveDocument(set).ok());
  const std::vector<uint8_t> setBefore = test::readBytes(set);
  const std::string extrasBefore = readText(extras);
  ::chmod(extras.c_str(), 0444);
  doc.soundExtras(7).name = "Hand clap";
  doc.sound(7).settings[kPan] = 1234;
  if (::geteuid() != 0) {
    EXPECT_FALSE(doc.OnSaveDocument(set).ok());
    EXPECT_EQ(test::readBytes(set), setBefore);
    EXPECT_EQ(readText(extras), extrasBefore);
  }
  // A link in the extras file's place (a hostile kit may bring one) is replaced, never followed.
  ::chmod(extras.c_str(), 0644);
  TempDir outside;
  writeText(outside / "precious", "keep me");
  std::filesystem::remove(extras);
  std::filesystem::create_symlink(outside / "precious", extras);
  ASSERT_TRUE(doc.OnSaveDocument(set).ok());
  EXPECT_EQ(readText(outside / "precious"), "keep me");
  EXPECT_FALSE(std::filesystem::is_symlink(extras));
  EXPECT_NE(readText(extras).find("Hand clap"), std::string::npos);
  EXPECT_EQ(ExtrasPathFor("/a/b/Kit.DRUMS"), "/a/b/Kit.zumbel");
  EXPECT_EQ(ExtrasPathFor("/a/b.drums/Kit"), "/a/b.drums/Kit.zumbel");
}

TEST(ExtrasText, LevelsAndGainsAsPeopleWriteThem) {
  int32_t v = 0;
  EXPECT_TRUE(ParseLevelText("-6", v));
  EXPECT_EQ(v, -600);
  EXPECT_TRUE(ParseLevelText("+3.5 dB", v));
  EXPECT_EQ(v, 350);
  EXPECT_TRUE(ParseLevelText("off", v));
  EXPECT_EQ(v, kLevelOff);
  for (const char* bad : {"", "13", "-60.5", "nan", "inf", "6x", "1e9"}) EXPECT_FALSE(ParseLevelText(bad, v)) << bad;
  EXPECT_FALSE(ParseGainText("off", v));
  EXPECT_EQ(LevelText(-350), "-3.5 dB");
  EXPECT_EQ(LevelText(1200), "+12 dB");
  EXPECT_EQ(LevelText(kLevelOff), "off");
}

}  // namespace
}  // namespace zumbel
