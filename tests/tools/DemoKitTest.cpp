#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "DrumsFile.h"
#include "demo/DemoConfig.h"
#include "TestSupport.h"
#include "demo/DemoFiles.h"

namespace zumbel {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

const std::string kCommitted = std::string(ZUMBEL_SOURCE_DIR) + "/resources/demo/";

std::set<std::string> filesIn(const std::string& folder, const std::string& extension = "") {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (extension.empty() || entry.path().extension() == extension) {
      names.insert(entry.path().filename().string());
    }
  }
  return names;
}

uint32_t le16(const std::vector<uint8_t>& b, std::size_t at) { return b[at] | (b[at + 1] << 8U); }
uint32_t le32(const std::vector<uint8_t>& b, std::size_t at) {
  return static_cast<uint32_t>(test::i32At(b, at));
}
uint32_t be(const std::vector<uint8_t>& b, std::size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8U) | b[at + static_cast<std::size_t>(i)];
  return v;
}
bool tagAt(const std::vector<uint8_t>& b, std::size_t at, const char* tag) {
  return b.size() >= at + 4 && std::equal(tag, tag + 4, b.begin() + static_cast<std::ptrdiff_t>(at));
}

// The generator runs once for the whole suite; every sample test reads what it wrote.
class DemoOutput : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    ASSERT_EQ(demo::writeDemoFiles(dir_->path()), "");
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  // Samples as signed 16-bit values, by file name; only files that pass the format test count.
  static std::map<std::string, std::vector<int>> samples() {
    std::map<std::string, std::vector<int>> out;
    for (const std::string& name : filesIn(dir_->path(), ".wav")) {
      const std::vector<uint8_t> b = test::readBytes(*dir_ / name);
      std::vector<int>& s = out[name];
      for (std::size_t at = 44; at + 1 < b.size(); at += 2) s.push_back(static_cast<int16_t>(le16(b, at)));
    }
    return out;
  }

  static TempDir* dir_;
};

TempDir* DemoOutput::dir_ = nullptr;

TEST_F(DemoOutput, SecondRunWritesTheSameBytesAndTheCommittedFolderHasEveryFile) {
  TempDir again;
  ASSERT_EQ(demo::writeDemoFiles(again.path() + "/"), "");
  const std::set<std::string> names = filesIn(dir_->path());
  ASSERT_EQ(filesIn(again.path()), names);
  for (const std::string& name : names) {
    EXPECT_TRUE(test::readBytes(*dir_ / name) == test::readBytes(again / name)) << name;
    EXPECT_TRUE(fs::exists(kCommitted + name)) << name << " is not committed; run make_demo_kit";
  }
  // The set and the song involve no floating point, so what is committed must match exactly.
  for (const std::string name : {"Demo.drums", "Demo Song.mid"}) {
    EXPECT_TRUE(test::readBytes(kCommitted + name) == test::readBytes(*dir_ / name))
        << name << " is stale; run make_demo_kit";
  }
  EXPECT_TRUE(names.count("Demo.drums") && names.count("Demo Song.mid"));
  EXPECT_NE(demo::writeDemoFiles(again / "missing/folder"), "");
}

TEST_F(DemoOutput, SamplesAreConsistent44k16BitMonoWavesUnderThreeMegabytes) {
  std::size_t total = 0;
  for (const std::string& name : filesIn(dir_->path(), ".wav")) {
    const std::vector<uint8_t> b = test::readBytes(*dir_ / name);
    total += b.size();
    ASSERT_GE(b.size(), 46u) << name;
    EXPECT_TRUE(tagAt(b, 0, "RIFF") && tagAt(b, 8, "WAVE")) << name;
    EXPECT_TRUE(tagAt(b, 12, "fmt ") && tagAt(b, 36, "data")) << name;
    EXPECT_EQ(le32(b, 4), b.size() - 8) << name;
    EXPECT_EQ(le32(b, 16), 16u) << name;
    EXPECT_EQ(le16(b, 20), 1u) << name;          // PCM
    EXPECT_EQ(le16(b, 22), 1u) << name;          // mono
    EXPECT_EQ(le32(b, 24), 44100u) << name;
    EXPECT_EQ(le32(b, 28), 44100u * 2) << name;  // bytes per second
    EXPECT_EQ(le16(b, 32), 2u) << name;          // block align
    EXPECT_EQ(le16(b, 34), 16u) << name;
    EXPECT_EQ(le32(b, 40), b.size() - 44) << name;
    const double seconds = static_cast<double>(b.size() - 44) / 2 / 44100;
    const bool cymbal = name.starts_with("Crash") || name.starts_with("Ride");
    EXPECT_LE(seconds, cymbal ? 2.5 : 1.4) << name;
    EXPECT_GE(seconds, 0.1) << name;
  }
  EXPECT_LT(total, 3'000'000u);
}

