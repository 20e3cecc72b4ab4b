#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <sstream>

#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "cli/LiveSetup.h"
#include "DrumsFile.h"
#include "SampleListFile.h"
#include "TestSupport.h"
#include "ZumbelVersion.h"

namespace zumbel {
namespace {

using test::TempDir;
using test::touch;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome run(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = runCommandLine(args, out, err);
  return {status, out.str(), err.str()};
}

std::size_t count(const std::string& haystack, const std::string& needle) {
  std::size_t n = 0;
  for (std::size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
  return n;
}

void saveSet(CKitbeatDoc& doc, const std::string& path) { ASSERT_TRUE(doc.OnSaveDocument(path).ok()); }

TEST(InfoCommand, JsonHasEveryStoredValueInTheAgreedShape) {
  TempDir dir;
  CKitbeatDoc doc;
  doc.OnNewDocument();
  doc.appendGroup("Kicks");
  doc.appendSample(0, "C:\\Drums\\Kick.wav");
  doc.AssignSample(1, 0, SampleRef{0, 0});
  doc.sound(1).settings[kPan] = -2500;
  doc.sound(1).settings[kVelocityScheme] = 9;  // kept as stored, however odd
  doc.sound(127).looping = 1;
  saveSet(doc, dir / "k.drums");

  const Outcome r = run({"info", dir / "k.drums", "--json"});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_TRUE(r.out.starts_with(
      R"({"header":1,"groups":[{"name":"Kicks","samples":["C:\\Drums\\Kick.wav"]}],)"
      R"("thresholds":[[90,50,30,10],[100,65,40,20],[110,80,50,25],[115,95,60,30],[120,105,75,40]],)"
      R"("sounds":[{"index":0,"cutNote":-1,"scheme":4,"compress":-4000,"pan":0,"formatMarker":1,"rate":0,)"
      R"("reserved":[4,-4000,0,1],"noteOff":0,"looping":0,"pitchBend":0,"layers":[{"group":-1,"entry":-1,"source":-1,"gainDb":0,"alternates":[]},)"))
      << r.out.substr(0, 400);
  EXPECT_NE(r.out.find(R"({"index":1,"cutNote":-1,"scheme":9,"compress":-4000,"pan":-2500,)"), std::string::npos);
  EXPECT_NE(r.out.find(R"("layers":[{"group":0,"entry":0,"source":0,"gainDb":0,"alternates":[]},{"group":-1,"entry":-1,"source":0,"gainDb":0,"alternates":[]},)"),
            std::string::npos);
  EXPECT_NE(r.out.find(R"({"index":127,"cutNote":-1,"scheme":4,"compress":-4000,"pan":0,"formatMarker":1,"rate":0,"reserved":[4,-4000,0,1],"noteOff":0,"looping":1,"pitchBend":0,)"),
            std::string::npos);
  EXPECT_EQ(count(r.out, "\"index\":"), 128u);
  EXPECT_EQ(count(r.out, "\"source\":"), 640u);
  EXPECT_TRUE(r.out.ends_with(R"("output":1,"chokeGroup":0,"roundRobin":"turn"}],"grabThreshold":127})" "\n"));
}

TEST(InfoCommand, JsonEscapesWhatJsonCannotCarryRaw) {
  TempDir dir;
  CKitbeatDoc doc;
  doc.OnNewDocument();
  doc.appendGroup("tab\there \"q\" \xE2\x82\xAC");
  doc.appendSample(0, std::string("/old/\xE9t\xE9\x01.wav"));
  saveSet(doc, dir / "odd.drums");
  const Outcome r = run({"info", "--json", dir / "odd.drums"});
  ASSERT_EQ(r.status, kExitOk);
  EXPECT_NE(r.out.find(R"("name":"tab\there \"q\" )" "\xE2\x82\xAC\""), std::string::npos);
  EXPECT_NE(r.out.find(R"("samples":["/old/\udce9t\udce9\u0001.wav"])"), std::string::npos);
}

TEST(InfoCommand, PlainSummaryAndSampleLists) {
  TempDir dir;
  CKitbeatDoc doc;
  doc.OnNewDocument();
  doc.appendGroup("Snares");
  doc.appendSample(0, "C:\\Drums\\Snare.wav");
  doc.appendSample(0, "/kit/Rim.wav");
  doc.AssignSample(2, 0, SampleRef{0, 0});
  doc.AssignSample(2, 3, SampleRef{0, 1});
  // Shown one-based, without overflowing at the top of the range a file may hold.
  doc.sound(2).settings[kVelocityScheme] = INT32_MAX;
  doc.sound(3).settings[kVelocityScheme] = 4;
  doc.sound(3).settings[kCutNote] = 10;
  doc.AssignSample(3, 0, SampleRef{0, 0});
  saveSet(doc, dir / "s.drums");
  Outcome r = run({"info", dir / "s.drums"});
  ASSERT_EQ(r.status, kExitOk);
  EXPECT_NE(r.out.find("0 \"Snares\": 2 samples"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Sounds in use: 2 of 128"), std::string::npos);
  // Each number says what it counts: schemes from 1, notes as MIDI notes, a cut as a sound.
  EXPECT_NE(r.out.find("Sound 2 (MIDI note 38): velocity scheme 2147483648 of 5,"), std::string::npos);
  EXPECT_NE(r.out.find(", cuts no sound,"), std::string::npos);
  EXPECT_NE(r.out.find("Sound 3 (MIDI note 39): velocity scheme 5 of 5,"), std::string::npos);
  EXPECT_NE(r.out.find(", cuts sound 10 (MIDI note 46),"), std::string::npos);
  EXPECT_NE(r.out.find("  scheme 5: 120 105 75 40\n"), std::string::npos);
  EXPECT_NE(r.out.find("layer 3: Rim.wav  (group 0, entry 1)\n"), std::string::npos);
  EXPECT_NE(r.out.find("layer 2: plays layer 0\n"), std::string::npos);

  ASSERT_TRUE(SaveSampleList(dir / "Toms.slist", {"C:\\T\\a.wav", "b\"c.wav"}).ok());
  r = run({"info", dir / "Toms.slist", "--json"});
  EXPECT_EQ(r.out, "{\"samples\":[\"C:\\\\T\\\\a.wav\",\"b\\\"c.wav\"]}\n");
  r = run({"info", dir / "Toms.slist"});
  EXPECT_NE(r.out.find("2 samples"), std::string::npos);
}

TEST(InfoCommand, ErrorsNameTheFileAndTheReasonAndExitWithTwo) {
  TempDir dir;
  Outcome r = run({"info", dir / "none.drums"});
  EXPECT_EQ(r.status, kExitError);
  EXPECT_EQ(r.err, "zumbel: info: " + dir / "none.drums" + ": No such file or directory\n");
  r = run({"info", dir.path()});
  EXPECT_EQ(r.status, kExitError);
  EXPECT_EQ(r.err, "zumbel: info: " + dir.path() + ": Is a directory\n");
  test::writeBytes(dir / "junk.drums", {1, 0, 0, 0, 0xFF, 0xFF});
  r = run({"info", dir / "junk.drums"});
  EXPECT_EQ(r.status, kExitError);
  EXPECT_EQ(r.err, "zumbel: info: " + dir / "junk.drums" + ": not a drum set (unexpected file format)\n");
  test::writeBytes(dir / "short.slist", {2, 0, 0, 0, 1, 'a'});
  r = run({"info", dir / "short.slist"});
  EXPECT_EQ(r.status, kExitError);
  EXPECT_TRUE(r.err.starts_with("zumbel: info: " + dir / "short.slist" + ": not a sample list (")) << r.err;
  EXPECT_NE(r.err.find("past its end"), std::string::npos);
  EXPECT_EQ(run({"info"}).status, kExitError);
  EXPECT_EQ(run({"frobnicate"}).status, kExitError);
  EXPECT_EQ(run({"info", "--help"}).status, kExitOk);
  EXPECT_EQ(run({}).status, kExitOk);
}

TEST(Version, BothSpellingsPrintTheBuildsVersionAndNothingElse) {
  for (const char* flag : {"--version", "-V"}) {
    const Outcome r = run({flag});
    EXPECT_EQ(r.status, kExitOk) << flag;
    EXPECT_EQ(r.out, std::string("zumbel ") + kVersion + "\n") << flag;
    EXPECT_EQ(r.err, "") << flag;
  }
  // Only as the whole command: after a command it is that command's argument.
  EXPECT_EQ(run({"info", "--version"}).status, kExitError);
  EXPECT_NE(run({"--help"}).out.find("zumbel --version"), std::string::npos);
}

// A set in dir/kit whose group holds: a file at its stored path, a Windows path whose file lies
// beside the set, and two files that are elsewhere.
class KitOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir / "kit");
    std::filesystem::create_directories(dir / "moved/deeper");
    touch(dir / "present.wav");
    touch(dir / "kit/Beside.wav");
    touch(dir / "moved/deeper/Gone.wav");
    doc.OnNewDocument();
    doc.appendGroup("Mixed");
    doc.appendSample(0, dir / "present.wav");
    doc.appendSample(0, "C:\\Drums\\Beside.wav");
    doc.appendSample(0, "C:\\Drums\\gone.WAV");
    doc.appendSample(0, "/nowhere/Lost.wav");
    doc.AssignSample(0, 0, SampleRef{0, 3});
    saveSet(doc, kit);
  }
  TempDir dir;
  const std::string kit = dir / "kit/Set.drums";
  CKitbeatDoc doc;
};

TEST_F(KitOnDisk, CheckListsOnlyWhatIsFoundNowhere) {
  Outcome r = run({"check", kit});
  EXPECT_EQ(r.status, kExitFinding);
  EXPECT_EQ(r.out,
            "missing: group 0 \"Mixed\", entry 2: C:\\Drums\\gone.WAV\n"
            "missing: group 0 \"Mixed\", entry 3: /nowhere/Lost.wav\n"
            "2 samples are missing.\n");
  // There, but not as a file that can be read: not called missing.
  std::filesystem::create_directory(dir / "kit/Lost.wav");
  r = run({"check", kit});
  EXPECT_EQ(r.status, kExitFinding);
  EXPECT_EQ(r.out,
            "missing: group 0 \"Mixed\", entry 2: C:\\Drums\\gone.WAV\n"
            "unreadable: group 0 \"Mixed\", entry 3: /nowhere/Lost.wav (" + dir / "kit/Lost.wav" + ": Is a directory)\n"
            "1 sample is missing.\n1 sample cannot be read.\n");
  touch(dir / "kit/gone.WAV");
  std::filesystem::remove(dir / "kit/Lost.wav");
  touch(dir / "kit/Lost.wav");
  r = run({"check", kit});
  EXPECT_EQ(r.status, kExitOk) << r.out;
}

TEST_F(KitOnDisk, RelinkStoresFoundPathsAndKeepsTheRest) {
  const Outcome r = run({"relink", kit, "--search", dir / "nothing-here", "--search", dir / "moved", "-o", dir / "out.drums"});
  EXPECT_EQ(r.status, kExitFinding) << r.out << r.err;
  EXPECT_NE(r.out.find("relinked: group 0 \"Mixed\", entry 2: C:\\Drums\\gone.WAV -> " + dir / "moved/deeper/Gone.wav"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("still missing: group 0 \"Mixed\", entry 3: /nowhere/Lost.wav"), std::string::npos);
  EXPECT_NE(r.out.find("full path: group 0 \"Mixed\", entry 1: C:\\Drums\\Beside.wav -> " + dir / "kit/Beside.wav"),
            std::string::npos)
      << r.out;

  CKitbeatDoc out;
  ASSERT_TRUE(out.OnOpenDocument(dir / "out.drums").ok());
  ASSERT_EQ(out.groupSize(0), 4);
  EXPECT_EQ(out.groupList(0)[0], dir / "present.wav");
  // Found beside the set, which out.drums is not: it must still find it from there.
  EXPECT_EQ(out.groupList(0)[1], dir / "kit/Beside.wav");
  EXPECT_EQ(out.groupList(0)[2], dir / "moved/deeper/Gone.wav");
  EXPECT_EQ(out.groupList(0)[3], "/nowhere/Lost.wav");
  EXPECT_EQ(out.sound(0).refs[0], (SampleRef{0, 3}));

  // In place, once everything can be found.
  touch(dir / "moved/Lost.wav");
  const std::vector<uint8_t> before = test::readBytes(kit);
  EXPECT_EQ(run({"relink", kit, "--search", dir / "moved"}).status, kExitOk);
  EXPECT_NE(test::readBytes(kit), before);
  EXPECT_EQ(run({"check", kit}).status, kExitOk);
}

TEST_F(KitOnDisk, RelinkRefusesAnOutputItCannotWriteBeforeSearching) {
  for (const std::string& output : {dir / "moved", dir / "nowhere/out.drums"}) {
    const Outcome r = run({"relink", kit, "--search", dir / "moved", "-o", output});
    EXPECT_EQ(r.status, kExitError);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.starts_with("zumbel: relink: " + output + ": ")) << r.err;
  }
}

TEST_F(KitOnDisk, RelinkWithNothingToChangeWritesTheSameBytes) {
  touch(dir / "kit/gone.WAV");
  touch(dir / "kit/Lost.wav");
  // Odd but stored values must come back unchanged too.
  doc.sound(5).settings[kVelocityScheme] = 42;
  doc.sound(6).sources[2] = 17;
  doc.sound(7).refs[4] = SampleRef{9, 1000};
  doc.sound(8).settings[kReserved0 + 2] = -123456;
  doc.appendGroup("\xC3\x9C" "ber \xE5\xA4\xAA\xE9\xBC\x93");
  saveSet(doc, kit);
  const std::vector<uint8_t> original = test::readBytes(kit);

  const Outcome r = run({"relink", kit, "-o", dir / "kit/same.drums"});
  EXPECT_EQ(r.status, kExitOk) << r.out;
  EXPECT_EQ(test::readBytes(dir / "kit/same.drums"), original);
  EXPECT_EQ(run({"relink", kit}).status, kExitOk);
  EXPECT_EQ(test::readBytes(kit), original);
}

TEST_F(KitOnDisk, ExtrasAreEditedShownCheckedAndTravelWithARelinkedSet) {
  const std::vector<uint8_t> original = test::readBytes(kit);
  EXPECT_EQ(run({"edit", kit, "--sound", "0", "--name", "Kick \"In\"", "--level", "-3.5", "--output", "4"}).status, kExitOk);
  Outcome r = run({"edit", kit, "--sound", "0", "--layer", "2", "--gain", "+1.25"});
  EXPECT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(test::readBytes(kit), original);
  for (const std::vector<std::string>& bad : {
           std::vector<std::string>{"edit", kit, "--level", "-6"},  // which sound?
           {"edit", kit, "--sound", "128", "--level", "-6"},
           {"edit", kit, "--sound", "0", "--output", "9"},
           {"edit", kit, "--sound", "0", "--gain", "3"},
           {"edit", kit, "--sound", "0", "--name", "a\nb"},
           {"edit", kit, "--sound", "0", "--name", "caf\xE9"},
           {"edit", kit, "--sound", "0"},
           {"edit", dir / "none.drums", "--sound", "0", "--level", "1"},
       }) {
    EXPECT_EQ(run(bad).status, kExitError) << bad.back();
  }

  r = run({"info", "--json", kit});
  EXPECT_NE(r.out.find(R"("gainDb":0,"alternates":[]}],"name":"Kick \"In\"","levelDb":-3.5,"output":4,"chokeGroup":0,)"
                       R"("roundRobin":"turn"},{"index":1,)"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(count(r.out, R"(,"gainDb":1.25,)"), 1u);
  EXPECT_NE(r.out.find(R"("name":"","levelDb":0,"output":1,"chokeGroup":0,"roundRobin":"turn"},{"index":2,)"), std::string::npos);
  r = run({"info", kit});
  EXPECT_NE(r.out.find("Sound 0 (MIDI note 36) \"Kick \"In\"\": level -3.5 dB, output 4, velocity"), std::string::npos) << r.out;

  // A relinked copy elsewhere takes its extras along, whether the set changed or not.
  run({"relink", kit, "--search", dir / "moved", "-o", dir / "copy.drums"});
  EXPECT_NE(run({"info", dir / "copy.drums"}).out.find("Kick"), std::string::npos);
  touch(dir / "kit/gone.WAV");
  touch(dir / "kit/Lost.wav");
  test::writeBytes(dir / "kit/same.zumbel", {'{', '}'});  // stale: replaced by the copy's own
  EXPECT_EQ(run({"relink", kit, "-o", dir / "kit/same.drums"}).status, kExitOk);
  EXPECT_EQ(test::readBytes(dir / "kit/same.zumbel"), test::readBytes(dir / "kit/Set.zumbel"));

  // A damaged extras file is a finding for check and a warning elsewhere; the set still opens.
  test::writeBytes(dir / "kit/Set.zumbel", {'{', '"', 's'});
  r = run({"check", kit});
  EXPECT_EQ(r.status, kExitFinding);
  EXPECT_EQ(r.out.rfind("extras: Set.zumbel: not an extras file (JSON object); ignored\n", 0), 0u) << r.out;
  r = run({"info", kit});
  EXPECT_EQ(r.status, kExitOk);
  EXPECT_NE(r.err.find("zumbel: info: warning: Set.zumbel: not an extras file"), std::string::npos) << r.err;
}

// Alternates are played, so only files the sample reader takes are kept, by their full path;
// choke groups, round robin and the grab threshold round-trip through the extras file alone.
TEST_F(KitOnDisk, AlternatesChokeGroupsAndGrabAreEditedShownAndChecked) {
  touch(dir / "kit/gone.WAV");
  touch(dir / "kit/Lost.wav");
  std::filesystem::create_directories(dir / "takes");
  const std::string quoted = dir / "takes/Say \"hi\" \\ \xC3\x9C.wav";  // JSON must escape it
  test::writeSparseWav(quoted, 16);
  for (int k = 1; k <= kMaxAlternates; ++k) test::writeSparseWav(dir / ("takes/t" + std::to_string(k) + ".wav"), 16);
  const std::vector<uint8_t> original = test::readBytes(kit);
  {
    test::WorkingFolder here(dir.path());  // a relative FILE is kept by its full path
    const Outcome r = run({"edit", kit, "--sound", "0", "--choke-group", "7", "--round-robin", "random", "--layer", "0",
                           "--add-alternate", "takes/t1.wav", "--add-alternate", quoted});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_NE(r.out.find("choke group 7, round robin random,"), std::string::npos) << r.out;
  }
  ASSERT_EQ(run({"edit", kit, "--grab-threshold", "off"}).status, kExitOk);
  ASSERT_EQ(run({"edit", kit, "--sound", "5", "--choke-group", "7"}).status, kExitOk);
  const std::vector<std::string> takes{dir / "takes/t1.wav", quoted};
  {
    CKitbeatDoc back;
    ASSERT_TRUE(back.OnOpenDocument(kit).ok());
    EXPECT_EQ(back.soundExtras(0).alternates[0], takes);
    EXPECT_EQ(back.soundExtras(0).roundRobin, kRoundRobinRandom);
    EXPECT_EQ(back.soundExtras(5).roundRobin, kRoundRobinTurn);
    EXPECT_TRUE(back.extras().chokeMembers(7).contains(0));
    EXPECT_TRUE(back.extras().chokeMembers(7).contains(5));
    EXPECT_EQ(back.extras().grabThreshold, kGrabOff);
  }

  Outcome r = run({"info", kit});
  EXPECT_NE(r.out.find("Grab threshold (polyphonic aftertouch): off\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Sound 0 (MIDI note 36): choke group 7, round robin at random, velocity"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("    layer 0: Lost.wav  (group 0, entry 3), 2 alternates\n"), std::string::npos) << r.out;
  r = run({"info", kit, "--json"});
  ASSERT_EQ(r.status, kExitOk);
  const nlohmann::json info = nlohmann::json::parse(r.out, nullptr, false);
  ASSERT_TRUE(info.is_object()) << r.out;
  EXPECT_EQ(info["grabThreshold"], "off");
  const nlohmann::json& kick = info["sounds"][0];
  EXPECT_EQ(kick["chokeGroup"], 7);
  EXPECT_EQ(kick["roundRobin"], "random");
  EXPECT_EQ(kick["layers"][0]["alternates"].get<std::vector<std::string>>(), takes);
  EXPECT_EQ(info["sounds"][5]["roundRobin"], "turn");
  EXPECT_EQ(info["sounds"][3]["chokeGroup"], 0);
  EXPECT_TRUE(info["sounds"][3]["layers"][1]["alternates"].empty());

  // Each refusal leaves the extras file as it was and says why.
  for (int k = 2; k <= kMaxAlternates - 1; ++k) {
    ASSERT_EQ(run({"edit", kit, "--sound", "0", "--layer", "0", "--add-alternate", dir / ("takes/t" + std::to_string(k) + ".wav")}).status,
              kExitOk);
  }
  const std::vector<uint8_t> extras = test::readBytes(dir / "kit/Set.zumbel");
  ASSERT_EQ(::mkfifo((dir / "takes/pipe.wav").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", dir / "takes/zero.wav");
  test::writeBytes(dir / "takes/notes.wav", {'n', 'o', 't', 'e', 's'});
  test::writeSparseWav(dir / "takes/new\nline.wav", 16);
  test::writeSparseWav(dir / "takes/caf\xE9.wav", 16);
  const std::vector<std::string> edit{"edit", kit, "--sound", "0", "--layer", "2"};
  for (const auto& [extra, reason] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"--layer", "0", "--add-alternate", dir / "takes/t15.wav"}, "layer 0 of sound 0 has 15 alternates; it takes at most 15"},
           {{"--add-alternate", dir / "takes/none.wav"}, "none.wav: No such file or directory"},
           {{"--add-alternate", dir / "takes/notes.wav"}, "notes.wav: not a WAV, AIFF or FLAC file"},
           {{"--add-alternate", dir / "takes/pipe.wav"}, "pipe.wav: not a regular file"},
           {{"--add-alternate", dir / "takes/zero.wav"}, "zero.wav: not a regular file"},
           {{"--add-alternate", "/dev/zero"}, "/dev/zero: not a regular file"},
           {{"--add-alternate", dir / "takes"}, "takes: Is a directory"},
           {{"--add-alternate", dir / "takes/new\nline.wav"}, "control characters"},
           {{"--add-alternate", dir / "takes/caf\xE9.wav"}, "not UTF-8 text"},
           {{"--choke-group", "33"}, "--choke-group takes 0..32"},
           {{"--round-robin", "shuffle"}, "--round-robin takes turn or random"},
           {{"--grab-threshold", "0"}, "--grab-threshold takes 1..127 or off"},
       }) {
    std::vector<std::string> args = edit;
    args.insert(args.end(), extra.begin(), extra.end());
    r = run(args);
    EXPECT_EQ(r.status, kExitError) << extra.back();
    EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
  }
  EXPECT_EQ(test::readBytes(dir / "kit/Set.zumbel"), extras);
  // Cleared first, then added: the list is replaced.
  ASSERT_EQ(run({"edit", kit, "--sound", "0", "--layer", "0", "--clear-alternates", "--add-alternate", dir / "takes/t15.wav"}).status,
            kExitOk);

  // check looks for alternates as for the layer's own sample, and names the sound and layer.
  r = run({"check", kit});
  EXPECT_EQ(r.status, kExitOk) << r.out;
  std::filesystem::remove(dir / "takes/t15.wav");
  r = run({"check", kit});
  EXPECT_EQ(r.status, kExitFinding);
  EXPECT_EQ(r.out, "missing: sound 0 (MIDI note 36), layer 0, alternate 1: " + dir / "takes/t15.wav" + "\n1 alternate is missing.\n");
  EXPECT_EQ(test::readBytes(kit), original);
}

// Whole sounds move and copy through the .drums file and the extras file together; onto a sound
// only when told to replace or swap it, and a refusal leaves both files as they were.
TEST_F(KitOnDisk, WholeSoundsMoveAndCopyThroughBothFiles) {
  doc.AssignSample(1, 0, SampleRef{0, 0});
  doc.soundExtras(1).name = "Snare";
  doc.soundExtras(0).name = "Kick";
  doc.extras().setChokeGroup(0, 3);
  saveSet(doc, kit);
  Outcome r = run({"edit", kit, "--move-sound", "0", "5"});
  EXPECT_EQ(r.out, "Moved sound 0 (MIDI note 36) to sound 5 (MIDI note 41).\n") << r.err;
  const auto files = [&] { return std::make_pair(test::readBytes(kit), test::readBytes(dir / "kit/Set.zumbel")); };
  const auto before = files();
  for (const auto& [extra, reason] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"--move-sound", "5", "1"}, "sound 1 (MIDI note 37) already has a sound; --replace puts sound 5 in its place, "
                                        "--swap exchanges the two"},
           {{"--copy-sound", "5", "1"}, "already has a sound; --replace puts the copy in its place"},
           {{"--copy-sound", "5", "1", "--swap"}, "--swap goes with --move-sound"},
       }) {
    std::vector<std::string> args{"edit", kit};
    args.insert(args.end(), extra.begin(), extra.end());
    r = run(args);
    EXPECT_EQ(r.status, kExitError) << extra.back();
    EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
  }
  EXPECT_EQ(files(), before);

