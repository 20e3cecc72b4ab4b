// Golden renders: hand-made kits and songs rendered by `zumbel render`, checked sample by sample
// against what the engine's laws say each frame must hold.

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <sndfile.h>

#include "cli/Commands.h"
#include "engine/AllocationFailures.h"
#include "DrumsFile.h"
#include "EngineConfig.h"
#include "NoteTriggerEngine.h"
#include "OfflineRenderer.h"
#include "TestSupport.h"
#include "WavFileWriter.h"
#include "WaveReader.h"

namespace zumbel {
namespace {

// 441 ticks per quarter at 120 BPM: one tick is exactly 50 frames at 44.1 kHz.
constexpr int kTicksPerQuarter = 441;
constexpr int kFramesPerTick = 50;

struct Note {
  int tick, status, d1, d2;
};

std::vector<uint8_t> smf(const std::vector<Note>& notes) {
  std::vector<uint8_t> track;
  int now = 0;
  for (const Note& n : notes) {
    int delta = n.tick - now;
    now = n.tick;
    uint8_t vlq[4];
    int len = 0;
    vlq[len++] = static_cast<uint8_t>(delta & 0x7F);
    while ((delta >>= 7) > 0) vlq[len++] = static_cast<uint8_t>(0x80 | (delta & 0x7F));
    while (len > 0) track.push_back(vlq[--len]);
    track.insert(track.end(), {static_cast<uint8_t>(n.status), static_cast<uint8_t>(n.d1), static_cast<uint8_t>(n.d2)});
  }
  track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
  std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, kTicksPerQuarter & 0xFF};
  file[12] = static_cast<uint8_t>(kTicksPerQuarter >> 8);
  file.insert(file.end(), {'M', 'T', 'r', 'k'});
  for (int shift = 24; shift >= 0; shift -= 8) file.push_back(static_cast<uint8_t>(track.size() >> shift));
  file.insert(file.end(), track.begin(), track.end());
  return file;
}

void writeWav(const std::string& path, const std::vector<float>& left, const std::vector<float>& right) {
  WavFileWriter w;
  ASSERT_TRUE(w.open(path, 44100, SampleFormat::kS16));
  w.write(left.data(), right.data(), static_cast<int>(left.size()));
  ASSERT_TRUE(w.close());
}

void writeDc(const std::string& path, int frames, int value) {
  writeWav(path, std::vector<float>(static_cast<std::size_t>(frames), value / 32768.0f),
           std::vector<float>(static_cast<std::size_t>(frames), value / 32768.0f));
}

double gain(int32_t volume) { return std::pow(10.0, volume / 2000.0); }
int32_t law(int velocity) { return NoteTriggerEngine::hitVolume(kDefaultCompress, 127, velocity); }
int frameOf(int tick) { return tick * kFramesPerTick; }

class GoldenRender : public ::testing::Test {
 protected:
  void SetUp() override {
    writeDc(dir / "kick.wav", 2000, 8000);
    writeDc(dir / "soft.wav", 2000, 3000);
    writeDc(dir / "open.wav", 44100, 5000);
    writeDc(dir / "closed.wav", 500, 1000);
    writeDc(dir / "long.wav", 44100, 4000);
    std::vector<float> ramp;
    for (int k = 0; k < 2000; ++k) ramp.push_back(10.0f * static_cast<float>(k) / 32768.0f);
    writeWav(dir / "ramp.wav", ramp, ramp);

    CKitbeatDoc doc;
    doc.OnNewDocument();
    const int g = doc.appendGroup("Test");
    for (const char* f : {"kick.wav", "soft.wav", "open.wav", "closed.wav", "long.wav", "ramp.wav"}) doc.appendSample(g, f);
    doc.AssignSample(0, 0, {g, 0});  // note 36: kick for the loud bands
    doc.AssignSample(0, 3, {g, 1});  // and the soft sample for the two quietest
    doc.AssignSample(10, 0, {g, 2});  // note 46: open hat
    doc.AssignSample(6, 0, {g, 3});   // note 42: closed hat, which chokes the open one
    doc.sound(6).settings[kCutNote] = 10;
    doc.AssignSample(2, 0, {g, 4});  // note 38: panned right, stopped by its note-off
    doc.sound(2).settings[kPan] = 1000;
    doc.sound(2).noteOffEnabled = 1;
    doc.AssignSample(4, 0, {g, 5});  // note 40: played at half speed
    doc.sound(4).settings[kPlaybackRate] = 22050;
    ASSERT_TRUE(doc.OnSaveDocument(dir / "kit.drums").ok());

    test::writeBytes(dir / "song.mid", smf({
                                           {10, 0x90, 36, 127},
                                           {100, 0x90, 36, 30},
                                           {200, 0x90, 46, 127},
                                           {300, 0x90, 42, 127},
                                           {400, 0x90, 38, 100},
                                           {500, 0x80, 38, 0},
                                           {600, 0x90, 40, 127},
                                       }));
  }