std::string layerOf(const std::string& fileName) {
  const std::string stem = fileName.substr(0, fileName.size() - 4);
  return stem.substr(stem.rfind(' ') + 1);
}

std::string instrumentOf(const std::string& fileName) { return fileName.substr(0, fileName.rfind(' ')); }

const std::vector<std::string> kLayerNames{"Hard", "Medium", "Soft", "Ghost"};  // loudest first

std::size_t loudnessRank(const std::string& fileName) {
  const auto at = std::find(kLayerNames.begin(), kLayerNames.end(), layerOf(fileName));
  return static_cast<std::size_t>(at - kLayerNames.begin());
}

TEST_F(DemoOutput, LoudLayersPeakAtTheirLevelWithoutClippingDcOrAClickAtTheEnd) {
  for (const auto& [name, s] : samples()) {
    int peak = 0;
    double sum = 0;
    for (int v : s) {
      peak = std::max(peak, std::abs(v));
      sum += v;
    }
    const double peakDb = 20 * std::log10(peak / 32768.0);
    if (layerOf(name) == "Hard") {
      EXPECT_NEAR(peakDb, demo::kHardPeakDb, 0.3) << name;
    } else {
      EXPECT_LT(peakDb, demo::kHardPeakDb - 1.5) << name;
      EXPECT_GT(peakDb, demo::kGhostPeakDb - 2.0) << name;  // the engine's velocity scaling does the rest
    }
    EXPECT_LT(std::abs(sum / static_cast<double>(s.size())), 30.0) << name;
    EXPECT_EQ(s.back(), 0) << name;
    EXPECT_LT(std::abs(s[s.size() - 2]), 50) << name;
  }
}

// Energy of the first difference over the energy: the spectrum's mean of 4 sin²(πf/fs), so it
// rises with brightness and ignores the level.
double brightness(const std::vector<int>& s) {
  double energy = 0, diff = 0;
  for (std::size_t i = 1; i < s.size(); ++i) {
    energy += static_cast<double>(s[i]) * s[i];
    diff += static_cast<double>(s[i] - s[i - 1]) * (s[i] - s[i - 1]);
  }
  return diff / energy;
}

TEST_F(DemoOutput, HarderLayersAreBrighterAndRingLongerNotJustLouder) {
  std::map<std::string, std::vector<std::pair<std::size_t, const std::vector<int>*>>> byInstrument;
  const auto all = samples();
  for (const auto& [name, s] : all) {
    const std::size_t rank = loudnessRank(name);
    ASSERT_LT(rank, kLayerNames.size()) << name;
    byInstrument[instrumentOf(name)].emplace_back(rank, &s);
  }
  EXPECT_EQ(byInstrument.size(), 12u);
  for (auto& [instrument, layers] : byInstrument) {
    std::sort(layers.begin(), layers.end());
    ASSERT_GE(layers.size(), 2u) << instrument;
    EXPECT_EQ(layers.front().first, 0u) << instrument << " has no Hard layer";
    for (std::size_t k = 1; k < layers.size(); ++k) {
      EXPECT_GT(brightness(*layers[k - 1].second), brightness(*layers[k].second)) << instrument << " " << k;
      EXPECT_GE(layers[k - 1].second->size(), layers[k].second->size()) << instrument << " " << k;
    }
    EXPECT_GT(brightness(*layers.front().second), 1.4 * brightness(*layers.back().second)) << instrument;
  }
}

// ---- The committed drum set ----------------------------------------------------------------

class CommittedSet : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(doc.OnOpenDocument(kCommitted + "Demo.drums").ok()); }
  CKitbeatDoc doc;
};

TEST_F(CommittedSet, NamesOnlyFilesBesideIt) {
  std::set<std::string> pooled;
  for (int g = 0; g < doc.groupCount(); ++g) {
    for (int e = 0; e < doc.groupSize(g); ++e) {
      const std::string path(*doc.samplePath(SampleRef{g, e}));
      EXPECT_EQ(path.find_first_of("/\\"), std::string::npos) << path;
      EXPECT_TRUE(fs::is_regular_file(kCommitted + path)) << path;
      pooled.insert(path);
    }
  }
  EXPECT_EQ(pooled, filesIn(kCommitted, ".wav"));  // and no sample lies there unused

  std::set<std::string> played;
  for (int n = 0; n < kSoundCount; ++n) {
    for (int k = 0; k < kLayerCount; ++k) {
      const Sound& s = doc.sound(n);
      if (s.hasOwnSample(k)) played.insert(std::string(doc.samplePath(s.refs[k]).value_or("?")));
    }
  }
  EXPECT_EQ(played, pooled) << "every pool sample is some layer's own";
}

