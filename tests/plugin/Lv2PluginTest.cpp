// The LV2 plugin in a host built on lilv: it must sound exactly as `zumbel render` whatever the
// host's block sizes, keep its set in a saved session, hand over between sets without a break,
// and shrug off paths that name no usable set. The allocation guard watches every run().

#include <lv2/atom/atom.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "EngineConfig.h"
#include "LoadedSet.h"
#include "Lv2TestHost.h"
#include "SetPlayer.h"
#include "ShortMessage.h"
#include "MidiFile.h"
#include "TestSupport.h"

namespace zumbel {
namespace {

namespace fs = std::filesystem;
using test::Lv2TestHost;
using test::Lv2World;
using test::TempDir;
using test::writeBytes;

const std::string kDemoDir = std::string(ZUMBEL_SOURCE_DIR) + "/resources/demo";
const std::string kDemoKit = kDemoDir + "/Demo.drums";
const std::string kDemoSong = kDemoDir + "/Demo Song.mid";
constexpr uint8_t kNoteOn = 0x90, kNoteOff = 0x80;
constexpr uint8_t kKick = 36, kSnare = 38, kCrash = 49;

Lv2World& world() {
  static Lv2World w(ZUMBEL_LV2_BUNDLE);
  return w;
}

// Loads `path` the way a host does: the patch message in one cycle, the worker, its reply after
// the next, the set playing from the one after. The output of these cycles is dropped.
void chooseSet(Lv2TestHost& host, const std::string& path) {
  host.setDrumSet(path);
  host.run(64);
  host.doWork();
  host.run(64);
  host.run(64);
  host.doWork();  // frees whatever the handover retired
  host.left.clear();
  host.right.clear();
}

bool silent(const std::vector<float>& v) {
  return std::all_of(v.begin(), v.end(), [](float x) { return x == 0.0f; });
}

// One note-on in a fresh cycle, then `frames` of its sound.
void hit(Lv2TestHost& host, uint8_t note, uint32_t frames = 4096, uint8_t channel = 1) {
  host.midi(0, static_cast<uint8_t>(kNoteOn | (channel - 1)), note, 100);
  host.run(frames);
}

struct Wav {
  int rate = 0;
  std::vector<float> left, right;
};

Wav readFloatWav(const std::string& path) {
  Wav wav;
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr || info.channels != 2) return wav;
  std::vector<float> frames(static_cast<std::size_t>(info.frames) * 2);
  sf_readf_float(file, frames.data(), info.frames);
  sf_close(file);
  wav.rate = info.samplerate;
  for (std::size_t i = 0; i < frames.size(); i += 2) {
    wav.left.push_back(frames[i]);
    wav.right.push_back(frames[i + 1]);
  }
  return wav;
}

// A copy of the demo kit in `dir`, so a test may move or damage it.
std::string copyDemoKit(const std::string& dir) {
  fs::create_directories(dir);
  fs::copy(kDemoDir, dir, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  return dir + "/Demo.drums";
}

TEST(Lv2Plugin, BundleOffersTheDrumSetAsAPathParameter) {
  const LilvPlugin* plugin = world().plugin();
  ASSERT_NE(plugin, nullptr) << "bundle " << ZUMBEL_LV2_BUNDLE;
  EXPECT_EQ(lilv_plugin_get_num_ports(plugin), 5u);
  LilvWorld* w = world().world();
  LilvNode* writable = lilv_new_uri(w, "http://lv2plug.in/ns/ext/patch#writable");
  LilvNode* range = lilv_new_uri(w, "http://www.w3.org/2000/01/rdf-schema#range");
  LilvNodes* params = lilv_world_find_nodes(w, lilv_plugin_get_uri(plugin), writable, nullptr);
  ASSERT_EQ(lilv_nodes_size(params), 1u);
  const LilvNode* param = lilv_nodes_get_first(params);
  EXPECT_STREQ(lilv_node_as_uri(param), "https://zumbel.nordwick.org/lv2#set");
  LilvNode* type = lilv_world_get(w, param, range, nullptr);
  EXPECT_STREQ(lilv_node_as_uri(type), "http://lv2plug.in/ns/ext/atom#Path");
  lilv_node_free(type);
  lilv_nodes_free(params);
  lilv_node_free(range);
  lilv_node_free(writable);

  // Rates no device has are refused instead of played wrongly.
  EXPECT_FALSE(Lv2TestHost(world(), 1000.0).ok());
  EXPECT_TRUE(Lv2TestHost(world(), 22050.0).ok());
}

// The demo song through the plugin in blocks of random sizes (single frames and blocks larger
// than the mixer's included) against `zumbel render` of it at the same rate, sample for sample.
class Lv2PluginAtRate : public testing::TestWithParam<int> {};

TEST_P(Lv2PluginAtRate, PlaysTheDemoSongExactlyAsRenderDoes) {
  const int rate = GetParam();
  TempDir dir;
  const std::string wav = dir / "render.wav";
  const std::string command = std::string("'") + ZUMBEL_BINARY + "' render '" + kDemoKit + "' '" + kDemoSong +
                              "' -o '" + wav + "' --format f32 --rate " + std::to_string(rate) + " >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const Wav reference = readFloatWav(wav);
  ASSERT_EQ(reference.rate, rate);
  ASSERT_GT(reference.left.size(), static_cast<std::size_t>(rate));

  const MidiFileResult midi = loadMidiFile(kDemoSong);
  ASSERT_TRUE(midi.ok());
  Lv2TestHost host(world(), rate);
  ASSERT_TRUE(host.ok());
  chooseSet(host, kDemoKit);
  EXPECT_EQ(host.announced, std::vector<std::string>{kDemoKit});

  std::mt19937 random(static_cast<unsigned>(rate));
  std::uniform_int_distribution<uint32_t> size(1, 9000);
  const auto total = static_cast<int64_t>(reference.left.size());
  std::size_t next = 0;
  for (int64_t start = 0; start < total;) {
    const uint32_t draw = size(random);
    const auto frames = static_cast<uint32_t>(std::min<int64_t>(total - start, draw % 7 == 0 ? 1 : draw));
    for (; next < midi.song.events.size(); ++next) {
      const int64_t at = midi.song.frameAt(midi.song.events[next], rate);
      if (at >= start + frames) break;
      const uint32_t m = midi.song.events[next].message;
      host.midi(static_cast<uint32_t>(at - start), static_cast<uint8_t>(m), static_cast<uint8_t>(m >> 8),
                static_cast<uint8_t>(m >> 16));
    }
    host.run(frames);
    start += frames;
  }
  ASSERT_EQ(host.left.size(), reference.left.size());
  for (std::size_t i = 0; i < reference.left.size(); ++i) {
    ASSERT_EQ(host.left[i], reference.left[i]) << "frame " << i;
    ASSERT_EQ(host.right[i], reference.right[i]) << "frame " << i;
  }
  EXPECT_FALSE(silent(host.left));
}

INSTANTIATE_TEST_SUITE_P(Rates, Lv2PluginAtRate, testing::Values(44100, 48000));

TEST(Lv2Plugin, SavedSessionReopensWithItsSetAndChannelWhereverItMoved) {
  TempDir dir;
  const std::string session = dir / "session";
  const std::string kit = copyDemoKit(dir / "kit");
  Lv2TestHost saved(world(), kOutputRate);
  saved.setChannel(10.0f);
  chooseSet(saved, kit);
  ASSERT_TRUE(saved.saveState(session));
  // The session keeps a link to the set; the set itself stays as it was.
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(kit)));
  EXPECT_TRUE(fs::is_symlink(session + "/Demo.drums"));

