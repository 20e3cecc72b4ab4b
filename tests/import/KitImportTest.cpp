// The Hydrogen kit importer on hand-made kits: every kit format in the wild, the velocity fit, the
// sound settings carried over, and archives, refused or unpacked.

#include <filesystem>
#include <sstream>
#include <tuple>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "DrumsFile.h"
#include "EngineConfig.h"
#include "ExtrasFile.h"
#include "HydrogenKit.h"
#include "ImportLimits.h"
#include "KitArchive.h"
#include "KitImport.h"
#include "KitSupport.h"
#include "TestSupport.h"
#include "TextEncoding.h"
#include "cli/Commands.h"

namespace zumbel {
namespace {

namespace fs = std::filesystem;
using import::ArchiveLimits;

// The importer keeps its own copy of the rates a voice accepts, since it builds without the engine.
static_assert(import::kMinPlaybackRate == kMinFrequency && import::kMaxPlaybackRate == kMaxFrequency &&
              import::kNaturalRate == kOutputRate);
using test::ArchiveEntry;

constexpr const char* kClosed = "<instrument><id>0</id><name>Closed</name><muteGroup>1</muteGroup><pan_L>1</pan_L><pan_R>0.5</pan_R>"
                                "<layer><filename>closed.wav</filename><min>0</min><max>1</max></layer></instrument>\n";

class KitImportTest : public ::testing::Test {
 protected:
  // A kit folder `name` with its drumkit.xml and 44.1 kHz samples of the given names.
  std::string makeKit(const std::string& name, const std::string& xml, const std::vector<std::string>& samples = {}) {
    const std::string folder = dir / name;
    fs::create_directories(folder);
    std::ofstream(folder + "/drumkit.xml") << xml;
    for (const std::string& s : samples) test::writeSample(folder + "/" + s, 44100, 441);
    return folder;
  }

  import::ImportResult import(const std::string& folder, const import::ImportOptions& options = {}) {
    doc.OnNewDocument();
    return import::importHydrogenFolder(folder, doc, options);
  }

  // The note of the sound named `name`, or 0 when no sound has that name.
  int noteOf(const std::string& name) const {
    for (int n = 0; n < kSoundCount; ++n) {
      if (doc.soundExtras(n).name == name) return n + kFirstNote;
    }
    return 0;
  }


  std::string pathOf(int sound, int layer) const {
    const auto p = doc.samplePath(doc.sound(sound).refs[static_cast<std::size_t>(layer)]);
    return p ? std::string(*p) : std::string();
  }

  std::string reportText(const import::ImportResult& r) const {
    std::string all;
    for (const std::string& line : r.report) all += line + "\n";
    return all;
  }

  int cli(const std::vector<std::string>& args) {
    out.str("");
    err.str("");
    return runCommandLine(args, out, err);
  }