  int render(std::vector<std::string> extra = {}, const std::string& out = "out.wav") {
    std::vector<std::string> args = {"render", dir / "kit.drums", dir / "song.mid", "-o", dir / out};
    args.insert(args.end(), extra.begin(), extra.end());
    stdout_.str("");
    stderr_.str("");
    return runCommandLine(args, stdout_, stderr_);
  }

  // The rendered file as 16-bit stereo frames.
  std::vector<int16_t> frames(const std::string& out = "out.wav") {
    WaveReader reader;
    EXPECT_EQ(reader.ReadWave(dir / out), 0);
    return {reader.data().begin(), reader.data().end()};
  }
  static int left(std::span<const int16_t> f, int frame) { return f[static_cast<std::size_t>(2 * frame)]; }
  static int right(std::span<const int16_t> f, int frame) { return f[static_cast<std::size_t>(2 * frame + 1)]; }

  test::TempDir dir;
  std::ostringstream stdout_, stderr_;
};

TEST_F(GoldenRender, OnsetsVolumesLayersCutNoteOffPitchAndPan) {
  ASSERT_EQ(render({"--tail", "0.5"}), kExitOk) << stderr_.str();
  const auto f = frames();

  // Onsets at their exact frame, at the volume law's level, from the band's layer.
  EXPECT_EQ(left(f, frameOf(10) - 1), 0);
  EXPECT_NEAR(left(f, frameOf(10)), 8000 * gain(law(127)), 1.0);
  EXPECT_NEAR(right(f, frameOf(10) + 1999), 8000 * gain(-220), 1.0);
  EXPECT_EQ(left(f, frameOf(10) + 2000), 0);
  EXPECT_EQ(left(f, frameOf(100) - 1), 0);
  EXPECT_NEAR(left(f, frameOf(100)), 3000 * gain(law(30)), 1.0);  // band 4: the soft layer

  // The closed hat chokes the open one: a fade of a few milliseconds, then only the closed hat.
  EXPECT_NEAR(left(f, frameOf(300) - 1), 5000 * gain(-220), 1.0);
  const int fade = static_cast<int>(std::lround(kStopRampSeconds * 44100));
  EXPECT_LT(left(f, frameOf(300) + fade / 2), left(f, frameOf(300)));
  EXPECT_NEAR(left(f, frameOf(300) + fade + 1), 1000 * gain(-220), 1.0);

  // Pan 1000 attenuates the left side by 10 dB; the note-off ends the sound with a fade.
  const double panned = 4000 * gain(law(100));
  EXPECT_NEAR(right(f, frameOf(400) + 10), panned, 1.0);
  EXPECT_NEAR(left(f, frameOf(400) + 10), panned * gain(-1000), 1.0);
  EXPECT_NEAR(right(f, frameOf(500) - 1), panned, 1.0);
  EXPECT_EQ(right(f, frameOf(500) + fade + 1), 0);

  // Rate 22050: every sample lands on an even frame, the odd frames halfway between.
  for (int k = 1; k < 1990; k += 97) {
    EXPECT_NEAR(left(f, frameOf(600) + 2 * k), 10 * k * gain(-220), 1.0) << k;
    EXPECT_NEAR(left(f, frameOf(600) + 2 * k + 1), (10 * k + 5) * gain(-220), 1.0) << k;
  }
  EXPECT_EQ(static_cast<int>(f.size() / 2), frameOf(600) + 1 + static_cast<int>(std::lround(0.5 * 44100)));
}

TEST_F(GoldenRender, SameInputsSameBytesInEveryFormatAndRate) {
  ASSERT_EQ(render({}, "a.wav"), kExitOk);
  ASSERT_EQ(render({}, "b.wav"), kExitOk);
  EXPECT_EQ(test::readBytes(dir / "a.wav"), test::readBytes(dir / "b.wav"));
  // Without a tail the render stops with the block in which everything fell silent: the
  // half-speed ramp ends last.
  const auto rendered = static_cast<int>(frames("a.wav").size() / 2);
  EXPECT_GE(rendered, frameOf(600) + 4000);
  EXPECT_LT(rendered, frameOf(600) + 4000 + kRenderBlockFrames);
  EXPECT_EQ(rendered % kRenderBlockFrames, 0);  // the song's long cycles keep to the same grid

  // Again over an earlier file and over a link: each name gets the new file, the link's target
  // stays as it was, and nothing is left beside them.
  test::writeBytes(dir / "kept.wav", {1, 2, 3});
  std::filesystem::create_symlink(dir / "kept.wav", dir / "link.wav");
  ASSERT_EQ(render({}, "b.wav"), kExitOk);
  ASSERT_EQ(render({}, "link.wav"), kExitOk);
  EXPECT_EQ(test::readBytes(dir / "b.wav"), test::readBytes(dir / "a.wav"));
  EXPECT_FALSE(std::filesystem::is_symlink(dir / "link.wav"));
  EXPECT_EQ(test::readBytes(dir / "link.wav"), test::readBytes(dir / "a.wav"));
  EXPECT_EQ(test::readBytes(dir / "kept.wav"), (std::vector<uint8_t>{1, 2, 3}));
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    EXPECT_EQ(entry.path().string().find(".zumbel-render-"), std::string::npos) << entry.path();
  }