  // The session folder moves; through its link it still finds the set, and the set its samples.
  fs::rename(session, dir / "moved");
  Lv2TestHost reopened(world(), kOutputRate);
  ASSERT_TRUE(reopened.restoreState(dir / "moved"));
  reopened.run(64);
  EXPECT_EQ(reopened.announced, std::vector<std::string>{dir / "moved/Demo.drums"});
  EXPECT_TRUE(reopened.logged().empty()) << reopened.logged().front();
  reopened.left.clear();
  reopened.right.clear();

  hit(reopened, kKick, 4096, 1);  // not its channel any more
  EXPECT_TRUE(silent(reopened.left));
  for (Lv2TestHost* host : {&saved, &reopened}) {
    hit(*host, kSnare, 2000, 10);
    hit(*host, kCrash, 3000, 10);
    host->midi(100, 0x89, kCrash, 0);
    host->run(5000);
  }
  reopened.left.erase(reopened.left.begin(), reopened.left.begin() + 4096);
  reopened.right.erase(reopened.right.begin(), reopened.right.begin() + 4096);
  EXPECT_EQ(reopened.left, saved.left);
  EXPECT_EQ(reopened.right, saved.right);
  EXPECT_FALSE(silent(saved.left));
}

TEST(Lv2Plugin, PathsNamingNoUsableSetChangeNothingAndAreLogged) {
  TempDir dir;
  writeBytes(dir / "garbage.drums", std::vector<uint8_t>(3000, 0xA5));
  writeBytes(dir / "empty.drums", {});
  fs::create_directories(dir / "folder.drums");
  const std::vector<std::string> bad = {dir / "missing.drums", dir / "garbage.drums", dir / "empty.drums",
                                        dir / "folder.drums", "/dev/zero", std::string(5000, 'x')};
  Lv2TestHost host(world(), kOutputRate);
  // Before any set: silent, and still running after each bad path.
  for (const std::string& path : bad) {
    const std::size_t before = host.logged().size();
    chooseSet(host, path);
    hit(host, kKick);
    EXPECT_TRUE(silent(host.left)) << path.substr(0, 80);
    EXPECT_GT(host.logged().size(), before) << path.substr(0, 80);
    host.left.clear();
  }
  // A value that is no path at all is not taken for one.
  host.setDrumSet(kDemoKit, LV2_ATOM__String);
  host.run(64);
  host.doWork();
  EXPECT_TRUE(host.announced.empty());

  // Once a set plays, a bad choice leaves it playing, as it was.
  chooseSet(host, kDemoKit);
  hit(host, kSnare);
  const std::vector<float> snare = host.left;
  EXPECT_FALSE(silent(snare));
  host.announced.clear();
  for (const std::string& path : bad) {
    for (int i = 0; i < 3; ++i) host.run(Lv2TestHost::kMaxBlock);  // the last snare dies away
    chooseSet(host, path);
    // The host is told again which set plays, so it does not show the file that failed.
    EXPECT_EQ(host.announced, std::vector<std::string>{kDemoKit}) << path.substr(0, 80);
    host.announced.clear();
    hit(host, kSnare);
    EXPECT_TRUE(host.left == snare) << path.substr(0, 80);
  }
  host.getDrumSet();
  host.run(64);
  EXPECT_EQ(host.announced.back(), kDemoKit);
}