  // Files and folders directly in the test folder.
  std::vector<std::string> listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  test::TempDir dir;
  CKitbeatDoc doc;
  std::ostringstream out, err;
};

TEST_F(KitImportTest, OldSingleFileKitsFollowHydrogensOrderFromNote36) {
  // The oldest form: one <filename> per instrument, no layers, no notes; an instrument without a
  // file still takes its place in the order.
  const std::string kit = makeKit("Old", test::kitXml("Old Kit",
      "<instrument><id>0</id><name>Kick</name><filename>kick.wav</filename></instrument>\n"
      "<instrument><id>1</id><name>Empty</name></instrument>\n"
      "<instrument><id>2</id><name>Snare</name><filename>snare.wav</filename></instrument>\n", false),
      {"kick.wav", "snare.wav"});
  const import::ImportResult r = import(kit);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.kitName, "Old Kit");
  EXPECT_EQ(r.sounds, 2);
  EXPECT_EQ(pathOf(0, 0), kit + "/kick.wav");
  EXPECT_TRUE(doc.sound(1).isEmpty());
  EXPECT_EQ(pathOf(2, 0), kit + "/snare.wav");
  EXPECT_EQ(doc.sound(2).sources[4], 0);  // one sample plays every band
  EXPECT_EQ(doc.sound(2).playbackRate(), 0);  // 44.1 kHz plays at its pitch as it is
  // One group per sound, named after it.
  ASSERT_EQ(doc.groupCount(), 2);
  EXPECT_EQ(doc.groupName(0), "Kick");
  EXPECT_EQ(doc.groupName(1), "Snare");
}

TEST_F(KitImportTest, VelocityLayersGetTheSchemeWhoseBandsFitTheirRanges) {
  // Two layers split at 0.5: Hydrogen plays the soft one up to velocity 63. Scheme 2 (shown)
  // splits at 65, the nearest of the five schemes' thresholds, so only 64 and 65 differ.
  // Five layers on exactly scheme 1's bands (91-127, 51-90, 31-50, 11-30, 1-10) fit it exactly.
  auto layer = [](const std::string& file, double lo, double hi) {
    return "<layer><filename>" + file + "</filename><min>" + std::to_string(lo) + "</min><max>" + std::to_string(hi) +
           "</max><gain>1</gain><pitch>0</pitch></layer>";
  };
  const std::string five = layer("v1.wav", 0, 10.5 / 127) + layer("v5.wav", 90.5 / 127, 1) + layer("v2.wav", 10.5 / 127, 30.5 / 127) +
                           layer("v4.wav", 50.5 / 127, 90.5 / 127) + layer("v3.wav", 30.5 / 127, 50.5 / 127);
  const std::string kit = makeKit("Layers", test::kitXml("Layers",
      "<instrument><name>Two</name>" + layer("soft.wav", 0, 0.5) + layer("loud.wav", 0.5, 1) + "</instrument>\n"
      "<instrument><name>Five</name>" + five + "</instrument>\n"),
      {"soft.wav", "loud.wav", "v1.wav", "v2.wav", "v3.wav", "v4.wav", "v5.wav"});
  ASSERT_TRUE(import(kit).ok);

  const Sound& two = doc.sound(0);
  EXPECT_EQ(two.velocityScheme(), 1);
  EXPECT_EQ(two.sources, (std::array<RelaxedInt, 5>{0, 0, 2, 2, 2}));
  EXPECT_EQ(pathOf(0, 0), kit + "/loud.wav");
  EXPECT_EQ(pathOf(0, 2), kit + "/soft.wav");

  const Sound& fiveSound = doc.sound(1);
  EXPECT_EQ(fiveSound.velocityScheme(), 0);
  EXPECT_EQ(fiveSound.sources, (std::array<RelaxedInt, 5>{0, 1, 2, 3, 4}));
  for (int k = 0; k < 5; ++k) EXPECT_EQ(pathOf(1, k), kit + "/v" + std::to_string(5 - k) + ".wav");
}

TEST_F(KitImportTest, MoreThanFiveLayersKeepTheLoudestTheSoftestAndThreeBetween) {
  std::string layers;
  for (int i = 0; i < 8; ++i) {
    layers += "<layer><filename>l" + std::to_string(i) + ".wav</filename><min>" + std::to_string(i / 8.0) + "</min><max>" +
              std::to_string((i + 1) / 8.0) + "</max></layer>";
  }
  std::vector<std::string> files;
  for (int i = 0; i < 8; ++i) files.push_back("l" + std::to_string(i) + ".wav");
  const std::string kit = makeKit("Eight", test::kitXml("Eight", "<instrument><name>Snare</name>" + layers + "</instrument>"), files);
  const import::ImportResult r = import(kit);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(doc.sound(0).sources, (std::array<RelaxedInt, 5>{0, 1, 2, 3, 4}));
  EXPECT_EQ(pathOf(0, 0), kit + "/l7.wav");
  EXPECT_EQ(pathOf(0, 4), kit + "/l0.wav");
  // The three between are distinct and in order of loudness.
  for (int k = 1; k < 4; ++k) EXPECT_GT(pathOf(0, k), pathOf(0, k + 1));
  EXPECT_NE(reportText(r).find("8 layers in the kit"), std::string::npos) << reportText(r);
}

TEST_F(KitImportTest, RatePitchPanNoteOffAndMuteGroupsCarryOver) {
  const std::string kit = makeKit("Hats", test::kitXml("Hats",
      std::string(kClosed) +
      "<instrument><id>1</id><name>Open</name><muteGroup>1</muteGroup><isStopNote>true</isStopNote>"
      "<Release>4000</Release><randomPitchFactor>0.2</randomPitchFactor>"
      "<layer><filename>open.wav</filename><min>0</min><max>1</max><pitch>12</pitch></layer></instrument>\n"
      "<instrument><id>2</id><name>Right</name><pan>0.5</pan><layer><filename>closed.wav</filename></layer></instrument>\n"));
  test::writeSample(kit + "/closed.wav", 44100, 441);
  test::writeSample(kit + "/open.wav", 48000, 48000);  // a 48 kHz file rings a second
  const import::ImportResult r = import(kit);
  ASSERT_TRUE(r.ok);
  // A 48 kHz file an octave up plays at 96 kHz; the closed hat, on the far side lowered by
  // 6.02 dB, stays at its own rate.
  EXPECT_EQ(doc.sound(1).playbackRate(), 96000);
  EXPECT_EQ(doc.sound(0).playbackRate(), 0);
  EXPECT_EQ(doc.sound(0).pan(), -602);
  EXPECT_EQ(doc.sound(2).pan(), 602);  // the single pan of newer files: right, left lowered by half
  EXPECT_EQ(doc.sound(1).noteOffEnabled, 1);
  EXPECT_EQ(doc.sound(0).noteOffEnabled, 0);
  // Each hat silences the other; the two share the closed hat's file once in the pool.
  EXPECT_EQ(doc.sound(0).cutNote(), 1);
  EXPECT_EQ(doc.sound(1).cutNote(), 0);
  EXPECT_EQ(doc.sound(2).cutNote(), -1);
  EXPECT_EQ(r.samples, 2);
  const std::string text = reportText(r);
  EXPECT_NE(text.find("random pitch"), std::string::npos) << text;
  EXPECT_NE(text.find("envelope"), std::string::npos) << text;
}

TEST_F(KitImportTest, ComponentsKitNotesFromTheFileAiffAndFlac) {
  // The newer form: layers inside components, the kit's own notes. Two instruments on note 38
  // keep the first; one on note 35 takes note 36's sound, since nothing else is there.
  auto inst = [](const std::string& name, int note, const std::string& file, const std::string& extra = "") {
    return "<instrument><name>" + name + "</name><midiOutNote>" + std::to_string(note) +
           "</midiOutNote><instrumentComponent><component_id>0</component_id><layer><filename>" + file +
           "</filename><min>0</min><max>1</max></layer></instrumentComponent>" + extra + "</instrument>\n";
  };
  const std::string overhead =
      "<instrumentComponent><component_id>1</component_id><layer><filename>snare.aiff</filename></layer></instrumentComponent>";
  const std::string kit = makeKit("Components", test::kitXml("Components",
      inst("Kick", 35, "kick.flac") + inst("Snare", 38, "snare.aiff", overhead) + inst("Rim", 38, "kick.flac") +
      inst("Hat", 42, "kick.flac")));
  test::writeSample(kit + "/kick.flac", 48000, 480, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
  test::writeSample(kit + "/snare.aiff", 22050, 220, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
  const import::ImportResult r = import(kit);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.missingSamples, 0);
  EXPECT_EQ(pathOf(0, 0), kit + "/kick.flac");
  EXPECT_EQ(doc.sound(0).playbackRate(), 48000);
  EXPECT_EQ(pathOf(2, 0), kit + "/snare.aiff");
  EXPECT_EQ(doc.sound(2).playbackRate(), 22050);
  EXPECT_EQ(pathOf(6, 0), kit + "/kick.flac");
  const std::string text = reportText(r);
  EXPECT_NE(text.find("\"Rim\" on note 38: that note already plays \"Snare\""), std::string::npos) << text;
  EXPECT_NE(text.find("1 further component"), std::string::npos) << text;
}

TEST_F(KitImportTest, AllInstrumentsOnOneNoteFollowTheOrderInstead) {
  // Older Hydrogen wrote note 60 into every instrument.
  const std::string kit = makeKit("Sixty", test::kitXml("Sixty",
      "<instrument><name>A</name><midiOutNote>60</midiOutNote><layer><filename>a.wav</filename></layer></instrument>"
      "<instrument><name>B</name><midiOutNote>60</midiOutNote><layer><filename>a.wav</filename></layer></instrument>"),
      {"a.wav"});
  ASSERT_TRUE(import(kit).ok);
  EXPECT_FALSE(doc.sound(0).isEmpty());
  EXPECT_FALSE(doc.sound(1).isEmpty());
  EXPECT_TRUE(doc.sound(24).isEmpty());
}

TEST_F(KitImportTest, MissingSamplesAndPathsOutsideTheKitAreReportedAndTheSetIsStillWritten) {
  fs::create_directories(dir / "secret");
  test::writeSample(dir / "secret/outside.wav", 44100, 100);
  const std::string kit = makeKit("Gaps", test::kitXml("Gaps",
      "<instrument><name>Here</name><layer><filename>here.wav</filename></layer></instrument>"
      "<instrument><name>Gone</name><layer><filename>gone.wav</filename></layer></instrument>"
      "<instrument><name>Out</name><layer><filename>../secret/outside.wav</filename></layer></instrument>"),
      {"here.wav"});
  EXPECT_EQ(cli({"import-kit", kit, "-o", dir / "gaps.drums"}), kExitFinding) << err.str();
  EXPECT_NE(out.str().find("missing: " + kit + "/gone.wav"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("outside the kit's folder"), std::string::npos) << out.str();
  // The set holds the missing file, so check and relink can find it; nothing outside the kit.
  CKitbeatDoc saved;
  ASSERT_TRUE(saved.OnOpenDocument(dir / "gaps.drums").ok());
  EXPECT_TRUE(saved.sound(2).isEmpty());
  EXPECT_EQ(cli({"check", dir / "gaps.drums"}), kExitFinding);
  EXPECT_NE(out.str().find("gone.wav"), std::string::npos);
  EXPECT_EQ(out.str().find("here.wav"), std::string::npos);
}

TEST_F(KitImportTest, HostileKitFilesAreBoundedOrRefused) {
  // A declared entity is never expanded, however often it is used.
  const std::string laughs =
      "<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">]>"
      "<drumkit_info><name>&b;&b;</name><instrumentList/></drumkit_info>";
  import::HydrogenKit kit;
  std::string error;
  ASSERT_TRUE(import::parseHydrogenKit(laughs, kit, error)) << error;
  EXPECT_LT(kit.name.size(), 20u);
  // A kit with nothing to play is refused, not saved as an empty set.
  fs::create_directories(dir / "laughs");
  std::ofstream(dir / "laughs/drumkit.xml") << laughs;
  EXPECT_EQ(cli({"import-kit", dir / "laughs", "-o", dir / "laughs.drums"}), kExitError);
  EXPECT_NE(err.str().find("nothing to import"), std::string::npos) << err.str();
  EXPECT_FALSE(fs::exists(dir / "laughs.drums"));

  std::string many;
  for (std::size_t i = 0; i < import::kMaxKitInstruments + 5; ++i) many += "<instrument><name>i</name></instrument>";
  ASSERT_TRUE(import::parseHydrogenKit(test::kitXml("Many", many), kit, error));
  EXPECT_EQ(kit.instruments.size(), import::kMaxKitInstruments);
  EXPECT_EQ(kit.droppedInstruments, 5u);

  EXPECT_FALSE(import::parseHydrogenKit("<drumkit_info><name>", kit, error));
  EXPECT_FALSE(import::parseHydrogenKit("<song/>", kit, error));
  EXPECT_NE(error.find("not a Hydrogen kit"), std::string::npos);
  EXPECT_EQ(cli({"import-kit", dir / "nowhere", "-o", dir / "x.drums"}), kExitError);
  EXPECT_FALSE(fs::exists(dir / "x.drums"));
}

// Layers that share a velocity range are takes of one layer: the kit's round robin (an
// instrument's choice in older files, a component's in newer ones) plays them in turn, its random
// selection at random, and with more than five layers the ones sharing a range are kept rather
// than fitted to bands of their own.
TEST_F(KitImportTest, LayersSharingARangeBecomeAlternatesPickedAsTheKitPicksThem) {
  auto layer = [](const std::string& file, const std::string& lo, const std::string& hi) {
    return "<layer><filename>" + file + "</filename><min>" + lo + "</min><max>" + hi + "</max></layer>";
  };
  std::string seven;  // five ranges; the fourth and fifth layer repeat the first's and third's
  for (const auto& [file, lo, hi] : std::vector<std::tuple<std::string, std::string, std::string>>{
           {"v1.wav", "0.8", "1"}, {"v2.wav", "0.6", "0.8"}, {"v3.wav", "0.4", "0.6"}, {"v1b.wav", "0.80", "1.0"},
           {"v3b.wav", "0.4", "0.6"}, {"v4.wav", "0.2", "0.4"}, {"v5.wav", "0", "0.2"}}) {
    seven += layer(file, lo, hi);
  }
  const std::string kit = makeKit("Takes", test::kitXml("Takes",
      "<instrument><name>Turn</name><sampleSelectionAlgo>ROUND_ROBIN</sampleSelectionAlgo>" +
      layer("a1.wav", "0", "1") + layer("a2.wav", "0", "1") + layer("a3.wav", "0", "1") + "</instrument>\n"
      "<instrument><name>Dice</name><instrumentComponent><sampleSelectionAlgo>RANDOM</sampleSelectionAlgo>" +
      layer("l1.wav", "0.5", "1") + layer("s1.wav", "0", "0.5") + layer("l2.wav", "0.5", "1") + layer("s2.wav", "0", "0.5") +
      layer("l3.wav", "0.5", "1") + "</instrumentComponent></instrument>\n"
      "<instrument><name>Seven</name>" + seven + "</instrument>\n"),
      {"a1.wav", "a2.wav", "a3.wav", "l1.wav", "l2.wav", "l3.wav", "s1.wav", "s2.wav", "v1.wav", "v1b.wav", "v2.wav",
       "v3.wav", "v3b.wav", "v4.wav", "v5.wav"});
  const import::ImportResult r = import(kit);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.samples, 15);  // every take is in the pool, by the path its alternate names
  EXPECT_EQ(r.missingSamples, 0);

  // One layer for every band, its first take the layer's own sample, the others in turn.
  const SoundExtras& turn = doc.soundExtras(0);
  EXPECT_EQ(doc.sound(0).sources, (std::array<RelaxedInt, 5>{0, 0, 0, 0, 0}));
  EXPECT_EQ(pathOf(0, 0), kit + "/a1.wav");
  EXPECT_EQ(turn.alternates[0], (std::vector<std::string>{kit + "/a2.wav", kit + "/a3.wav"}));
  EXPECT_EQ(turn.roundRobin, kRoundRobinTurn);

  // Two ranges, each with its takes on the set's layer that plays it, picked at random.
  const SoundExtras& dice = doc.soundExtras(1);
  const Sound& diceSound = doc.sound(1);
  EXPECT_EQ(pathOf(1, 0), kit + "/l1.wav");
  const int soft = diceSound.sources[4];
  EXPECT_GT(soft, 0);
  EXPECT_EQ(pathOf(1, soft), kit + "/s1.wav");
  EXPECT_EQ(dice.alternates[0], (std::vector<std::string>{kit + "/l2.wav", kit + "/l3.wav"}));
  EXPECT_EQ(dice.alternates[static_cast<std::size_t>(soft)], std::vector<std::string>{kit + "/s2.wav"});
  EXPECT_EQ(dice.roundRobin, kRoundRobinRandom);

  // Seven layers in five ranges: five layers, no range left out, two alternates.
  const Sound& sevenSound = doc.sound(2);
  EXPECT_EQ(sevenSound.sources, (std::array<RelaxedInt, 5>{0, 1, 2, 3, 4}));
  for (int k = 0; k < 5; ++k) EXPECT_EQ(pathOf(2, k), kit + "/v" + std::to_string(k + 1) + ".wav");
  EXPECT_EQ(doc.soundExtras(2).alternates[0], std::vector<std::string>{kit + "/v1b.wav"});
  EXPECT_EQ(doc.soundExtras(2).alternates[2], std::vector<std::string>{kit + "/v3b.wav"});
  const std::string text = reportText(r);
  EXPECT_NE(text.find("3 layers share the range 0..1 (bands 1-5): the first plays with 2 alternates, in turn as the kit's round robin does."),
            std::string::npos) << text;
  EXPECT_NE(text.find("at random as the kit's random selection does"), std::string::npos) << text;
  EXPECT_NE(text.find("2 layers share the range 0.8..1 (band 1): the first plays with 1 alternate in turn (Hydrogen plays only the first)."),
            std::string::npos) << text;
  EXPECT_EQ(text.find("layers in the kit"), std::string::npos) << text;

  // Saved and opened again, the takes are still there.
  ASSERT_TRUE(doc.OnSaveDocument(dir / "takes.drums").ok());
  CKitbeatDoc opened;
  const FileOutcome read = opened.OnOpenDocument(dir / "takes.drums");
  ASSERT_TRUE(read.ok());
  EXPECT_TRUE(read.notices.empty()) << read.notices.front();
  for (int n = 0; n < 3; ++n) EXPECT_EQ(opened.soundExtras(n).alternates, doc.soundExtras(n).alternates);
  EXPECT_EQ(opened.soundExtras(1).roundRobin, kRoundRobinRandom);
}

// Names as kits write them put each instrument on its General MIDI note; a second of a kind takes
// the kind's next note, and what no name places keeps the kit's order on the next free note.
TEST_F(KitImportTest, GeneralMidiPlacesInstrumentsByTheirNames) {
  const std::vector<std::pair<std::string, int>> expected = {
      {"Weird Noise", 40},  // the kit's order puts it on 36, the kick's: the next free note
      {"BD", 36}, {"SD", 38}, {"HH closed", 42}, {"Hihat Pedal", 44}, {"Hat Open", 46}, {"Tom 1", 50}, {"Tom 2", 48},
      {"Tom 99999999999999999999", 43}, {"Tom 3", 45}, {"CRASH", 49}, {"Crash 2", 57}, {"Ride", 51}, {"Ride Bell", 53},
      {"Cowbell", 56}, {"Clap", 39}, {"Side stick", 37}, {"Kick 2", 54},  // no second kick note; 53 is the ride bell's
      {"China Crash", 52},
  };
  std::string instruments;
  for (const auto& [name, note] : expected) {
    instruments += "<instrument><name>" + name + "</name><layer><filename>s.wav</filename></layer></instrument>\n";
  }
  const std::string kit = makeKit("Named", test::kitXml("Named", instruments), {"s.wav"});
  const import::ImportResult r = import(kit, {import::NotePlacement::kGeneralMidi});
  ASSERT_TRUE(r.ok) << r.error;
  for (const auto& [name, note] : expected) EXPECT_EQ(noteOf(name), note) << name;
  const std::string text = reportText(r);
  EXPECT_NE(text.find("\"CRASH\" -> note 49 (crash cymbal 1)\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Weird Noise\" -> note 40 (kit order from note 36: no General MIDI drum by that name)\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("\"Kick 2\" -> note 54 (kit order from note 53: no General MIDI note left for another kick)\n"), std::string::npos) << text;

  // The command line takes gm (or kit, the default), and nothing else.
  EXPECT_EQ(cli({"import-kit", kit, "-o", dir / "gm.drums", "--notes", "gm"}), kExitOk) << err.str();
  CKitbeatDoc saved;
  ASSERT_TRUE(saved.OnOpenDocument(dir / "gm.drums").ok());
  EXPECT_EQ(saved.soundExtras(49 - kFirstNote).name, "CRASH");
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--notes", "GM"}, {"--notes"}}) {
    std::vector<std::string> args = {"import-kit", kit, "-o", dir / "bad.drums"};
    args.insert(args.end(), bad.begin(), bad.end());
    EXPECT_EQ(cli(args), kExitError);
    EXPECT_NE(err.str().find("--notes"), std::string::npos) << err.str();
    EXPECT_FALSE(fs::exists(dir / "bad.drums"));
  }
}