  ASSERT_EQ(render({"--format", "f32", "--tail", "0"}, "f.wav"), kExitOk);
  ASSERT_EQ(render({"--format", "s24", "--tail", "0"}, "s.wav"), kExitOk);
  const auto f32 = test::readBytes(dir / "f.wav");
  const auto s24 = test::readBytes(dir / "s.wav");
  EXPECT_EQ(f32[20], 3);  // IEEE float
  EXPECT_EQ(test::i32At(f32, 24), 44100);
  EXPECT_EQ(s24[34], 24);
  const int songFrames = frameOf(600) + 1;
  EXPECT_EQ(s24.size(), 44u + 6u * static_cast<std::size_t>(songFrames));

  // At 48 kHz the first onset moves to its own frame at that rate.
  ASSERT_EQ(render({"--rate", "48000", "--tail", "0"}, "r.wav"), kExitOk);
  WaveReader reader;
  ASSERT_EQ(reader.ReadWave(dir / "r.wav"), 0);
  EXPECT_EQ(reader.samplesPerSec, 48000u);
  const int onset = static_cast<int>(std::lround(frameOf(10) * 48000.0 / 44100.0));
  EXPECT_EQ(left(reader.data(), onset - 1), 0);
  EXPECT_NEAR(left(reader.data(), onset), 8000 * gain(-220), 1.0);
}

