// Every kit Debian's hydrogen-drumkits package ships, imported with one command, checked, and
// played: a General MIDI groove rendered through the set sounds the kick, snare and closed hi-hat
// at their times in the kits that have those instruments on notes 36, 38 and 42.

#include <cmath>
#include <filesystem>
#include <algorithm>
#include <sstream>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "WaveReader.h"
#include "cli/Commands.h"

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

}  // namespace
}  // namespace zumbel