TEST_F(CommittedSet, PadsFollowTheGeneralMidiMapAndVelocityPicksTheMatchingLayer) {
  const std::map<int, std::string> gm{{36, "Kick"},          {37, "Side Stick"},   {38, "Snare"},
                                      {39, "Clap"},          {42, "Hi-Hat Closed"}, {44, "Hi-Hat Pedal"},
                                      {45, "Tom Low"},       {46, "Hi-Hat Open"},  {47, "Tom Mid"},
                                      {49, "Crash"},         {50, "Tom High"},     {51, "Ride"}};
  for (int n = 0; n < kSoundCount; ++n) {
    const Sound& s = doc.sound(n);
    const auto pad = gm.find(n + kFirstNote);
    ASSERT_EQ(s.isEmpty(), pad == gm.end()) << "note " << n + kFirstNote;
    if (pad == gm.end()) continue;
    EXPECT_EQ(s.noteOffEnabled, 0) << pad->second;
    const bool chokesOpenHat = pad->first == 42 || pad->first == 44;
    EXPECT_EQ(s.cutNote(), chokesOpenHat ? 46 - kFirstNote : kNone) << pad->second;

    // Walking up the velocities the layers only ever get louder, from the softest to Hard.
    std::size_t previous = kLayerNames.size();
    std::set<std::string> heard;
    for (int velocity = 1; velocity <= 127; ++velocity) {
      const int layer = s.sources[doc.velocityBand(s.velocityScheme(), velocity)];
      const std::string file(doc.samplePath(s.refs[layer]).value_or("?"));
      ASSERT_EQ(instrumentOf(file), pad->second) << velocity;
      const std::size_t rank = loudnessRank(file);
      EXPECT_LE(rank, previous) << file << " at " << velocity;
      previous = rank;
      heard.insert(file);
    }
    EXPECT_EQ(previous, 0u) << pad->second;
    std::size_t own = 0;
    for (int k = 0; k < kLayerCount; ++k) own += s.hasOwnSample(k);
    EXPECT_EQ(heard.size(), own) << pad->second << ": every layer sample is reachable";
  }
}

// ---- The demo song -------------------------------------------------------------------------

struct SongNote {
  uint32_t tick;
  int status;
  int note;
  int velocity;
};

struct Song {
  int tracks = 0;
  int division = 0;
  uint32_t endTick = 0;
  std::map<uint32_t, uint32_t> tempos;  // tick -> microseconds per quarter
  std::vector<SongNote> notes;          // note-on (velocity > 0) and note-off events, in order
};

uint32_t variableLength(const std::vector<uint8_t>& b, std::size_t& at, std::size_t end) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    if (at >= end) throw std::runtime_error("truncated number");
    const uint8_t c = b[at++];
    v = (v << 7U) | (c & 0x7FU);
    if (!(c & 0x80U)) return v;
  }
  throw std::runtime_error("number too long");
}

// Just enough of a Standard MIDI File reader to measure the song; independent of the engine's.
Song readSong(const std::vector<uint8_t>& b) {
  Song song;
  if (!tagAt(b, 0, "MThd") || be(b, 4, 4) != 6 || be(b, 8, 2) != 1) throw std::runtime_error("not format 1");
  song.tracks = static_cast<int>(be(b, 10, 2));
  song.division = static_cast<int>(be(b, 12, 2));
  std::size_t at = 14;
  for (int t = 0; t < song.tracks; ++t) {
    if (!tagAt(b, at, "MTrk")) throw std::runtime_error("missing track");
    const std::size_t end = at + 8 + be(b, at + 4, 4);
    if (end > b.size()) throw std::runtime_error("track past the end");
    at += 8;
    uint32_t tick = 0;
    int running = 0;
    bool ended = false;
    while (at < end && !ended) {
      tick += variableLength(b, at, end);
      if (at >= end) throw std::runtime_error("event past the track");
      const int status = b[at] & 0x80 ? b[at++] : running;
      if (status == 0xFF) {
        const uint8_t type = b.at(at++);
        const uint32_t length = variableLength(b, at, end);
        if (type == 0x51 && length == 3) song.tempos[tick] = be(b, at, 3);
        ended = type == 0x2F;
        at += length;
      } else if (status == 0xF0 || status == 0xF7) {
        at += variableLength(b, at, end);
      } else if (status >= 0x80) {
        running = status;
        const int data = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
        if (at + static_cast<std::size_t>(data) > end) throw std::runtime_error("truncated event");
        if ((status & 0xE0) == 0x80) song.notes.push_back({tick, status, b[at], b[at + 1]});
        at += static_cast<std::size_t>(data);
      } else {
        throw std::runtime_error("data byte without status");
      }
    }
    if (!ended || at != end) throw std::runtime_error("track does not end with its chunk");
    song.endTick = std::max(song.endTick, tick);
  }
  return song;
}