// Mute groups of any number, as many as a kit may hold, and a range shared by a thousand layers:
// the set gets what it can hold, and the report says what it could not.
TEST_F(KitImportTest, HostileMuteGroupsAndSharedRangesStayWithinTheSetsBounds) {
  auto inst = [](const std::string& name, const std::string& group) {
    return "<instrument><name>" + name + "</name><muteGroup>" + group + "</muteGroup><layer><filename>s.wav</filename></layer></instrument>\n";
  };
  std::string thousand;
  for (int i = 0; i < 1000; ++i) thousand += "<layer><filename>t" + std::to_string(i) + ".wav</filename><min>0</min><max>1</max></layer>";
  std::vector<std::string> files = {"s.wav"};
  for (int i = 0; i < 16; ++i) files.push_back("t" + std::to_string(i) + ".wav");
  const std::string odd = makeKit("Odd", test::kitXml("Odd",
      inst("Huge A", "9007199254740992") + inst("Huge B", "9007199254740992") + inst("Minus A", "-7") + inst("Minus B", "-7") +
      inst("Vast", "1e300") + inst("Word", "two") + "<instrument><name>Thousand</name>" + thousand + "</instrument>"), files);
  import::ImportResult r = import(odd);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(doc.soundExtras(0).chokeGroup, 1);
  EXPECT_EQ(doc.soundExtras(1).chokeGroup, 1);
  EXPECT_EQ(doc.extras().chokeMembers(1).count(), 2);
  for (int n = 2; n < 6; ++n) EXPECT_EQ(doc.soundExtras(n).chokeGroup, kNoChokeGroup) << n;
  EXPECT_EQ(doc.sound(2).cutNote(), -1);
  // 64 layers are read; the first and 15 alternates play, the other 48 are reported.
  EXPECT_EQ(pathOf(6, 0), odd + "/t0.wav");
  ASSERT_EQ(doc.soundExtras(6).alternates[0].size(), static_cast<std::size_t>(kMaxAlternates));
  EXPECT_EQ(doc.soundExtras(6).alternates[0].back(), odd + "/t15.wav");
  EXPECT_EQ(r.missingSamples, 0);
  std::string text = reportText(r);
  for (const char* said : {"mute group 9007199254740992 is choke group 1", "mute group -7 is no group (-1 is none); in none",
                           "mute group \"1e300\" is no whole number", "mute group \"two\" is no whole number",
                           "936 layers beyond the bound", "64 layers share the range 0..1",
                           "48 more than the 15 alternates a layer holds are left out"}) {
    EXPECT_NE(text.find(said), std::string::npos) << said << "\n" << text;
  }

  // 100 mute groups of two: the 92 instruments that get a note make 46 groups, the first 32 of
  // them choke groups 1..32 in the kit's order; the rest keep only their cut notes.
  std::string pairs;
  for (int i = 0; i < 200; ++i) pairs += inst("i" + std::to_string(i), std::to_string(1000 - i / 2));
  const std::string many = makeKit("Pairs", test::kitXml("Pairs", pairs), {"s.wav"});
  r = import(many);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.sounds, 92);
  for (int n = 0; n < 92; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(doc.soundExtras(n).chokeGroup, n < 64 ? n / 2 + 1 : kNoChokeGroup);
    EXPECT_EQ(doc.sound(n).cutNote(), n ^ 1);
  }
  for (int g = 1; g <= kMaxChokeGroups; ++g) EXPECT_EQ(doc.extras().chokeMembers(g).count(), 2);
  text = reportText(r);
  std::size_t unheld = 0;
  for (std::size_t at = 0; (at = text.find("a set has only 32 choke groups", at)) != std::string::npos; ++at) ++unheld;
  EXPECT_EQ(unheld, 14u);
  EXPECT_NE(text.find("mute group 1000 is choke group 1:"), std::string::npos);
  EXPECT_NE(text.find("mute group 969 is choke group 32:"), std::string::npos);

  // By name, none of them is a drum: 92 notes in the kit's order, the others have none left.
  r = import(many, {import::NotePlacement::kGeneralMidi});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.sounds, 92);
  EXPECT_EQ(doc.soundExtras(91).name, "i91");
  text = reportText(r);
  EXPECT_NE(text.find("\"i199\": every note is taken (no General MIDI drum by that name); left out."), std::string::npos) << text;
}