  ASSERT_EQ(run({"edit", kit, "--copy-sound", "5", "9"}).status, kExitOk);
  ASSERT_EQ(run({"edit", kit, "--move-sound", "5", "1", "--swap"}).status, kExitOk);
  ASSERT_EQ(run({"edit", kit, "--copy-sound", "9", "5", "--replace"}).status, kExitOk);
  r = run({"info", kit, "--json"});
  const nlohmann::json info = nlohmann::json::parse(r.out, nullptr, false);
  ASSERT_TRUE(info.is_object()) << r.out;
  for (const int n : {1, 5, 9}) {
    EXPECT_EQ(info["sounds"][n]["name"], "Kick") << n;
    EXPECT_EQ(info["sounds"][n]["chokeGroup"], 3) << n;
    EXPECT_EQ(info["sounds"][n]["layers"][0]["entry"], 3) << n;
  }
  EXPECT_EQ(info["sounds"][0]["layers"][0]["source"], -1);
  EXPECT_EQ(r.out.find("Snare"), std::string::npos) << "replaced by the copy";
}

TEST(RelinkCommand, WithNothingToChangeCopiesFilesInAnyFormBytewise) {
  TempDir dir;
  CKitbeatDoc doc;
  doc.OnNewDocument();
  std::vector<uint8_t> legacy = serializeDrumSet(doc.content());
  test::putI32(legacy, 24 + 16 * 4 + 12, 0);  // sound 0's format marker: an older set
  legacy.resize(legacy.size() - kExtensionBlockBytes);
  // A group name in the 16-bit form, though Windows-1252 could hold it, and a count in 4 bytes.
  legacy.erase(legacy.begin() + 22, legacy.begin() + 24);
  legacy.insert(legacy.begin() + 22, {0xFF, 0xFF, 0x01, 0x00, 0x00, 0x00, 0xFF, 0xFE, 0xFF, 0x01, 'K', 0x00,
                                      0x01, 0x80, 0x00, 0x00});
  legacy.push_back(0xAB);  // trailing bytes
  test::writeBytes(dir / "odd.drums", legacy);
  const Outcome r = run({"relink", dir / "odd.drums", "-o", dir / "copy.drums"});
  EXPECT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(test::readBytes(dir / "copy.drums"), legacy);
}