TEST_F(GoldenRender, LevelsLayerGainsOutputsAndStemsThatAddUpToTheMix) {
  const std::vector<uint8_t> set = test::readBytes(dir / "kit.drums");
  std::ostringstream o, e;
  for (const std::vector<std::string>& edit : {
           std::vector<std::string>{"--sound", "2", "--level", "-6", "--name", "Snare"},
           {"--sound", "0", "--layer", "3", "--gain", "-6"},
           {"--sound", "10", "--output", "2"},
           {"--sound", "6", "--output", "3", "--level", "+6"},
           {"--sound", "4", "--level", "off"},
       }) {
    std::vector<std::string> args = {"edit", dir / "kit.drums"};
    args.insert(args.end(), edit.begin(), edit.end());
    ASSERT_EQ(runCommandLine(args, o, e), kExitOk) << e.str();
  }
  EXPECT_EQ(test::readBytes(dir / "kit.drums"), set) << "an extra never changes the .drums file";

  ASSERT_EQ(render({"--tail", "0.5"}), kExitOk) << stderr_.str();
  const auto f = frames();
  EXPECT_NEAR(left(f, frameOf(10)), 8000 * gain(law(127)), 1.0);               // untouched
  EXPECT_NEAR(left(f, frameOf(100)), 3000 * gain(law(30) - 600), 1.0);         // layer 3's gain
  EXPECT_NEAR(right(f, frameOf(400) + 10), 4000 * gain(law(100) - 600), 1.0);  // -6 dB: half
  EXPECT_NEAR(left(f, frameOf(300) + 200), 1000 * gain(-220 + 600), 1.0);      // +6 dB
  EXPECT_EQ(left(f, frameOf(600) + 10), 0);                                     // off

  // Stems: one file per output in use, each as long as the mix, adding up to it.
  ASSERT_EQ(render({"--tail", "0.5", "--format", "f32", "--stems", dir / "stems"}, "mix.wav"), kExitOk) << stderr_.str();
  EXPECT_FALSE(std::filesystem::exists(dir / "stems/out-4.wav"));
  const auto floats = [&](const std::string& path) {
    SF_INFO info{};
    SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
    std::vector<float> v(static_cast<std::size_t>(info.frames * 2));
    if (sf) sf_readf_float(sf, v.data(), info.frames);
    if (sf) sf_close(sf);
    return v;
  };
  const std::vector<float> mixed = floats(dir / "mix.wav");
  const std::vector<float> s1 = floats(dir / "stems/out-1.wav"), s2 = floats(dir / "stems/out-2.wav"),
                           s3 = floats(dir / "stems/out-3.wav");
  ASSERT_EQ(s1.size(), mixed.size());
  ASSERT_EQ(s2.size(), mixed.size());
  ASSERT_EQ(s3.size(), mixed.size());
  for (std::size_t i = 0; i < mixed.size(); ++i) ASSERT_EQ(mixed[i], s1[i] + s2[i] + s3[i]) << i;
  const auto at = [](const std::vector<float>& v, int frame) { return v[static_cast<std::size_t>(2 * frame)]; };
  EXPECT_NEAR(at(s2, frameOf(200) + 10) * 32768, 5000 * gain(-220), 1.0);  // the open hat alone
  EXPECT_EQ(at(s1, frameOf(200) + 10), 0.0f);
  EXPECT_EQ(at(s3, frameOf(200) + 10), 0.0f);
  EXPECT_EQ(at(s2, frameOf(10)), 0.0f);
  // The mix with stems is the mix without them.
  ASSERT_EQ(render({"--tail", "0.5", "--format", "f32"}, "plain.wav"), kExitOk);
  const std::vector<float> plain = floats(dir / "plain.wav");
  ASSERT_EQ(plain.size(), mixed.size());
  for (std::size_t i = 0; i < plain.size(); ++i) ASSERT_NEAR(plain[i], mixed[i], 1e-6f) << i;

  // A stems folder that is a file is refused before anything is written.
  test::touch(dir / "afile");
  EXPECT_EQ(render({"--stems", dir / "afile"}, "x.wav"), kExitError);
  EXPECT_NE(stderr_.str().find("Not a directory"), std::string::npos) << stderr_.str();
  EXPECT_FALSE(std::filesystem::exists(dir / "x.wav"));
  // Nor is a stem written through a link in its place.
  test::writeBytes(dir / "precious", {'k'});
  std::filesystem::create_directory(dir / "linked");
  std::filesystem::create_symlink(dir / "precious", dir / "linked/out-2.wav");
  EXPECT_EQ(render({"--stems", dir / "linked"}, "y.wav"), kExitError);
  EXPECT_EQ(test::readBytes(dir / "precious"), std::vector<uint8_t>{'k'});
}

