// The comparison kit's two halves: the plan reader and ".drums" builder (bench/BenchKit.h) and
// the Hydrogen kit converter that writes the plan and the DrumGizmo kit
// (bench/convert-hydrogen-kit).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <sstream>
#include <string>

#include "BenchKit.h"
#include "DrumsFile.h"
#include "TestSupport.h"

namespace zumbel::bench {
namespace {

using test::TempDir;

BenchKitPlan parsed(const std::string& text) {
  const BenchKitPlanResult r = parseBenchKitPlan(text);
  EXPECT_EQ(r.error, "");
  return r.plan;
}

std::string errorOf(const std::string& text) { return parseBenchKitPlan(text).error; }

TEST(BenchKitPlan, ReadsKitThresholdsAndNotes) {
  const BenchKitPlan plan = parsed(
      "# made by hand\r\n"
      "kit\tMy Kit\r\n"
      "\r\n"
      "thresholds\t100\t70\t40\t10\n"
      "note\t36\tKick\t/k/hard.wav\t/k/soft.wav\n"
      "note\t38\tSnare\t/s/only one.wav");
  EXPECT_EQ(plan.name, "My Kit");
  ASSERT_TRUE(plan.thresholds.has_value());
  EXPECT_EQ(*plan.thresholds, (std::array<int, 4>{100, 70, 40, 10}));
  ASSERT_EQ(plan.notes.size(), 2u);
  EXPECT_EQ(plan.notes[0].note, 36);
  EXPECT_EQ(plan.notes[0].instrument, "Kick");
  EXPECT_EQ(plan.notes[0].files, (std::vector<std::string>{"/k/hard.wav", "/k/soft.wav"}));
  EXPECT_EQ(plan.notes[1].files, (std::vector<std::string>{"/s/only one.wav"}));
  EXPECT_FALSE(parsed("note\t36\tKick\ta.wav\n").thresholds.has_value());
}

TEST(BenchKitPlan, RefusesWhatCannotBePlayedAndSaysWhere) {
  EXPECT_EQ(errorOf(""), "the plan names no notes");
  EXPECT_EQ(errorOf("kit\tK\n"), "the plan names no notes");
  EXPECT_EQ(errorOf("kit\tK\nnote\t128\tX\ta.wav\n").rfind("line 2: ", 0), 0u);
  EXPECT_NE(errorOf("note\t-1\tX\ta.wav\n"), "");
  EXPECT_NE(errorOf("note\t36x\tX\ta.wav\n"), "");
  EXPECT_NE(errorOf("note\t36\tX\n"), "") << "a note without files";
  EXPECT_NE(errorOf("note\t36\tX\ta\tb\tc\td\te\tf\n"), "") << "six layers";
  EXPECT_NE(errorOf("note\t36\tX\ta\t\tc\n"), "") << "an empty file name";
  EXPECT_EQ(errorOf("note\t36\tX\ta\nnote\t36\tY\tb\n").rfind("line 2: note 36 appears twice", 0), 0u);
  EXPECT_NE(errorOf("thresholds\t100\t70\t70\t10\nnote\t36\tX\ta\n"), "") << "not strictly falling";
  EXPECT_NE(errorOf("thresholds\t128\t70\t40\t10\nnote\t36\tX\ta\n"), "");
  EXPECT_NE(errorOf("thresholds\t100\t70\t40\nnote\t36\tX\ta\n"), "") << "three thresholds";
  EXPECT_NE(errorOf("kit Spaces Instead Of Tabs\nnote\t36\tX\ta\n"), "");
}

TEST(BenchKit, LayersFollowTheFilesLoudestFirstAndShareThePool) {
  BenchKitPlan plan = parsed(
      "kit\tShared\n"
      "thresholds\t99\t75\t49\t25\n"
      "note\t35\tKick\tk1.wav\tk2.wav\tk3.wav\tk4.wav\tk5.wav\n"
      "note\t36\tKick\tk1.wav\tk2.wav\tk3.wav\tk4.wav\tk5.wav\n"
      "note\t39\tClap\tclap.wav\n"
      "note\t41\tFloor\tf1.wav\tf2.wav\n"
      "note\t43\tFloor\tf1.wav\tf2.wav\n");
  CKitbeatDoc doc;
  ASSERT_EQ(buildBenchKit(plan, doc), "");
  ASSERT_EQ(doc.groupCount(), 1);
  EXPECT_EQ(doc.groupName(0), "Shared");
  EXPECT_EQ(doc.groupSize(0), 8) << "each file once";

  const auto pathOf = [&](int sound, int layer) {
    const auto p = doc.samplePath(doc.sound(sound).refs[static_cast<std::size_t>(layer)]);
    return p ? std::string(*p) : std::string("(none)");
  };
  const Sound& kick = doc.sound(36 - kFirstNote);
  for (int j = 0; j < kLayerCount; ++j) {
    EXPECT_EQ(pathOf(0, j), "k" + std::to_string(j + 1) + ".wav");
    EXPECT_TRUE(kick.hasOwnSample(j));
  }
  // One file: every velocity plays it. Two: the three quieter bands borrow the softer.
  const Sound& clap = doc.sound(39 - kFirstNote);
  for (int j = 0; j < kLayerCount; ++j) EXPECT_EQ(clap.sources[static_cast<std::size_t>(j)], 0);
  const Sound& floor = doc.sound(41 - kFirstNote);
  EXPECT_EQ(pathOf(5, 0), "f1.wav");
  EXPECT_EQ(pathOf(5, 1), "f2.wav");
  EXPECT_EQ(floor.sources[4], 1);
  EXPECT_EQ(doc.sound(43 - kFirstNote).refs, floor.refs) << "two notes, one pool entry per file";
  EXPECT_TRUE(doc.sound(37 - kFirstNote).isEmpty());
  // The thresholds go to the scheme every sound uses; no note-offs cut the hits short.
  EXPECT_EQ(kick.velocityScheme(), kDefaultScheme);
  EXPECT_EQ(doc.velocityBand(kick.velocityScheme(), 127), 0);
  EXPECT_EQ(doc.velocityBand(kick.velocityScheme(), 100), 0);
  EXPECT_EQ(doc.velocityBand(kick.velocityScheme(), 99), 1);
  EXPECT_EQ(doc.velocityBand(kick.velocityScheme(), 50), 2);
  EXPECT_EQ(doc.velocityBand(kick.velocityScheme(), 26), 3);
  EXPECT_EQ(doc.velocityBand(kick.velocityScheme(), 25), 4);
  EXPECT_EQ(kick.noteOffEnabled, 0);
  EXPECT_EQ(kick.cutNote(), kNone);

  // What it saves opens again as the same set.
  TempDir dir;
  ASSERT_TRUE(doc.OnSaveDocument(dir / "kit.drums").ok());
  CKitbeatDoc reopened;
  ASSERT_TRUE(reopened.OnOpenDocument(dir / "kit.drums").ok());
  EXPECT_TRUE(reopened.content() == doc.content());
}

TEST(BenchKit, ANoteBelowTheFirstSoundMustMatchIt) {
  CKitbeatDoc doc;
  EXPECT_NE(buildBenchKit(parsed("note\t35\tKick\tother.wav\nnote\t36\tKick\tk.wav\n"), doc), "");
  EXPECT_NE(buildBenchKit(parsed("note\t35\tKick\tk.wav\n"), doc), "") << "no note 36 to match";
  EXPECT_EQ(buildBenchKit(parsed("note\t35\tKick\tk.wav\nnote\t36\tKick\tk.wav\n"), doc), "");
}

// --- the converter ---

void writeWav(const std::string& path, int channels, int rate) {
  std::vector<uint8_t> b;
  const auto put = [&](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  const uint32_t frames = 10, data = frames * 2 * static_cast<uint32_t>(channels);
  b.insert(b.end(), {'R', 'I', 'F', 'F'});
  put(36 + data, 4);
  b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put(16, 4);
  put(1, 2);
  put(static_cast<uint32_t>(channels), 2);
  put(static_cast<uint32_t>(rate), 4);
  put(static_cast<uint32_t>(rate * 2 * channels), 4);
  put(static_cast<uint32_t>(2 * channels), 2);
  put(16, 2);
  b.insert(b.end(), {'d', 'a', 't', 'a'});
  put(data, 4);
  b.resize(b.size() + data, 0);
  test::writeBytes(path, b);
}

struct Layer {
  const char* file;
  double min, max;
};

std::string instrument(const std::string& name, std::initializer_list<Layer> layers) {
  std::ostringstream x;
  x << "<instrument><id>0</id><name>" << name << "</name><muteGroup>-1</muteGroup>";
  for (const Layer& l : layers) {
    x << "<layer><filename>" << l.file << "</filename><min>" << l.min << "</min><max>" << l.max
      << "</max><gain>1</gain></layer>";
  }
  return x.str() + "</instrument>";
}

// A small Hydrogen kit: a kick whose layers are listed out of order, a five-layer snare and its
// rimshot, closed (stereo), open and semi-open hats, and two crashes.
std::string writeKit(const TempDir& dir, int rimshotRate = 44100) {
  const std::string kit = dir / "kit";
  std::filesystem::create_directory(kit);
  for (const char* f : {"k-hard.wav", "k-soft.wav", "k-med.wav", "s1.wav", "s2.wav", "s3.wav", "s4.wav", "s5.wav",
                        "hat-open.wav", "hat-semi.wav", "crash.wav", "crash-flink.wav"}) {
    writeWav(kit + "/" + f, 1, 44100);
  }
  writeWav(kit + "/hat-closed.wav", 2, 44100);
  writeWav(kit + "/rim.wav", 1, rimshotRate);
  std::ofstream(kit + "/drumkit.xml")
      << "<?xml version=\"1.0\"?><drumkit_info xmlns=\"http://www.hydrogen-music.org/drumkit\">"
      << "<name>Test Kit</name><instrumentList>"
      << instrument("Big Kick", {{"k-hard.wav", 0.6, 1}, {"k-soft.wav", 0, 0.3}, {"k-med.wav", 0.3, 0.6}})
      << instrument("Snare", {{"s1.wav", 0, 0.2}, {"s2.wav", 0.2, 0.4}, {"s3.wav", 0.4, 0.6},
                              {"s4.wav", 0.6, 0.8}, {"s5.wav", 0.8, 1}})
      << instrument("Snare Rimshot", {{"rim.wav", 0, 1}})
      << instrument("Hat Semi-Open", {{"hat-semi.wav", 0, 1}})
      << instrument("Hat Open", {{"hat-open.wav", 0, 1}})
      << instrument("Hat Closed", {{"hat-closed.wav", 0, 1}})
      << instrument("Crash Flink", {{"crash-flink.wav", 0, 1}})
      << instrument("Crash", {{"crash.wav", 0, 1}}) << "</instrumentList></drumkit_info>";
  return kit;
}

int convert(const std::string& kit, const std::string& out) {
  const std::string command = std::string("python3 '") + ZUMBEL_SOURCE_DIR + "/bench/convert-hydrogen-kit' '" + kit +
                              "' '" + out + "' >'" + out + ".log' 2>&1";
  return std::system(command.c_str());
}

std::string readText(const std::string& path) {
  const std::vector<uint8_t> b = test::readBytes(path);
  return {b.begin(), b.end()};
}

TEST(ConvertHydrogenKit, MapsNotesByNameWithLayersInOrder) {
  TempDir dir;
  const std::string kit = writeKit(dir);
  ASSERT_EQ(convert(kit, dir / "out"), 0) << readText(dir / "out.log");
  const BenchKitPlan plan = parsed(readText(dir / "out/zumbel-kit.txt"));
  EXPECT_EQ(plan.name, "Test Kit");
  std::map<int, BenchKitNote> byNote;
  for (const BenchKitNote& n : plan.notes) byNote[n.note] = n;
  const auto files = [&](int note) {
    std::string names;
    for (const std::string& f : byNote[note].files) names += std::filesystem::path(f).filename().string() + " ";
    return names;
  };
  EXPECT_EQ(files(36), "k-hard.wav k-med.wav k-soft.wav ");
  EXPECT_EQ(files(35), files(36));
  EXPECT_EQ(files(38), "s5.wav s4.wav s3.wav s2.wav s1.wav ");
  EXPECT_EQ(files(40), "rim.wav ");
  EXPECT_EQ(files(42), "hat-closed.wav ");
  EXPECT_EQ(files(46), "hat-open.wav ");
  EXPECT_EQ(files(49), "crash.wav ");
  EXPECT_EQ(files(57), "crash-flink.wav ");
  EXPECT_EQ(byNote.count(51), 0u) << "no ride in this kit";
  EXPECT_TRUE(std::filesystem::path(byNote[36].files[0]).is_absolute());
  // The snare is the only five-layer instrument: its edges, loudest first, in velocities.
  ASSERT_TRUE(plan.thresholds.has_value());
  EXPECT_EQ(*plan.thresholds, (std::array<int, 4>{102, 76, 51, 25}));

  // The DrumGizmo side: the same notes, powers rising with the layers, stereo files split.
  const std::string midimap = readText(dir / "out/drumgizmo/midimap.xml");
  EXPECT_NE(midimap.find("<map note=\"36\" instr=\"Big Kick\"/>"), std::string::npos) << midimap;
  EXPECT_NE(midimap.find("<map note=\"46\" instr=\"Hat Open\"/>"), std::string::npos);
  const std::string kick = readText(dir / "out/drumgizmo/instruments/Big_Kick.xml");
  const auto soft = kick.find("power=\"0.150000\""), med = kick.find("power=\"0.450000\""),
             hard = kick.find("power=\"0.800000\"");
  ASSERT_NE(soft, std::string::npos) << kick;
  EXPECT_LT(soft, kick.find("k-soft.wav"));
  EXPECT_LT(soft, med);
  EXPECT_LT(med, hard);
  EXPECT_NE(kick.find("file=\"samples/k-soft.wav\" filechannel=\"1\""), std::string::npos);
  const std::string hat = readText(dir / "out/drumgizmo/instruments/Hat_Closed.xml");
  EXPECT_NE(hat.find("channel=\"right\" file=\"samples/hat-closed.wav\" filechannel=\"2\""), std::string::npos) << hat;
  EXPECT_TRUE(std::filesystem::exists(dir / "out/drumgizmo/instruments/samples/k-soft.wav"));
  const std::string drumkit = readText(dir / "out/drumgizmo/drumkit.xml");
  EXPECT_NE(drumkit.find("file=\"instruments/Big_Kick.xml\""), std::string::npos) << drumkit;

  // And the plan builds.
  CKitbeatDoc doc;
  EXPECT_EQ(buildBenchKit(plan, doc), "");
}

TEST(ConvertHydrogenKit, RefusesFilesNeitherProgramWouldReadAlike) {
  TempDir dir;
  const std::string kit = writeKit(dir, 48000);
  EXPECT_NE(convert(kit, dir / "out"), 0);
  EXPECT_NE(readText(dir / "out.log").find("rim.wav"), std::string::npos) << readText(dir / "out.log");
}

}  // namespace
}  // namespace zumbel::bench