// Volumes and gains are linear factors in the kit and hundredths of a dB in the set; the values a
// hostile or damaged kit holds are each made something sensible, and the report says what.
TEST_F(KitImportTest, VolumesGainsAndNamesBecomeTheSetsExtrasWhateverTheKitHolds) {
  auto inst = [](const std::string& name, const std::string& values, const std::string& layers = "<layer><filename>s.wav</filename><gain>1</gain></layer>") {
    return "<instrument><name>" + name + "</name>" + values + layers + "</instrument>\n";
  };
  std::string five;
  const char* gains[] = {"2", "0", "inf", "-1", "1e6"};  // loudest layer first
  for (int i = 0; i < 5; ++i) {
    five += "<layer><filename>s.wav</filename><min>" + std::to_string((4 - i) / 5.0) + "</min><max>" +
            std::to_string((5 - i) / 5.0) + "</max><gain>" + gains[i] + "</gain></layer>";
  }
  // Control characters, a byte that is no UTF-8, and more than a name may hold, ending inside a
  // two-byte character.
  std::string longName = "K&#1;ick!\xff";
  for (int i = 0; i < 200; ++i) longName += "\xc3\xa9";
  const std::string kit = makeKit("Hostile", test::kitXml("Hostile",
      inst("NaN", "<volume>nan</volume><gain>0.5</gain>") + inst("Negative", "<volume>-2</volume>") +
      inst("Zero", "<volume>0</volume><gain>1</gain>") + inst("Huge", "<volume>1e300</volume><gain>1e300</gain>") +
      inst("Tiny", "<volume>1e-300</volume><gain>1</gain>") + inst("Comma", "<volume>0,5</volume><gain>1</gain>") +
      inst("Layers", "<volume>1</volume><gain>1</gain>", five) + inst(longName, "<volume>1</volume><gain>1</gain>")),
      {"s.wav"});
  ASSERT_EQ(cli({"import-kit", kit, "-o", dir / "hostile.drums"}), kExitOk) << err.str();
  const std::string text = out.str();
  CKitbeatDoc saved;
  const FileOutcome opened = saved.OnOpenDocument(dir / "hostile.drums");
  ASSERT_TRUE(opened.ok());
  EXPECT_TRUE(opened.notices.empty()) << opened.notices.front();  // the extras file reads back whole

  const std::array<int32_t, 7> levels = {-602, 0, kLevelOff, kMaxLevel, kMinLevel, 0, 0};
  for (int n = 0; n < 7; ++n) EXPECT_EQ(saved.soundExtras(n).level, levels[static_cast<std::size_t>(n)]) << n;
  EXPECT_EQ(saved.soundExtras(0).name, "NaN");
  ASSERT_EQ(saved.sound(6).sources, (std::array<RelaxedInt, 5>{0, 1, 2, 3, 4}));
  EXPECT_EQ(saved.soundExtras(6).layerGain, (std::array<RelaxedInt, 5>{602, kMinLayerGain, 0, 0, kMaxLayerGain}));
  for (const std::string said : {"volume \"nan\" is not a number; taken as x1.", "volume -2 is not a level; taken as x1.",
                           "level off (volume 0)", "level +12000.00 dB is beyond +12 dB; limited to it.",
                           "level -6000.00 dB (x1e-300) is beyond -60 dB; limited to it.", "volume \"0,5\" is not a number",
                           "gain 0 silences it in the kit; -60 dB", "gain \"inf\" is not a number", "gain -1 is not a level",
                           "gain +120.00 dB (x1e+06) is beyond +12 dB", "layer gains +6.02 / -60 / 0 / 0 / +12 dB",
                           "name cleaned", "name cut to 256 bytes", "the gain of 1 instrument.", "hostile.drums and "}) {
    EXPECT_NE(text.find(said), std::string::npos) << said << "\n" << text;
  }
  EXPECT_EQ(text.find("not held by a set"), std::string::npos) << text;

  // The name: spaces for control characters, the replacement character for the stray byte, cut
  // before the character the limit falls in.
  const std::string& name = saved.soundExtras(7).name;
  EXPECT_EQ(name.substr(0, 9), "K ick!\xef\xbf\xbd");
  EXPECT_EQ(name.size(), 255u);
  char32_t cp = 0;
  for (std::size_t pos = 0; pos < name.size();) ASSERT_TRUE(decodeUtf8(name, pos, cp)) << pos;
}