// An imported kit's hats choke each other as a drummer's do, not only through the one cut note
// each sound has: each hat plays on its own output, so its stem shows when it falls silent.
TEST_F(GoldenRender, ImportedVariBreaksHatsSilenceEachOtherWithinTheFade) {
  const std::string kit = "/usr/share/hydrogen/data/drumkits/VariBreaks";
  if (!std::filesystem::is_directory(kit)) GTEST_SKIP() << kit << " is missing; scripts/install-deps installs it";
  std::ostringstream o, e;
  ASSERT_EQ(runCommandLine({"import-kit", kit, "-o", dir / "vb.drums", "--notes", "gm"}, o, e), kExitOk) << e.str();
  const int closed = 2, pedal = 3, open = 4;  // outputs of notes 42, 44 and 46
  for (const auto& [sound, output] : {std::pair{42, closed}, {44, pedal}, {46, open}}) {
    ASSERT_EQ(runCommandLine({"edit", dir / "vb.drums", "--sound", std::to_string(sound - kFirstNote), "--output",
                              std::to_string(output)},
                             o, e),
              kExitOk)
        << e.str();
  }
  // Each hat is struck while the one before still rings. The closed hat silencing the pedal and
  // the open hat silencing the closed one are what the kit's cut notes alone do not do.
  const std::vector<std::pair<int, int>> hits = {{10, 46}, {60, 44}, {110, 42}, {125, 46}, {175, 42}};
  std::vector<Note> song;
  for (const auto& [tick, note] : hits) song.push_back({tick, 0x90, note, 100});
  test::writeBytes(dir / "hats.mid", smf(song));
  ASSERT_EQ(runCommandLine({"render", dir / "vb.drums", dir / "hats.mid", "-o", dir / "hats.wav", "--format", "f32",
                            "--stems", dir / "hats"},
                           o, e),
            kExitOk)
      << e.str();
  const auto stem = [&](int output) {
    SF_INFO info{};
    SNDFILE* sf = sf_open((dir / ("hats/out-" + std::to_string(output) + ".wav")).c_str(), SFM_READ, &info);
    std::vector<float> v(static_cast<std::size_t>(info.frames * 2));
    if (sf) sf_readf_float(sf, v.data(), info.frames);
    if (sf) sf_close(sf);
    return v;
  };
  const std::map<int, std::vector<float>> stems = {{closed, stem(closed)}, {pedal, stem(pedal)}, {open, stem(open)}};
  const auto loudest = [](const std::vector<float>& v, int from, int to) {
    float peak = 0;
    for (int k = 2 * from; k < 2 * to && k < static_cast<int>(v.size()); ++k) peak = std::max(peak, std::fabs(v[static_cast<std::size_t>(k)]));
    return peak;
  };
  const int fade = static_cast<int>(kStopRampSeconds * kOutputRate) + 1;
  const std::map<int, int> outputOf = {{42, closed}, {44, pedal}, {46, open}};
  for (std::size_t h = 1; h < hits.size(); ++h) {
    const std::vector<float>& victim = stems.at(outputOf.at(hits[h - 1].second));
    const int onset = frameOf(hits[h].first);
    const int next = h + 1 < hits.size() ? frameOf(hits[h + 1].first) : onset + 4000;
    EXPECT_GT(loudest(victim, onset - 200, onset), 1e-3f) << "hit " << h << ": the hat before still rings";
    EXPECT_EQ(loudest(victim, onset + fade, next), 0.0f) << "hit " << h << ": silenced within the fade";
    EXPECT_GT(loudest(stems.at(outputOf.at(hits[h].second)), onset, onset + 200), 1e-3f) << "hit " << h;
  }
}