TEST(InfoCommand, PlainOutputCannotDriveTheTerminal) {
  TempDir dir;
  CKitbeatDoc doc;
  doc.OnNewDocument();
  doc.appendGroup("a\x1B[2Jb\xC2\x9B" "31mc");
  doc.appendSample(0, std::string("/x/\x9B" "1m.wav"));
  saveSet(doc, dir / "t.drums");
  const Outcome r = run({"info", dir / "t.drums"});
  EXPECT_NE(r.out.find("\"a?[2Jb?31mc\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("?1m.wav"), std::string::npos);
  EXPECT_EQ(r.out.find('\x1B'), std::string::npos);
}

TEST(RelinkCommand, RefusesBadArgumentsAndReportsFailedSaves) {
  TempDir dir;
  EXPECT_EQ(run({"relink"}).status, kExitError);
  EXPECT_EQ(run({"relink", "x.drums", "--search"}).status, kExitError);
  CKitbeatDoc doc;
  doc.OnNewDocument();
  saveSet(doc, dir / "k.drums");
  const Outcome r = run({"relink", dir / "k.drums", "-o", dir / "no/such/dir/k.drums"});
  EXPECT_EQ(r.status, kExitError);
  EXPECT_EQ(r.err, "zumbel: relink: " + dir / "no/such/dir/k.drums" + ": folder " + dir / "no/such/dir/" +
                       ": No such file or directory\n");
}

TEST(PlayCommand, RefusesBadArgumentsBeforeOpeningAnything) {
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const Case cases[] = {
      {{"play"}, "no drum set given"},
      {{"play", "kit.drums", "--channel", "17"}, "--channel takes 1..16"},
      {{"play", "kit.drums", "--channel", "1x"}, "--channel takes 1..16"},
      {{"play", "kit.drums", "--period", "8"}, "--period takes 16..8192"},
      {{"play", "kit.drums", "--outputs", "0"}, "--outputs takes 1..8"},
      {{"play", "kit.drums", "--outputs", "9"}, "--outputs takes 1..8"},
      {{"play", "kit.drums", "--outputs", "2x"}, "--outputs takes 1..8"},
      {{"play", "kit.drums", "--outputs"}, "--outputs takes 1..8"},
      {{"play", "kit.drums", "--audio"}, "--audio needs a device number or name"},
      {{"play", "kit.drums", "--song"}, "--song needs a MIDI file"},
      {{"play", "kit.drums", "other.drums"}, "unexpected argument 'other.drums'"},
  };
  for (const Case& c : cases) {
    const Outcome o = run(c.args);
    EXPECT_EQ(o.status, kExitError) << c.says;
    EXPECT_NE(o.err.find("zumbel: play: " + c.says), std::string::npos) << o.err;
  }
  const Outcome help = run({"play", "--help"});
  EXPECT_EQ(help.status, kExitOk);
  EXPECT_NE(help.out.find("Usage: zumbel play KIT.drums"), std::string::npos);
  EXPECT_NE(help.out.find("  --outputs PAIRS  "), std::string::npos);
  // A set that cannot be read is reported as the program reports it, before any device opens.
  const Outcome missing = run({"play", "/nonexistent/kit.drums"});
  EXPECT_EQ(missing.status, kExitError);
  EXPECT_EQ(missing.err, "zumbel: play: /nonexistent/kit.drums: No such file or directory\n");
  // So is a song that cannot be read.
  TempDir dir;
  CKitbeatDoc doc;
  doc.OnNewDocument();
  saveSet(doc, dir / "k.drums");
  const Outcome noSong = run({"play", dir / "k.drums", "--song", dir / "none.mid"});
  EXPECT_EQ(noSong.status, kExitError);
  EXPECT_EQ(noSong.err, "zumbel: play: " + dir / "none.mid" + ": No such file or directory\n");
  EXPECT_EQ(noSong.out, "");
}

TEST(DeviceChoice, OnlyADeviceThatExistsIsChosen) {
  const std::vector<std::string> names{"System default", "JACK: system", "ALSA: USB Audio"};
  EXPECT_EQ(findDevice("2", names), 2);
  EXPECT_EQ(findDevice("3", names), std::nullopt);
  std::ostringstream err;
  EXPECT_EQ(chooseDevice("", names, "play", "MIDI input", err), 0);
  EXPECT_EQ(chooseDevice("7", names, "play", "MIDI input", err), std::nullopt);
  EXPECT_EQ(err.str(),
            "zumbel: play: '7' names no single MIDI input; there are:\n"
            "  0  System default\n  1  JACK: system\n  2  ALSA: USB Audio\n");
  err.str("");
  EXPECT_EQ(chooseDevice("0", {}, "play", "MIDI input", err), std::nullopt);
  EXPECT_EQ(err.str(), "zumbel: play: '0' names no single MIDI input; there are none\n");
}

// Whatever devices this machine has, none has such a number: an error before anything opens.
TEST(DeviceChoice, ADeviceThatDoesNotExistIsAnErrorForEveryCommand) {
  TempDir dir;
  CKitbeatDoc doc;
  doc.OnNewDocument();
  saveSet(doc, dir / "k.drums");
  for (const std::vector<std::string>& args : {std::vector<std::string>{"devices", "--audio", "99999"},
                                               std::vector<std::string>{"play", dir / "k.drums", "--audio", "99999"}}) {
    const Outcome r = run(args);
    EXPECT_EQ(r.status, kExitError) << args[0];
    EXPECT_TRUE(r.err.starts_with("zumbel: " + args[0] + ": '99999' names no single audio output; there are")) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

}  // namespace
}  // namespace zumbel
