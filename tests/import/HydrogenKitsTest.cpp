// Every kit Debian's hydrogen-drumkits package ships, imported with one command, checked, and
// played: a General MIDI groove rendered through the set sounds the kick, snare and closed hi-hat
// at their times in the kits that have those instruments on notes 36, 38 and 42.

#include <cmath>
#include <filesystem>
#include <algorithm>
#include <sstream>

#include <set>

#include <gtest/gtest.h>

#include "KitImport.h"
#include "KitbeatDoc.h"
#include "Limits.h"
#include "TestSupport.h"
#include "WaveReader.h"
#include "cli/Commands.h"
#include "DrumsFile.h"

namespace zumbel {
namespace {

namespace fs = std::filesystem;

constexpr const char* kKits = "/usr/share/hydrogen/data/drumkits";
// 480 ticks per quarter at 120 BPM: a second is 960 ticks.
constexpr int kTicksPerSecond = 960;

// A format-0 Standard MIDI File of note-ons (velocity 100) and their note-offs on channel 1, one a
// second from second 1.
std::vector<uint8_t> groove(const std::vector<int>& notes) {
  std::vector<uint8_t> track;
  auto delta = [&](int ticks) {
    std::vector<uint8_t> v{static_cast<uint8_t>(ticks & 0x7F)};
    while ((ticks >>= 7) > 0) v.insert(v.begin(), static_cast<uint8_t>(0x80 | (ticks & 0x7F)));
    track.insert(track.end(), v.begin(), v.end());
  };
  for (std::size_t i = 0; i < notes.size(); ++i) {
    delta(i == 0 ? kTicksPerSecond : kTicksPerSecond - 10);
    track.insert(track.end(), {0x90, static_cast<uint8_t>(notes[i]), 100});
    delta(10);
    track.insert(track.end(), {0x80, static_cast<uint8_t>(notes[i]), 0});
  }
  track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
  std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, kTicksPerSecond / 2 >> 8, kTicksPerSecond / 2 & 0xFF,
                               'M', 'T', 'r', 'k'};
  for (int shift = 24; shift >= 0; shift -= 8) file.push_back(static_cast<uint8_t>(track.size() >> shift));
  file.insert(file.end(), track.begin(), track.end());
  return file;
}

double rms(std::span<const int16_t> frames, int from, int count) {
  double sum = 0;
  for (int i = from; i < from + count; ++i) {
    const double l = frames[static_cast<std::size_t>(2 * i)], r = frames[static_cast<std::size_t>(2 * i + 1)];
    sum += l * l + r * r;
  }
  return std::sqrt(sum / (2.0 * count));
}

// Whether the lower-cased `name` holds any of `words`.
bool names(std::string name, std::initializer_list<const char*> words) {
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return std::any_of(words.begin(), words.end(), [&](const char* w) { return name.find(w) != std::string::npos; });
}

struct Outcome {
  int status;
  std::string out, err;
};

Outcome zumbel(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = runCommandLine(args, out, err);
  return {status, out.str(), err.str()};
}

TEST(HydrogenKits, EveryShippedKitImportsChecksAndPlaysItsGrooveOnTime) {
  if (!fs::is_directory(kKits)) GTEST_SKIP() << kKits << " is missing; scripts/install-deps installs hydrogen-drumkits";
  test::TempDir dir;
  test::writeBytes(dir / "groove.mid", groove({36, 38, 42}));
  int kits = 0, grooves = 0;
  for (const auto& entry : fs::directory_iterator(kKits)) {
    if (!fs::exists(entry.path() / "drumkit.xml")) continue;
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    ++kits;
    const std::string set = dir / (name + ".drums");
    const Outcome imported = zumbel({"import-kit", entry.path().string(), "-o", set});
    ASSERT_TRUE(imported.status == kExitOk || imported.status == kExitFinding) << imported.err;

    // Check finds every sample the import found; what the import called missing is really not there.
    std::vector<std::string> missing;
    std::istringstream lines(imported.out);
    std::string note36, note38, note42;
    for (std::string line; std::getline(lines, line);) {
      if (line.starts_with("missing: ")) missing.push_back(line.substr(9));
      if (line.starts_with("note 36 ")) note36 = line;
      if (line.starts_with("note 38 ")) note38 = line;
      if (line.starts_with("note 42 ")) note42 = line;
    }
    for (const std::string& m : missing) EXPECT_FALSE(fs::exists(m)) << m;
    const Outcome checked = zumbel({"check", set});
    EXPECT_EQ(checked.status, missing.empty() ? kExitOk : kExitFinding) << checked.out;
    for (const std::string& m : missing) EXPECT_NE(checked.out.find(m), std::string::npos) << m;

    // Level and layer gains are carried, so no longer listed as lost; the set's groups are named
    // after its instruments, each name once, and its extras file reads back whole.
    EXPECT_EQ(imported.out.find("not held by a set: level"), std::string::npos) << imported.out;
    EXPECT_EQ(imported.out.find("layer gains."), std::string::npos) << imported.out;
    CKitbeatDoc saved;
    const FileOutcome opened = saved.OnOpenDocument(set);
    ASSERT_TRUE(opened.ok());
    EXPECT_TRUE(opened.notices.empty()) << opened.notices.front();
    std::set<std::string> groupNames;
    for (int g = 0; g < saved.groupCount(); ++g) {
      EXPECT_TRUE(groupNames.insert(saved.groupName(g)).second) << saved.groupName(g);
      EXPECT_LE(saved.groupName(g).size(), static_cast<std::size_t>(kMaxGroupNameLength));
      EXPECT_FALSE(saved.groupName(g).starts_with("Notes ")) << saved.groupName(g);
    }

    auto nameOf = [](const std::string& line) { return line.substr(0, line.find(':')); };
    if (!names(nameOf(note36), {"kick", "bass drum", "bassdrum"}) || !names(nameOf(note38), {"snare"}) ||
        !names(nameOf(note42), {"closed"}) || !names(nameOf(note42), {"hat", "hh"})) {
      continue;
    }
    ++grooves;
    const std::string wav = dir / (name + ".wav");
    const Outcome rendered = zumbel({"render", set, dir / "groove.mid", "-o", wav, "--tail", "0.5"});
    ASSERT_EQ(rendered.status, missing.empty() ? kExitOk : kExitFinding) << rendered.err << rendered.out;
    WaveReader reader;
    ASSERT_EQ(reader.ReadWave(wav), 0);
    const std::span<const int16_t> frames = reader.data();
    ASSERT_GE(frames.size(), 2u * 44100 * 3 + 4000);
    // Nothing before the first note; then each hit rises well above what rang just before it,
    // within its first 30 ms.
    EXPECT_EQ(rms(frames, 0, 44100), 0.0);
    for (int second = 1; second <= 3; ++second) {
      SCOPED_TRACE(second);
      const int onset = 44100 * second;
      const double before = rms(frames, onset - 1300, 1300), after = rms(frames, onset, 1300);
      EXPECT_GT(after, 4 * before + 50) << "before " << before << ", after " << after;
    }
  }
  EXPECT_EQ(kits, 14);
  // Kick, snare and closed hat on their General MIDI notes: Audiophob, ColomboAcousticDrumkit,
  // ForzeeStereo, Millo-Drums_v.1, Millo_MultiLayered2 and 3, The Black Pearl, rumpf_kit.
  EXPECT_EQ(grooves, 8);
}

// The Black Pearl's hats are quieter than its drums in Hydrogen, and so in the set: each sound's
// level is its instrument's volume (every gain there is 1, every pan has a side at 1).
TEST(HydrogenKits, TheBlackPearlKeepsItsNamesLevelsAndGroupsThroughASave) {
  const std::string kit = std::string(kKits) + "/The Black Pearl 1.0";
  if (!fs::is_directory(kit)) GTEST_SKIP() << kit << " is missing; scripts/install-deps installs hydrogen-drumkits";
  CKitbeatDoc doc;
  doc.OnNewDocument();
  const import::ImportResult r = import::importHydrogenFolder(kit, doc);
  ASSERT_TRUE(r.ok) << r.error;
  struct Expected {
    int sound;
    const char* name;
    int32_t level;  // 20·log10(volume), in hundredths of a dB
  };
  for (const Expected& e : {Expected{0, "Pearl Kick", 0}, {6, "Sabian Hat Closed", -328}, {8, "Sabian Hat Pedal", -328},
                            {10, "Sabian Hat Semi-Open", -322}, {11, "Sabian Hat Open", -312},
                            {12, "Sabian Hat Swish", -705}, {5, "Pearl Tom Floor", 40}}) {
    SCOPED_TRACE(e.name);
    EXPECT_EQ(doc.soundExtras(e.sound).name, e.name);
    EXPECT_EQ(doc.soundExtras(e.sound).level, e.level);
    EXPECT_EQ(doc.soundExtras(e.sound).layerGain, (std::array<RelaxedInt, kLayerCount>{}));
  }
  // 22 sounds in 16 groups at most: two to a group, named after both.
  ASSERT_EQ(doc.groupCount(), 11);
  EXPECT_EQ(doc.groupName(0), "Pearl Kick, Pearl Side Stick");
  EXPECT_EQ(doc.groupName(5), "Sabian Hat Semi-Open, Sabian Hat Open");
  const std::string report = [&] {
    std::string all;
    for (const std::string& line : r.report) all += line + "\n";
    return all;
  }();
  EXPECT_NE(report.find("note 42 \"Sabian Hat Closed\": 5 layers on bands 1 2 3 4 5, velocity scheme 2, 44100 Hz, pan left "
                        "6.4 dB, level -3.28 dB\n"), std::string::npos) << report;

  // Saved, the set's extras file holds all of it, and opening the set gives it back.
  test::TempDir dir;
  ASSERT_TRUE(doc.OnSaveDocument(dir / "Pearl.drums").ok());
  ASSERT_TRUE(fs::exists(dir / "Pearl.zumbel"));
  CKitbeatDoc opened;
  const FileOutcome read = opened.OnOpenDocument(dir / "Pearl.drums");
  ASSERT_TRUE(read.ok());
  EXPECT_TRUE(read.notices.empty());
  for (int n = 0; n < kSoundCount; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(opened.soundExtras(n).name, doc.soundExtras(n).name);
    EXPECT_EQ(opened.soundExtras(n).level, doc.soundExtras(n).level);
    EXPECT_EQ(opened.soundExtras(n).layerGain, doc.soundExtras(n).layerGain);
  }
  EXPECT_EQ(opened.content().groupNames, doc.content().groupNames);
}

// By name, the instruments of every shipped kit land on their General MIDI notes (a kit's
// bracketed details left out of the name here); every instrument with a sample still gets a note.
TEST(HydrogenKits, GeneralMidiPlacesEveryShippedKitsInstrumentsByTheirNames) {
  if (!fs::is_directory(kKits)) GTEST_SKIP() << kKits << " is missing; scripts/install-deps installs hydrogen-drumkits";
  using Placed = std::vector<std::pair<const char*, int>>;
  const std::vector<std::pair<const char*, Placed>> kits = {
      {"Audiophob", {{"Kick", 36}, {"Snare Jazz", 38}, {"Snare Rock", 40}, {"Pedal HH", 44}, {"Tom Hi", 50}, {"Tom Low", 43}}},
      {"BJA_Pacific", {{"BassDrum", 36}, {"Hi Hat Opened", 46}, {"Crash Right", 57}, {"Ride 2", 59}, {"Ride Bell", 53}}},
      {"ColomboAcousticDrumkit", {{"Snare1", 38}, {"Tom Low", 41}, {"crash16inch", 49}, {"ride-cup", 53}}},
      {"ElectricEmpireKit", {{"Kick Lite 1", 36}, {"Clap", 39}, {"Hat Closed Bs", 42}, {"Hat Op Dirty", 46}}},
      {"ForzeeStereo", {{"Kick", 36}, {"Rim Click", 37}, {"Snare", 38}, {"Hi-Hat Open", 46}, {"China", 52}, {"Agogo Low", 68}}},
      {"Gimme A Hand 1.0", {{"Maraca", 70}, {"Bongo Lo", 61}, {"Clave", 75}, {"Woodblock Hi", 76}}},
      {"HardElectro1", {{"Kick 1", 36}, {"Snare", 38}, {"Closed HH 1", 42}, {"Open HH", 46}}},
      {"Millo-Drums_v.1", {{"Crash", 49}, {"Crash Jazz", 57}, {"Ride Jazz", 51}, {"Ride Rock", 59}}},
      {"Millo_MultiLayered2", {{"Stick", 37}, {"Tom Mid", 47}, {"Cowbell", 56}}},
      {"Millo_MultiLayered3", {{"Snare Rock", 38}, {"Snare Roll", 40}, {"Open HH", 46}}},
      {"The Black Pearl 1.0", {{"Pearl Kick", 36}, {"Sabian Hat Open", 46}, {"Pearl Tom 1", 50}, {"Pearl Tom Floor", 43},
                               {"Sabian Crash", 49}, {"Sabian Crash Flink", 57}, {"Paiste Bell", 53}, {"Zildjian Splash", 55}}},
      {"VariBreaks", {{"VariBreaks Hat 1 Cl", 42}, {"VariBreaks Hat 1 Pd", 44}, {"VariBreaks Hat 1 Op", 46}}},
      // No drum General MIDI names: the kit's own order.
      {"circAfrique v4", {{"Djembe1 Slap", 36}, {"Kenkeni1 Bell Mute", 62}}},
      {"rumpf_kit_z01_h2", {{"c3 - bass drum 1", 36}, {"f#3 - hi-hat closed", 42}, {"d4 - high tom", 50}, {"f4 - ride bell", 53}}},
  };
  for (const auto& [name, placed] : kits) {
    SCOPED_TRACE(name);
    CKitbeatDoc doc;
    doc.OnNewDocument();
    const import::ImportResult r = import::importHydrogenFolder(std::string(kKits) + "/" + name, doc, {import::NotePlacement::kGeneralMidi});
    ASSERT_TRUE(r.ok) << r.error;
    const auto noteOf = [&](const std::string& instrument) {
      for (int n = 0; n < kSoundCount; ++n) {
        const std::string& s = doc.soundExtras(n).name;
        if (s == instrument || s.starts_with(instrument + " (")) return n + kFirstNote;
      }
      return 0;
    };
    for (const auto& [instrument, note] : placed) EXPECT_EQ(noteOf(instrument), note) << instrument;
    int lines = 0;
    for (const std::string& line : r.report) lines += line.find("\" -> note ") != std::string::npos ? 1 : 0;
    EXPECT_EQ(lines, r.sounds);
  }
}

// VariBreaks puts its closed, pedal and open hats in one mute group: one choke group of all
// three, and the cut notes the .drums file alone plays by.
TEST(HydrogenKits, VariBreaksHatsShareOneChokeGroup) {
  const std::string kit = std::string(kKits) + "/VariBreaks";
  if (!fs::is_directory(kit)) GTEST_SKIP() << kit << " is missing; scripts/install-deps installs hydrogen-drumkits";
  CKitbeatDoc doc;
  doc.OnNewDocument();
  const import::ImportResult r = import::importHydrogenFolder(kit, doc);
  ASSERT_TRUE(r.ok) << r.error;
  const int closed = 9, pedal = 10, open = 11;  // Hydrogen's order from note 36
  EXPECT_EQ(doc.soundExtras(closed).name, "VariBreaks Hat 1 Cl");
  EXPECT_EQ(doc.soundExtras(open).name, "VariBreaks Hat 1 Op");
  for (int n = 0; n < kSoundCount; ++n) {
    EXPECT_EQ(doc.soundExtras(n).chokeGroup, n == closed || n == pedal || n == open ? 1 : kNoChokeGroup) << n;
  }
  EXPECT_EQ(doc.extras().chokeMembers(1).count(), 3);
  EXPECT_EQ(doc.sound(closed).cutNote(), open);
  EXPECT_EQ(doc.sound(pedal).cutNote(), open);
  EXPECT_NE(std::find(r.report.begin(), r.report.end(),
                      "  mute group 0 is choke group 1: each of its 3 sounds silences all the others (the cut notes serve the .drums file alone)."),
            r.report.end());
}

}  // namespace
}  // namespace zumbel