TEST_F(GoldenRender, ReportsMissingSamplesAndTheChannelsASongUses) {
  std::filesystem::remove(dir / "soft.wav");
  EXPECT_EQ(render(), kExitFinding);
  EXPECT_NE(stderr_.str().find("missing sample: soft.wav"), std::string::npos) << stderr_.str();
  EXPECT_NE(stdout_.str().find(", 5 samples loaded) to "), std::string::npos) << stdout_.str();
  const auto f = frames();
  EXPECT_NEAR(left(f, frameOf(10)), 8000 * gain(-220), 1.0);  // everything else still plays
  EXPECT_EQ(left(f, frameOf(100)), 0);

  test::writeBytes(dir / "song.mid", smf({{10, 0x99, 36, 127}, {20, 0x9A, 38, 127}}));
  EXPECT_EQ(render(), kExitFinding);
  EXPECT_NE(stderr_.str().find("no notes on channel 1; it uses channels 10, 11"), std::string::npos) << stderr_.str();
  EXPECT_EQ(render({"--channel", "10"}), kExitFinding);  // still the missing sample
  EXPECT_EQ(stderr_.str().find("no notes on channel"), std::string::npos);
  EXPECT_NEAR(left(frames(), frameOf(10)), 8000 * gain(-220), 1.0);
  // So is an alternate gone since it was added: its layer still plays its own sample.
  std::filesystem::copy_file(dir / "kick.wav", dir / "take2.wav");
  ASSERT_EQ(runCommandLine({"edit", dir / "kit.drums", "--sound", "0", "--layer", "0", "--add-alternate", dir / "take2.wav"},
                           stdout_, stderr_),
            kExitOk);
  std::filesystem::remove(dir / "take2.wav");
  EXPECT_EQ(render({"--channel", "10"}), kExitFinding);
  EXPECT_NE(stderr_.str().find("alternate " + (dir / "take2.wav") + " is missing"), std::string::npos) << stderr_.str();
  EXPECT_NEAR(left(frames(), frameOf(10)), 8000 * gain(-220), 1.0);

  for (const auto& bad : std::vector<std::vector<std::string>>{{"--channel", "17"}, {"--format", "u8"}, {"--rate", "100"}, {"--tail", "-1"}}) {
    EXPECT_EQ(render(bad), kExitError) << bad[0];
  }
  // A device is written as it is, and a failed write is an error that leaves it alone.
  EXPECT_EQ(runCommandLine({"render", dir / "kit.drums", dir / "song.mid", "-o", "/dev/full"}, stdout_, stderr_), kExitError);
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    EXPECT_EQ(entry.path().string().find(".zumbel-render-"), std::string::npos) << entry.path();
  }
  test::writeBytes(dir / "song.mid", {'n', 'o', 't', ' ', 'm', 'i', 'd', 'i'});
  EXPECT_EQ(render(), kExitError);
}

TEST_F(GoldenRender, ASongWithoutNotesOrCutShortIsAFinding) {
  test::writeBytes(dir / "song.mid", smf({{10, 0xB0, 7, 100}}));
  EXPECT_EQ(render(), kExitFinding);
  EXPECT_NE(stderr_.str().find("song.mid has no notes at all"), std::string::npos) << stderr_.str();
  EXPECT_TRUE(std::filesystem::exists(dir / "out.wav"));

  // Cut inside its last event: what could be read is still rendered, and said to be so.
  std::vector<uint8_t> cut = smf({{10, 0x90, 36, 127}, {400, 0x90, 38, 100}});
  cut.resize(cut.size() - 6);
  test::writeBytes(dir / "song.mid", cut);
  EXPECT_EQ(render(), kExitFinding);
  EXPECT_NE(stderr_.str().find("track 1 ends early"), std::string::npos) << stderr_.str();
  EXPECT_NE(stderr_.str().find("song.mid is damaged; " + dir / "out.wav" + " holds what could be read of it"),
            std::string::npos)
      << stderr_.str();
  EXPECT_NEAR(left(frames(), frameOf(10)), 8000 * gain(-220), 1.0);
}

// Started anywhere, the tools read a set's samples from its own folder, never from the working
// folder, where a file of the same name may lie; a copy relinked into that folder keeps them.
TEST_F(GoldenRender, ASetNamedByARelativePathPlaysItsOwnSamplesFromAnyFolder) {
  ASSERT_EQ(render({"--tail", "0"}), kExitOk) << stderr_.str();
  std::filesystem::create_directories(dir / "elsewhere");
  writeDc(dir / "elsewhere/kick.wav", 2000, 100);
  const test::WorkingFolder in(dir / "elsewhere");
  const auto run = [&](const std::vector<std::string>& args) {
    stdout_.str("");
    stderr_.str("");
    return runCommandLine(args, stdout_, stderr_);
  };
  EXPECT_EQ(run({"check", "../kit.drums"}), kExitOk) << stdout_.str();
  ASSERT_EQ(run({"render", "../kit.drums", "../song.mid", "-o", "../moved.wav", "--tail", "0"}), kExitOk) << stderr_.str();
  EXPECT_EQ(frames("moved.wav"), frames());
  ASSERT_EQ(run({"relink", "../kit.drums", "-o", "copy.drums"}), kExitOk) << stderr_.str();
  ASSERT_EQ(run({"render", "copy.drums", "../song.mid", "-o", "../copy.wav", "--tail", "0"}), kExitOk) << stderr_.str();
  EXPECT_EQ(frames("copy.wav"), frames());
}