double secondsAt(const Song& song, uint32_t tick) {
  double seconds = 0;
  uint32_t from = 0;
  uint32_t tempo = 500'000;
  for (const auto& [at, micros] : song.tempos) {
    if (at >= tick) break;
    seconds += static_cast<double>(at - from) * tempo / 1e6 / song.division;
    from = at;
    tempo = micros;
  }
  return seconds + static_cast<double>(tick - from) * tempo / 1e6 / song.division;
}

TEST(DemoSong, IsATwoTrackFileOfAboutAMinuteWithTempoChanges) {
  const Song song = readSong(test::readBytes(kCommitted + "Demo Song.mid"));
  EXPECT_EQ(song.tracks, 2);
  EXPECT_GT(song.division, 0);
  EXPECT_LT(song.division, 0x8000);  // ticks per quarter, not SMPTE time
  const double length = secondsAt(song, song.endTick);
  EXPECT_GE(length, 50.0);
  EXPECT_LE(length, 75.0);
  std::set<uint32_t> tempos;
  for (const auto& [tick, micros] : song.tempos) tempos.insert(micros);
  EXPECT_GE(tempos.size(), 2u);
  EXPECT_LE(tempos.size(), 3u);
}

TEST(DemoSong, PlaysOnlyKitPadsOnChannelOneAcrossEveryVelocityBand) {
  const Song song = readSong(test::readBytes(kCommitted + "Demo Song.mid"));
  CKitbeatDoc doc;
  ASSERT_TRUE(doc.OnOpenDocument(kCommitted + "Demo.drums").ok());
  ASSERT_GT(song.notes.size(), 300u);

  std::map<int, std::set<int>> bands;  // note -> velocity bands it is struck in
  std::map<int, uint32_t> sounding;    // note -> tick of its unreleased note-on
  int chokes = 0;
  uint32_t lastOpenHat = 0;
  bool openHatRinging = false;
  for (const SongNote& e : song.notes) {
    EXPECT_EQ(e.status & 0x0F, 0) << "channel 1 only";
    const bool on = (e.status & 0xF0) == 0x90 && e.velocity > 0;
    if (!on) {
      ASSERT_TRUE(sounding.count(e.note)) << "note-off without note-on at " << e.tick;
      EXPECT_LE(e.tick - sounding[e.note], static_cast<uint32_t>(song.division / 2)) << "a short gate";
      sounding.erase(e.note);
      continue;
    }
    ASSERT_FALSE(sounding.count(e.note)) << "struck again before release at " << e.tick;
    sounding[e.note] = e.tick;
    const int n = e.note - kFirstNote;
    ASSERT_TRUE(n >= 0 && n < kSoundCount && !doc.sound(n).isEmpty()) << "note " << e.note << " has no pad";
    bands[e.note].insert(doc.velocityBand(doc.sound(n).velocityScheme(), e.velocity));
    if (e.note == 46) {
      openHatRinging = true;
      lastOpenHat = e.tick;
    } else if ((e.note == 42 || e.note == 44) && openHatRinging) {
      chokes += e.tick - lastOpenHat <= static_cast<uint32_t>(song.division) ? 1 : 0;
      openHatRinging = false;
    }
  }
  EXPECT_TRUE(sounding.empty());
  EXPECT_EQ(bands.size(), 12u) << "every pad plays";
  EXPECT_EQ(bands[38], (std::set<int>{0, 1, 2, 3, 4})) << "the snare reaches every layer, ghosts too";
  std::set<int> all;
  for (const auto& [note, b] : bands) all.insert(b.begin(), b.end());
  EXPECT_EQ(all.size(), 5u);
  EXPECT_GE(chokes, 3) << "open hats closed by the next closed or pedal hit";
}

}  // namespace
}  // namespace zumbel