// Past sixteen sounds a group holds several, and is named after them: whole names while they fit,
// without their bracketed details when that shows more, else a cut first name; never one name
// twice.
TEST_F(KitImportTest, GroupsAreNamedAfterTheirInstruments) {
  const std::vector<std::string> names = {"Kick (Tama Superstar 22 inch)", "Snare (Pearl Free Floating Maple)",
                                          "Tom", "Tom", "Tom", "Tom",
                                          "A name far too long to be any group's name at all", "Ride"};
  std::string instruments;
  for (int i = 0; i < 17; ++i) {
    const std::string name = i < static_cast<int>(names.size()) ? names[static_cast<std::size_t>(i)] : "Extra " + std::to_string(i);
    instruments += "<instrument><name>" + name + "</name><layer><filename>s.wav</filename></layer></instrument>";
  }
  const std::string kit = makeKit("Many", test::kitXml("Many", instruments), {"s.wav"});
  ASSERT_TRUE(import(kit).ok);
  ASSERT_EQ(doc.groupCount(), 9);
  EXPECT_EQ(doc.groupName(0), "Kick, Snare");
  EXPECT_EQ(doc.groupName(1), "Tom, Tom");
  EXPECT_EQ(doc.groupName(2), "Tom, Tom (2)");
  EXPECT_EQ(doc.groupName(3), "A name far too long to be any\u2026 and 1 more");
  EXPECT_EQ(doc.groupName(8), "Extra 16");
  EXPECT_EQ(doc.soundExtras(0).name, names[0]);
  for (int g = 0; g < doc.groupCount(); ++g) EXPECT_LE(doc.groupName(g).size(), static_cast<std::size_t>(kMaxGroupNameLength));
}