// No file is left beside the output, and the output itself is not there.
void expectNothingWritten(const test::TempDir& dir, const std::string& out) {
  EXPECT_FALSE(std::filesystem::exists(out)) << out;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    EXPECT_EQ(entry.path().string().find(".zumbel-render-"), std::string::npos) << entry.path();
  }
}

TEST_F(GoldenRender, RefusesToWriteOverAnyOfItsInputs) {
  std::filesystem::create_symlink(dir / "kick.wav", dir / "alias.wav");
  const std::vector<std::pair<std::string, std::string>> inputs{
      {dir / "kit.drums", "is the drum set"},
      {dir.path() + "/./song.mid", "is the song"},
      {dir / "alias.wav", "is a sample of the drum set"},
      {dir / "long.wav", "is a sample of the drum set"},
  };
  for (const auto& [output, says] : inputs) {
    const std::vector<uint8_t> before = test::readBytes(output);
    EXPECT_EQ(render({}, output.substr(dir.path().size() + 1)), kExitError) << output;
    EXPECT_EQ(stderr_.str(), "zumbel: render: " + output + ": " + says + "; choose another output\n");
    EXPECT_EQ(test::readBytes(output), before);
  }
}

// Memory running out on the writing thread is a failed write like a full disk: said, and no file.
TEST_F(GoldenRender, MemoryRunningOutWhileWritingFailsAndLeavesNoFile) {
  {
    const test::FailingAllocations noMemory(std::size_t{32} << 10);
    EXPECT_EQ(render(), kExitError);
  }
  EXPECT_EQ(stderr_.str(), "zumbel: render: " + dir / "out.wav" + ": writing failed: Cannot allocate memory\n");
  expectNothingWritten(dir, dir / "out.wav");
}

// A sample too large for the memory left is named as such (the plugin's log has the same line),
// not as a file that is no sound; the render goes on without it. In a child process with little
// address space.
TEST_F(GoldenRender, ASampleThatRunsOutOfMemoryIsToldAsSuch) {
  if (test::kSanitizedBuild) GTEST_SKIP() << "the sanitizer's own address space leaves no room for a limit";
  test::writeSparseWav(dir / "huge.wav", static_cast<uint32_t>(kMaxSampleFrames));
  CKitbeatDoc doc;
  ASSERT_TRUE(doc.OnOpenDocument(dir / "kit.drums").ok());
  doc.appendSample(0, "huge.wav");
  doc.AssignSample(0, 0, {0, doc.groupSize(0) - 1});
  ASSERT_TRUE(doc.OnSaveDocument(dir / "kit.drums").ok());
  const auto renderWithLittleMemory = [&] {
    if (!test::limitAddressSpace(std::size_t{256} << 20)) ::_exit(kExitError + 10);
    const int status = render();
    std::fputs(stderr_.str().c_str(), stderr);
    ::_exit(status);
  };
  EXPECT_EXIT(renderWithLittleMemory(), ::testing::ExitedWithCode(kExitFinding),
              "^zumbel: sample " + dir / "huge\\.wav: not enough memory to load it; silent: sound 0 layer 0\n$");
}