TEST(Lv2Plugin, MissingSamplesAreLoggedAndStaySilentWhileTheRestPlays) {
  TempDir dir;
  const std::string kit = copyDemoKit(dir / "kit");
  for (const char* layer : {"Kick Hard.wav", "Kick Medium.wav", "Kick Soft.wav"}) fs::remove(dir / "kit/" + layer);
  Lv2TestHost host(world(), kOutputRate);
  chooseSet(host, kit);
  EXPECT_EQ(host.announced, std::vector<std::string>{kit});
  int named = 0;
  for (const std::string& line : host.logged()) named += line.find("Kick") != std::string::npos;
  EXPECT_EQ(named, 3);
  hit(host, kKick);
  EXPECT_TRUE(silent(host.left));
  hit(host, kSnare);
  EXPECT_FALSE(silent(host.left));
}

// A set chosen while a crash rings: the crash goes on exactly as if nothing had happened, its
// note-off still reaches it, and the next note plays from the new set.
TEST(Lv2Plugin, ChangingTheSetLetsSoundingNotesRingOn) {
  TempDir dir;
  const std::string other = copyDemoKit(dir / "other");
  Lv2TestHost steady(world(), kOutputRate), changed(world(), kOutputRate);
  for (Lv2TestHost* host : {&steady, &changed}) {
    chooseSet(*host, kDemoKit);
    hit(*host, kCrash, 3000);
  }
  for (Lv2TestHost* host : {&steady, &changed}) {
    if (host == &changed) host->setDrumSet(other);
    host->run(500);
    host->doWork();
    for (int cycle = 0; cycle < 20; ++cycle) host->run(1 + static_cast<uint32_t>(cycle) * 37);
    host->midi(10, kNoteOff, kCrash, 0);
    host->run(4000);
    hit(*host, kSnare);
  }
  changed.doWork();
  EXPECT_EQ(changed.announced, (std::vector<std::string>{kDemoKit, other}));
  EXPECT_EQ(changed.left, steady.left);
  EXPECT_EQ(changed.right, steady.right);
}