// ---- Archives ---------------------------------------------------------------------------------

class KitArchiveTest : public KitImportTest {
 protected:
  std::vector<ArchiveEntry> goodKit() {
    const std::vector<uint8_t> bytes = test::readBytes(kitWav);
    const std::string wav(bytes.begin(), bytes.end());
    return {{"Packed/", "", ArchiveEntry::kDir},
            {"Packed/drumkit.xml", test::kitXml("Packed Kit", "<instrument><name>Kick</name><layer><filename>k/kick.wav</filename></layer></instrument>")},
            {"Packed/k/kick.wav", wav}};
  }
  void SetUp() override {
    fs::create_directories(dir / "src");
    test::writeSample(kitWav, 44100, 300);
  }
  std::string kitWav = dir / "src/kick.wav";
};

TEST_F(KitArchiveTest, ArchivesOfEveryCompressionUnpackBesideTheSetAndImport) {
  for (int filter : {ARCHIVE_FILTER_NONE, ARCHIVE_FILTER_GZIP, ARCHIVE_FILTER_BZIP2, ARCHIVE_FILTER_XZ}) {
    SCOPED_TRACE(filter);
    const std::string sets = dir / ("sets" + std::to_string(filter));
    fs::create_directories(sets);
    test::writeArchive(dir / "kit.h2drumkit", goodKit(), filter);
    ASSERT_EQ(cli({"import-kit", dir / "kit.h2drumkit", "-o", sets + "/Packed.drums"}), kExitOk) << err.str();
    // Unpacked into a folder named after the kit, the set's samples inside it.
    EXPECT_EQ(test::readBytes(sets + "/Packed Kit/k/kick.wav"), test::readBytes(kitWav));
    CKitbeatDoc saved;
    ASSERT_TRUE(saved.OnOpenDocument(sets + "/Packed.drums").ok());
    EXPECT_EQ(saved.samplePath(saved.sound(0).refs[0]), sets + "/Packed Kit/k/kick.wav");
    EXPECT_EQ(saved.soundExtras(0).name, "Kick");
    // No temporary folder is left (the set, its extras and the kit), and a second import does not
    // write into the first one's.
    EXPECT_EQ(std::distance(fs::directory_iterator(sets), fs::directory_iterator()), 3);
    EXPECT_EQ(cli({"import-kit", dir / "kit.h2drumkit", "-o", sets + "/Again.drums"}), kExitError);
    EXPECT_NE(err.str().find("already exists"), std::string::npos);
    EXPECT_FALSE(fs::exists(sets + "/Again.drums"));
  }
}