TEST_F(GoldenRender, ErrorsNameTheFileAndTheReason) {
  std::filesystem::create_directory(dir / "folder");
  EXPECT_EQ(render({}, "folder"), kExitError);
  EXPECT_EQ(stderr_.str(), "zumbel: render: " + dir / "folder" + ": Is a directory\n");
  EXPECT_EQ(render({}, "none/out.wav"), kExitError);
  EXPECT_EQ(stderr_.str(), "zumbel: render: " + dir / "none/out.wav" + ": folder " + dir / "none/" +
                               ": No such file or directory\n");

  stderr_.str("");
  EXPECT_EQ(runCommandLine({"render", dir / "kit.drums", dir / "folder", "-o", dir / "out.wav"}, stdout_, stderr_),
            kExitError);
  EXPECT_EQ(stderr_.str(), "zumbel: render: " + dir / "folder" + ": Is a directory\n");

  // A sample that is there but cannot be read is not called missing, and each file that is not a
  // WAV is named with the layers that stay silent.
  std::filesystem::remove(dir / "soft.wav");
  std::filesystem::create_directory(dir / "soft.wav");
  test::touch(dir / "closed.wav");
  EXPECT_EQ(render(), kExitFinding);
  EXPECT_NE(stderr_.str().find("zumbel: sample " + dir / "soft.wav" + ": Is a directory; it stays silent\n"),
            std::string::npos)
      << stderr_.str();
  EXPECT_NE(stderr_.str().find("zumbel: sample " + dir / "closed.wav" +
                               ": not a WAV file Zumbel can read; silent: sound 6 layer 0\n"),
            std::string::npos);
  EXPECT_EQ(stderr_.str().find("missing"), std::string::npos);
  if (::geteuid() != 0) {  // root reads any file
    ::chmod((dir / "kick.wav").c_str(), 0);
    EXPECT_EQ(render(), kExitFinding);
    EXPECT_NE(stderr_.str().find("zumbel: sample " + dir / "kick.wav" + ": Permission denied; it stays silent\n"),
              std::string::npos)
        << stderr_.str();
  }
}

TEST_F(GoldenRender, ASongTooLongForAWavFileIsRefusedBeforeRendering) {
  test::writeBytes(dir / "song.mid", smf({{0, 0x90, 36, 127}, {0x0FFFFFFF, 0x90, 36, 127}}));
  EXPECT_EQ(render(), kExitError);
  // 0x0FFFFFFF ticks of 1/882 s, where 16-bit stereo holds 2^30 - 64 frames.
  EXPECT_EQ(stderr_.str(), "zumbel: render: " + dir / "song.mid" +
                               ": the song lasts 84:32:28, longer than a WAV file holds (6:45:47 at 44100 Hz in s16)\n");
  expectNothingWritten(dir, dir / "out.wav");
}

// A real process, so the signal reaches a render in progress and nothing else.
TEST_F(GoldenRender, AnInterruptedRenderLeavesNothingBehind) {
  // Hours of song at the lowest rate: far longer than the test waits.
  test::writeBytes(dir / "song.mid", smf({{0, 0x90, 36, 127}, {0x0FFFFFF, 0x90, 36, 127}}));
  const std::string out = dir / "out.wav";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // stderr goes to a file, as in a log: the progress line must stay out of it.
    const int log = ::open((dir / "err.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(log, STDERR_FILENO);
    std::ostringstream quiet;
    const int status = runCommandLine({"render", dir / "kit.drums", dir / "song.mid", "-o", out, "--rate", "8000"},
                                      quiet, std::cerr);
    std::cerr.flush();
    ::_exit(status);
  }
  const std::string temporary = out + ".zumbel-render-" + std::to_string(child);
  int status = 0;
  while (!std::filesystem::exists(temporary)) {
    ASSERT_EQ(::waitpid(child, &status, WNOHANG), 0) << "the render ended before it was interrupted";
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // Held while a progress line falls due, so the signal finds the render under way whatever the
  // machine's speed.
  ::kill(child, SIGSTOP);
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  ::kill(child, SIGTERM);
  ::kill(child, SIGCONT);
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), kExitError);
  const std::vector<uint8_t> log = test::readBytes(dir / "err.log");
  const std::string said(log.begin(), log.end());
  EXPECT_EQ(said, "zumbel: render: interrupted; " + out + " was not written\n");
  std::filesystem::remove(dir / "err.log");
  expectNothingWritten(dir, out);
}

}  // namespace
}  // namespace zumbel