// Sets chosen one after another faster than the last one's sounds die away: each replaced set
// fades out within the stop ramp once another waits, every set leaves exactly once, and the last
// one chosen is the one that plays.
TEST(SetPlayer, SetsChosenInQuickSuccessionEachLeaveOnceAndTheLastPlays) {
  SetPlayer player(kOutputRate);
  std::vector<LoadedSet*> made;
  for (int i = 0; i < 3; ++i) {
    SetLoadResult loaded = loadSet(kDemoKit, kOutputRate);
    ASSERT_TRUE(loaded.set) << loaded.problems;
    made.push_back(loaded.set.release());
  }
  std::vector<float> left(256), right(256);
  const TimedMessage crash{0, packShortMessage(0x90, kCrash, 127)};
  std::vector<LoadedSet*> gone;
  auto cycle = [&](std::span<const TimedMessage> messages = {}) {
    player.process(left.data(), right.data(), 256, messages);
    if (LoadedSet* set = player.takeRetired()) gone.push_back(set);
  };
  EXPECT_EQ(player.offer(made[0]), nullptr);
  cycle(std::span(&crash, 1));
  EXPECT_EQ(player.current(), made[0]);
  EXPECT_EQ(player.offer(made[1]), nullptr);
  cycle(std::span(&crash, 1));  // made[0] rings on; the crash starts on made[1]
  EXPECT_EQ(player.current(), made[1]);
  EXPECT_TRUE(gone.empty());
  // Two more choices before the next cycle: the one in between never plays.
  EXPECT_EQ(player.offer(made[2]), nullptr);
  SetLoadResult extra = loadSet(kDemoKit, kOutputRate);
  EXPECT_EQ(player.offer(extra.set.get()), made[2]);
  delete made[2];
  made[2] = extra.set.release();
  const int rampCycles = static_cast<int>(kStopRampSeconds * kOutputRate) / 256 + 2;
  for (int i = 0; i < 2 * rampCycles; ++i) cycle();
  EXPECT_EQ(player.current(), made[2]);
  EXPECT_EQ(gone, std::vector<LoadedSet*>{made[0]});  // made[1] still rings its crash
  EXPECT_TRUE(std::any_of(left.begin(), left.end(), [](float v) { return v != 0.0f; }));
  for (LoadedSet* set : player.releaseAll()) gone.push_back(set);
  std::erase(gone, nullptr);
  std::sort(gone.begin(), gone.end());
  std::sort(made.begin(), made.end());
  EXPECT_EQ(gone, made);
  for (LoadedSet* set : made) delete set;
}

}  // namespace
}  // namespace zumbel