TEST_F(KitArchiveTest, HostileArchivesAreRefusedWithNothingWritten) {
  const ArchiveEntry kit = goodKit()[1];
  struct Case {
    const char* name;
    std::vector<ArchiveEntry> extra;
    ArchiveLimits limits;
    const char* says;
  };
  const ArchiveLimits tight{3, 400, 1000};
  std::string deep = "Packed/";
  for (std::size_t i = 0; i < import::kMaxArchivePathDepth; ++i) deep += "a/";
  const std::vector<Case> cases = {
      {"absolute path", {{"/tmp/evil.wav", "x"}}, {}, "absolute path"},
      {"dot-dot", {{"Packed/../../evil.wav", "x"}}, {}, "\"..\""},
      {"symlink outside", {{"Packed/link", "", ArchiveEntry::kSymlink, "../../etc"}}, {}, "outside the archive"},
      {"absolute symlink", {{"Packed/link", "", ArchiveEntry::kSymlink, "/etc/passwd"}}, {}, "outside the archive"},
      {"symlink out of the kit", {{"Packed/link", "", ArchiveEntry::kSymlink, "../beside.txt"}}, {}, "outside the kit's folder"},
      {"hardlink outside", {{"Packed/hard", "", ArchiveEntry::kHardlink, "../etc/passwd"}}, {}, "outside the archive"},
      {"device", {{"Packed/dev", "", ArchiveEntry::kDevice}}, {}, "device"},
      {"too deep", {{deep + "x.wav", "x"}}, {}, "overlong name"},
      {"oversize entry", {{"Packed/big.wav", std::string(401, 'x')}}, tight, "more than 400"},
      {"oversize in all", {{"Packed/a.wav", std::string(390, 'x')}, {"Packed/b.wav", std::string(390, 'x')}}, tight, "bytes in all"},
      {"too many entries", {{"a", "1"}, {"b", "2"}, {"c", "3"}}, tight, "entries"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<ArchiveEntry> entries{kit};
    entries.insert(entries.end(), c.extra.begin(), c.extra.end());
    const std::string archivePath = dir / "src/bad.h2drumkit";
    test::writeArchive(archivePath, entries);
    const std::vector<std::string> before = listing();
    const import::UnpackResult r = import::unpackKitArchive(archivePath, dir.path(), c.limits);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(c.says), std::string::npos) << r.error;
    EXPECT_NE(r.error.find("nothing was written"), std::string::npos) << r.error;
    EXPECT_EQ(listing(), before);
  }
  // Through the command: exit status 2, no set.
  test::writeArchive(dir / "src/bad.h2drumkit", {kit, {"/tmp/evil.wav", "x"}});
  EXPECT_EQ(cli({"import-kit", dir / "src/bad.h2drumkit", "-o", dir / "bad.drums"}), kExitError);
  EXPECT_NE(err.str().find("refused"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "bad.drums"));
  // Not an archive at all.
  test::writeBytes(dir / "src/noise.h2drumkit", std::vector<uint8_t>(300, 0x5A));
  EXPECT_EQ(cli({"import-kit", dir / "src/noise.h2drumkit", "-o", dir / "bad.drums"}), kExitError);
}

// No link is made on disk: one leading to a file inside the kit, however it gets there (through
// another link, a hard link, one given before its file), is unpacked as a copy of that file.
TEST_F(KitArchiveTest, ALinkInsideTheKitIsKeptAsACopy) {
  std::vector<ArchiveEntry> entries = goodKit();
  const std::string late = "late sample";
  entries.insert(entries.begin() + 1, {"Packed/early.wav", "", ArchiveEntry::kSymlink, "later/x.wav"});
  entries.push_back({"Packed/k/alias.wav", "", ArchiveEntry::kSymlink, "kick.wav"});
  entries.push_back({"Packed/k/sub/back.wav", "", ArchiveEntry::kSymlink, "../alias.wav"});
  entries.push_back({"Packed/hard.wav", "", ArchiveEntry::kHardlink, "Packed/k/kick.wav"});
  entries.push_back({"Packed/later/x.wav", late});
  test::writeArchive(dir / "src/ok.h2drumkit", entries);
  const import::UnpackResult r = import::unpackKitArchive(dir / "src/ok.h2drumkit", dir.path());
  ASSERT_TRUE(r.ok) << r.error;
  const std::vector<uint8_t> kick = test::readBytes(kitWav);
  for (const char* copy : {"/k/alias.wav", "/k/sub/back.wav", "/hard.wav"}) {
    SCOPED_TRACE(copy);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(r.folder + copy)));
    EXPECT_EQ(test::readBytes(r.folder + copy), kick);
  }
  EXPECT_EQ(test::readBytes(r.folder + "/early.wav"), std::vector<uint8_t>(late.begin(), late.end()));
  EXPECT_EQ(fs::hard_link_count(r.folder + "/k/kick.wav"), 1u);
  for (const auto& e : fs::recursive_directory_iterator(r.folder)) EXPECT_FALSE(e.is_symlink()) << e.path();
}

// A link is judged by where it leads on disk, followed through the archive's own entries, not by
// its text: each of these reads as harmless, and each would reach outside the kit, a folder, or
// nothing. Refused whole, with nothing written.
TEST_F(KitArchiveTest, LinksAreJudgedByWhereTheyLead) {
  const std::vector<ArchiveEntry> kit = goodKit();
  const ArchiveEntry topKit{"drumkit.xml", kit[1].content};
  std::vector<ArchiveEntry> chain{kit[1], kit[2]};
  for (int i = 0; i < 50; ++i) {
    chain.push_back({"Packed/c" + std::to_string(i), "", ArchiveEntry::kSymlink,
                     i == 49 ? "k/kick.wav" : "c" + std::to_string(i + 1)});
  }
  struct Case {
    const char* name;
    std::vector<ArchiveEntry> entries;
    const char* says;
  };
  const std::vector<Case> cases = {
      // Read as text, "p/p/p/../../.." is the kit's own folder; on disk it is three above it.
      {"through a link to its own folder",
       {topKit, {"p", "", ArchiveEntry::kSymlink, "."}, {"out", "", ArchiveEntry::kSymlink, "p/p/p/../../.."}},
       "a folder"},
      // A hard link to an allowed symbolic link is that link again, read from where the hard link lies.
      {"hard link to a link, at the top",
       {topKit, {"a/b/c/s", "", ArchiveEntry::kSymlink, "../../.."}, {"up", "", ArchiveEntry::kHardlink, "a/b/c/s"}},
       "folder"},
      {"hard link to a link to a file",
       {kit[1], kit[2], {"Packed/a/b/s", "", ArchiveEntry::kSymlink, "../../k/kick.wav"},
        {"Packed/up", "", ArchiveEntry::kHardlink, "Packed/a/b/s"}},
       "outside the archive"},
      {"to nothing", {kit[1], kit[2], {"Packed/gone.wav", "", ArchiveEntry::kSymlink, "k/none.wav"}}, "not in the archive"},
      {"a loop",
       {kit[1], {"Packed/a", "", ArchiveEntry::kSymlink, "b"}, {"Packed/b", "", ArchiveEntry::kSymlink, "./a"}},
       "loop"},
      {"fifty in a row", chain, "loop"},
      {"to a folder", {kit[1], kit[2], {"Packed/all", "", ArchiveEntry::kSymlink, "k"}}, "a folder"},
      {"hard link to a folder", {kit[1], kit[2], {"Packed/all", "", ArchiveEntry::kHardlink, "Packed/k"}}, "a folder"},
      {"a file inside a link",
       {kit[1], kit[2], {"Packed/l", "", ArchiveEntry::kSymlink, "k"}, {"Packed/l/x.wav", "x"}},
       "inside a file or a link"},
      {"a name twice", {kit[1], kit[2], {"Packed/k/kick.wav", "", ArchiveEntry::kSymlink, "../drumkit.xml"}}, "twice"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::writeArchive(dir / "src/bad.h2drumkit", c.entries);
    const std::vector<std::string> before = listing();
    const import::UnpackResult r = import::unpackKitArchive(dir / "src/bad.h2drumkit", dir.path());
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(c.says), std::string::npos) << r.error;
    EXPECT_NE(r.error.find("nothing was written"), std::string::npos) << r.error;
    EXPECT_EQ(listing(), before);
  }

  // A link's copy counts against the limits as its own file would: 3 copies of 300 bytes and the
  // file itself pass no limit of 1000 bytes in all.
  std::vector<ArchiveEntry> copies{kit[1], {"Packed/s.wav", std::string(300, 'x')}};
  for (int i = 0; i < 3; ++i) copies.push_back({"Packed/l" + std::to_string(i), "", ArchiveEntry::kSymlink, "s.wav"});
  test::writeArchive(dir / "src/many.h2drumkit", copies);
  const import::UnpackResult many = import::unpackKitArchive(dir / "src/many.h2drumkit", dir.path(), {100, 400, 1000});
  EXPECT_FALSE(many.ok);
  EXPECT_NE(many.error.find("bytes in all"), std::string::npos) << many.error;
}

// A kit at the archive's top is unpacked into a folder made as any other the import makes.
TEST_F(KitArchiveTest, TheKitsFolderGetsTheUsualMode) {
  test::writeArchive(dir / "src/top.h2drumkit", {{"drumkit.xml", goodKit()[1].content}, {"k/", "", ArchiveEntry::kDir},
                                                 {"k/kick.wav", "x"}});
  for (const mode_t mask : {mode_t{022}, mode_t{027}}) {
    SCOPED_TRACE(mask);
    const mode_t was = ::umask(mask);
    const import::UnpackResult r = import::unpackKitArchive(dir / "src/top.h2drumkit", dir.path());
    ::umask(was);
    ASSERT_TRUE(r.ok) << r.error;
    struct stat kitFolder {}, inner {};
    ASSERT_EQ(::stat(r.folder.c_str(), &kitFolder), 0);
    ASSERT_EQ(::stat((r.folder + "/k").c_str(), &inner), 0);
    EXPECT_EQ(kitFolder.st_mode & 07777, 0777 & ~mask);
    EXPECT_EQ(inner.st_mode & 07777, 0777 & ~mask);
    fs::remove_all(r.folder);
  }
}

// An import that fails once its archive is unpacked leaves no folder behind, so the same archive
// fails the same way again rather than on a name already taken.
TEST_F(KitArchiveTest, AFailedImportRemovesWhatItUnpacked) {
  test::writeArchive(dir / "src/empty.h2drumkit",
                     {{"Packed/", "", ArchiveEntry::kDir}, {"Packed/drumkit.xml", test::kitXml("Packed Kit", "")},
                      {"Packed/big.wav", std::string(1000, 'x')}});
  fs::create_directories(dir / "sets");
  for (int attempt = 0; attempt < 2; ++attempt) {
    SCOPED_TRACE(attempt);
    EXPECT_EQ(cli({"import-kit", dir / "src/empty.h2drumkit", "-o", dir / "sets/Empty.drums"}), kExitError);
    EXPECT_NE(err.str().find("nothing to import"), std::string::npos) << err.str();
    EXPECT_TRUE(fs::is_empty(dir / "sets"));
  }
}

// A kit whose sample sends libsndfile round for ever (a chunk claiming more than the file holds,
// found in the field) is reported unreadable, not waited on: the importer opens samples as the
// engine does. Run in a child process, so a hang fails the test instead of stopping the run.
TEST_F(KitImportTest, ASampleThatIsNotASoundIsReportedNotWaitedFor) {
  const std::string kit = makeKit("Field", test::kitXml("Field",
      "<instrument><name>Kick</name><layer><filename>kick.wav</filename></layer></instrument>"
      "<instrument><name>Snare</name><layer><filename>field.wav</filename></layer></instrument>"),
      {"kick.wav"});
  fs::copy_file(ZUMBEL_SOURCE_DIR "/tests/fuzz/seeds/fuzz_wave_reader/list-past-end.wav", kit + "/field.wav");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    CKitbeatDoc d;
    d.OnNewDocument();
    ::_exit(import::importHydrogenFolder(kit, d).ok ? 0 : 1);
  }
  int status = 0;
  for (int tenths = 0; tenths < 600 && ::waitpid(child, &status, WNOHANG) == 0; ++tenths) ::usleep(100000);
  if (::waitpid(child, &status, WNOHANG) == 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    FAIL() << "the import did not end within a minute";
  }
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const import::ImportResult r = import(kit);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.missingSamples, 1);
  EXPECT_NE(reportText(r).find("unreadable: " + kit + "/field.wav"), std::string::npos) << reportText(r);
}

}  // namespace
}  // namespace zumbel
