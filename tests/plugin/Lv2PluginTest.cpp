// The LV2 plugins in a host built on lilv: the stereo one must sound exactly as `zumbel render`
// whatever the host's block sizes, and Multi give each output exactly the engine's pair for it;
// they must keep their set in a saved session, hand over between sets without a break, shrug off
// paths that name no usable set, and survive careless and hostile hosts. The allocation guard
// watches every run().

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/urid/urid.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "AtomBytes.h"
#include "EngineConfig.h"
#include "LoadedSet.h"
#include "Lv2TestHost.h"
#include "OfflineRenderer.h"
#include "SetPlayer.h"
#include "ShortMessage.h"
#include "MidiFile.h"
#include "TestSupport.h"

namespace zumbel {
namespace {

namespace fs = std::filesystem;
using test::AtomBytes;
using test::Lv2TestHost;
using test::Lv2World;
using test::kLv2MultiUri;
using test::kLv2StereoUri;
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
  host.clearOutputs();
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

// The mixer pairs (counted from 0) the routed demo kit sends sounds to.
constexpr std::size_t kSnarePair = 1, kHiHatPair = 2, kCrashPair = 7;

// A copy of the demo kit whose extras file routes the snare to output 2, the closed hi-hat to
// output 3 and the crash to output 8 (the file counts outputs from 1); the rest plays on the main
// pair.
std::string routedDemoKit(const std::string& dir) {
  const std::string kit = copyDemoKit(dir);
  const std::string extras = R"({"sounds":{"2":{"output":2},"6":{"output":3},"13":{"output":8}}})";
  writeBytes(dir + "/Demo.zumbel", std::vector<uint8_t>(extras.begin(), extras.end()));
  return kit;
}

// Both plugins as a host finds them: instruments with the drum set as a path parameter, the
// stereo one with one pair of audio outputs, Multi with eight, each port of the pair named alike.
TEST(Lv2Plugin, BundleOffersBothPluginsWithTheDrumSetAsAPathParameter) {
  std::vector<std::string> multiOutputs;
  for (int pair = 1; pair <= 8; ++pair) {
    for (const char* side : {"_left", "_right"}) multiOutputs.push_back("out" + std::to_string(pair) + side);
  }
  const struct {
    const char* uri;
    uint32_t ports;
    std::vector<std::string> outputs;
  } plugins[] = {{kLv2StereoUri, 5, {"out_left", "out_right"}}, {kLv2MultiUri, 19, multiOutputs}};
  LilvWorld* w = world().world();
  LilvNode* writable = lilv_new_uri(w, "http://lv2plug.in/ns/ext/patch#writable");
  LilvNode* range = lilv_new_uri(w, "http://www.w3.org/2000/01/rdf-schema#range");
  LilvNode* audio = lilv_new_uri(w, LV2_CORE__AudioPort);
  LilvNode* output = lilv_new_uri(w, LV2_CORE__OutputPort);
  LilvNode* type = lilv_new_uri(w, "http://www.w3.org/1999/02/22-rdf-syntax-ns#type");
  LilvNode* instrument = lilv_new_uri(w, LV2_CORE__InstrumentPlugin);
  for (const auto& expected : plugins) {
    SCOPED_TRACE(expected.uri);
    const LilvPlugin* plugin = world().plugin(expected.uri);
    ASSERT_NE(plugin, nullptr) << "bundle " << ZUMBEL_LV2_BUNDLE;
    EXPECT_EQ(lilv_plugin_get_num_ports(plugin), expected.ports);
    // Asked once the plugin's own file is loaded (lilv reads it when a port is first asked for).
    EXPECT_TRUE(lilv_world_ask(w, lilv_plugin_get_uri(plugin), type, instrument));
    EXPECT_EQ(lilv_plugin_get_num_ports_of_class(plugin, audio, output, nullptr), expected.outputs.size());
    std::vector<std::string> outputs;
    for (uint32_t i = 0; i < lilv_plugin_get_num_ports(plugin); ++i) {
      const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
      if (lilv_port_is_a(plugin, port, audio)) {
        outputs.emplace_back(lilv_node_as_string(lilv_port_get_symbol(plugin, port)));
      }
    }
    EXPECT_EQ(outputs, expected.outputs);

    LilvNodes* params = lilv_world_find_nodes(w, lilv_plugin_get_uri(plugin), writable, nullptr);
    ASSERT_EQ(lilv_nodes_size(params), 1u);
    const LilvNode* param = lilv_nodes_get_first(params);
    EXPECT_STREQ(lilv_node_as_uri(param), "https://zumbel.nordwick.org/lv2#set");
    LilvNode* pathType = lilv_world_get(w, param, range, nullptr);
    EXPECT_STREQ(lilv_node_as_uri(pathType), "http://lv2plug.in/ns/ext/atom#Path");
    lilv_node_free(pathType);
    lilv_nodes_free(params);

    // Rates no device has are refused instead of played wrongly.
    EXPECT_FALSE(Lv2TestHost(world(), 1000.0, expected.uri).ok());
    EXPECT_TRUE(Lv2TestHost(world(), 22050.0, expected.uri).ok());
  }
  lilv_node_free(instrument);
  lilv_node_free(type);
  lilv_node_free(output);
  lilv_node_free(audio);
  lilv_node_free(range);
  lilv_node_free(writable);
}

// Plays `song` through the host in blocks of random sizes (single frames and blocks larger than
// the mixer's included), each message at its frame, until `total` frames are out.
void playInRandomBlocks(Lv2TestHost& host, const MidiSong& song, int rate, int64_t total, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<uint32_t> size(1, 9000);
  std::size_t next = 0;
  for (int64_t start = 0; start < total;) {
    const uint32_t draw = size(random);
    const auto frames = static_cast<uint32_t>(std::min<int64_t>(total - start, draw % 7 == 0 ? 1 : draw));
    for (; next < song.events.size(); ++next) {
      const int64_t at = song.frameAt(song.events[next], rate);
      if (at >= start + frames) break;
      const uint32_t m = song.events[next].message;
      host.midi(static_cast<uint32_t>(at - start), static_cast<uint8_t>(m), static_cast<uint8_t>(m >> 8),
                static_cast<uint8_t>(m >> 16));
    }
    host.run(frames);
    start += frames;
  }
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
  playInRandomBlocks(host, midi.song, rate, static_cast<int64_t>(reference.left.size()), static_cast<unsigned>(rate));
  ASSERT_EQ(host.left.size(), reference.left.size());
  for (std::size_t i = 0; i < reference.left.size(); ++i) {
    ASSERT_EQ(host.left[i], reference.left[i]) << "frame " << i;
    ASSERT_EQ(host.right[i], reference.right[i]) << "frame " << i;
  }
  EXPECT_FALSE(silent(host.left));
}

INSTANTIATE_TEST_SUITE_P(Rates, Lv2PluginAtRate, testing::Values(44100, 48000));

// Each pair's frames as the engine renders the song into `pairs` pairs, cycle by cycle as the
// offline renderer does.
std::vector<test::Lv2TestHost::Pair> engineRender(const std::string& kit, const MidiSong& song, int rate, int pairs,
                                                  int64_t total) {
  SetLoadResult loaded = loadSet(kit, rate);
  EXPECT_TRUE(loaded.set) << loaded.problems;
  if (!loaded.set) return {};
  DrumEngine& engine = *loaded.set->engine;
  std::vector<test::Lv2TestHost::Pair> rendered(static_cast<std::size_t>(pairs));
  std::vector<std::vector<float>> block(2 * rendered.size(), std::vector<float>(kRenderBlockFrames));
  OutputPairs out;
  out.count = pairs;
  for (std::size_t k = 0; k < rendered.size(); ++k) {
    out.left[k] = block[2 * k].data();
    out.right[k] = block[2 * k + 1].data();
  }
  std::vector<TimedMessage> batch;
  std::size_t next = 0;
  for (int64_t start = 0; start < total; start += kRenderBlockFrames) {
    const int frames = static_cast<int>(std::min<int64_t>(kRenderBlockFrames, total - start));
    batch.clear();
    for (; next < song.events.size() && song.frameAt(song.events[next], rate) < start + frames; ++next) {
      const auto at = static_cast<uint32_t>(song.frameAt(song.events[next], rate) - start);
      batch.push_back({at, song.events[next].message});
    }
    engine.process(out, frames, batch);
    for (std::size_t k = 0; k < rendered.size(); ++k) {
      rendered[k].left.insert(rendered[k].left.end(), out.left[k], out.left[k] + frames);
      rendered[k].right.insert(rendered[k].right.end(), out.right[k], out.right[k] + frames);
    }
  }
  return rendered;
}

// The demo song on a kit that routes sounds to three outputs besides the main one: Multi gives
// each output exactly the engine's pair for it (the stems), in blocks of any size, also with some
// outputs unconnected; the stereo plugin gives exactly the engine's one-pair mix, which is the
// stems summed.
TEST(Lv2Plugin, MultiPlaysEachOutputAsTheEngineRendersItAndStereoTheirMix) {
  constexpr int kRate = 48000;
  TempDir dir;
  const std::string kit = routedDemoKit(dir / "kit");
  const MidiFileResult midi = loadMidiFile(kDemoSong);
  ASSERT_TRUE(midi.ok());
  const int64_t total = songFrameCount(midi.song, kRate) + kRate;
  const auto stems = engineRender(kit, midi.song, kRate, kMixerOutputPairs, total);
  const auto mix = engineRender(kit, midi.song, kRate, 1, total);
  ASSERT_EQ(stems.size(), static_cast<std::size_t>(kMixerOutputPairs));
  ASSERT_EQ(mix.size(), 1u);
  for (std::size_t k = 0; k < stems.size(); ++k) {
    const bool routed = k == 0 || k == kSnarePair || k == kHiHatPair || k == kCrashPair;
    EXPECT_EQ(silent(stems[k].left), !routed) << "pair " << k;
  }
  for (int64_t f = 0; f < total; ++f) {
    float left = 0, right = 0;
    for (const auto& stem : stems) left += stem.left[f], right += stem.right[f];
    ASSERT_NEAR(mix[0].left[f], left, 1e-5f) << "frame " << f;
    ASSERT_NEAR(mix[0].right[f], right, 1e-5f) << "frame " << f;
  }

  Lv2TestHost multi(world(), kRate, kLv2MultiUri), stereo(world(), kRate, kLv2StereoUri);
  ASSERT_EQ(multi.pairs(), static_cast<std::size_t>(kMixerOutputPairs));
  ASSERT_EQ(stereo.pairs(), 1u);
  // A routed output and an unused one left unconnected: they are heard as silence, the rest as if
  // they were connected.
  const std::size_t hiHatRight = 2 * kHiHatPair + 1, unusedLeft = 2 * 5;
  multi.connectOutput(hiHatRight, false);
  multi.connectOutput(unusedLeft, false);
  for (Lv2TestHost* host : {&multi, &stereo}) {
    chooseSet(*host, kit);
    playInRandomBlocks(*host, midi.song, kRate, total, 7);
  }
  for (std::size_t k = 0; k < stems.size(); ++k) {
    std::vector<float> left = stems[k].left, right = stems[k].right;
    if (2 * k == unusedLeft) std::fill(left.begin(), left.end(), 0.0f);
    if (2 * k + 1 == hiHatRight) std::fill(right.begin(), right.end(), 0.0f);
    EXPECT_TRUE(multi.outputs[k].left == left) << "pair " << k;
    EXPECT_TRUE(multi.outputs[k].right == right) << "pair " << k;
  }
  EXPECT_TRUE(stereo.left == mix[0].left);
  EXPECT_TRUE(stereo.right == mix[0].right);
}

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
// note-off still reaches it, and the next note plays from the new set. The crash and the snare
// play on outputs of their own, so Multi's handover is heard on each of its outputs.
class Lv2PluginOfUri : public testing::TestWithParam<const char*> {};

TEST_P(Lv2PluginOfUri, ChangingTheSetLetsSoundingNotesRingOn) {
  TempDir dir;
  const std::string first = routedDemoKit(dir / "first");
  const std::string other = routedDemoKit(dir / "other");
  Lv2TestHost steady(world(), kOutputRate, GetParam()), changed(world(), kOutputRate, GetParam());
  for (Lv2TestHost* host : {&steady, &changed}) {
    chooseSet(*host, first);
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
  EXPECT_EQ(changed.announced, (std::vector<std::string>{first, other}));
  for (std::size_t k = 0; k < steady.pairs(); ++k) {
    EXPECT_EQ(changed.outputs[k].left, steady.outputs[k].left) << "pair " << k;
    EXPECT_EQ(changed.outputs[k].right, steady.outputs[k].right) << "pair " << k;
  }
  const std::size_t crash = steady.pairs() > 1 ? kCrashPair : 0;
  EXPECT_FALSE(silent(steady.outputs[crash].left));
}

INSTANTIATE_TEST_SUITE_P(Plugins, Lv2PluginOfUri, testing::Values(kLv2StereoUri, kLv2MultiUri),
                         [](const testing::TestParamInfo<const char*>& plugin) {
                           return std::string(plugin.param) == kLv2MultiUri ? "Multi" : "Stereo";
                         });

// --- careless and hostile hosts ---

// Atoms forged by hand for the control port: each lies about one size.
struct Hostile {
  const char* name;
  AtomBytes events;
  bool refused = false;  // a message the plugin answers by naming its set again, and logs
};

std::vector<Hostile> hostileMessages() {
  Lv2World& w = world();
  const uint32_t object = w.urid(LV2_ATOM__Object), path = w.urid(LV2_ATOM__Path), urid = w.urid(LV2_ATOM__URID);
  const uint32_t set = w.urid(LV2_PATCH__Set), property = w.urid(LV2_PATCH__property), value = w.urid(LV2_PATCH__value);
  const uint32_t param = w.urid("https://zumbel.nordwick.org/lv2#set"), midi = w.urid(LV2_MIDI__MidiEvent);
  const AtomBytes aboutSet = test::atomProperty(property, urid, AtomBytes().u32(param));
  const AtomBytes kit = AtomBytes().text(kDemoKit).u32(0);
  auto patchSet = [&](std::initializer_list<AtomBytes> properties) {
    return test::atomEvent(0, object, test::objectBody(set, properties));
  };
  std::vector<Hostile> all;
  // Sizes whose padding wraps 32 bits, in front of a good property and value.
  for (const uint32_t lie : {0xFFFFFFF0u, 0xFFFFFFF9u, 0xFFFFFFFFu}) {
    all.push_back({"a property claiming nearly 4 GiB",
                   patchSet({test::atomProperty(value, path, kit, lie), aboutSet, test::atomProperty(value, path, kit)})});
  }
  // The message ends inside the path: its last property claims 200 bytes and holds 12.
  all.push_back({"a path claiming more than the message holds",
                 patchSet({aboutSet, test::atomProperty(value, path, AtomBytes().text("/tmp/a.drums"), 200)})});
  // The event claims more than the sequence holds.
  all.push_back({"an event claiming more than the sequence", AtomBytes().i64(0).u32(4096).u32(object).u32(0).u32(set)});
  all.push_back({"a URID with no body", patchSet({test::atomProperty(property, urid, AtomBytes())})});
  all.push_back({"an object shorter than its header", test::atomEvent(0, object, AtomBytes().u32(0))});
  all.push_back({"MIDI claiming bytes the sequence lacks", AtomBytes().i64(0).u32(3).u32(midi).raw("\x99", 1)});
  all.push_back({"an event cut inside its header", AtomBytes().i64(0).u32(8)});
  // An object as the value, itself holding a good patch:Set: not a path, so refused.
  all.push_back({"an object as the value",
                 patchSet({aboutSet, test::atomProperty(value, object, test::objectBody(set, {aboutSet, test::atomProperty(value, path, kit)}))}),
                 true});
  return all;
}

// Each message after a snare in the same cycle, in a child process so that a hang ends in a
// failure: the snare sounds, the set stays, and a message that names no set asks for no load.
TEST(Lv2Plugin, MalformedMessagesFromTheHostAreIgnored) {
  Lv2TestHost reference(world(), kOutputRate);
  chooseSet(reference, kDemoKit);
  hit(reference, kSnare);
  for (const Hostile& message : hostileMessages()) {
    SCOPED_TRACE(message.name);
    auto survives = [&]() -> std::string {
      alarm(60);
      Lv2TestHost host(world(), kOutputRate);
      chooseSet(host, kDemoKit);
      host.midi(0, kNoteOn, kSnare, 100);
      host.rawEvents(message.events.bytes());
      host.run(4096);
      const std::size_t logged = host.logged().size();
      host.doWork();
      host.run(64);
      host.getDrumSet();
      host.run(64);
      if (host.left.size() < 4096 || !std::equal(reference.left.begin(), reference.left.end(), host.left.begin())) {
        return "the snare did not sound as it should";
      }
      const std::vector<std::string> announced(message.refused ? 3 : 2, kDemoKit);
      if (host.announced != announced) return "announced " + std::to_string(host.announced.size()) + " sets";
      if (!message.refused && host.logged().size() != logged) return "logged: " + host.logged().back();
      return {};
    };
    EXPECT_EXIT(
        {
          const std::string failure = survives();
          std::cerr << failure;
          _exit(failure.empty() ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
  }
}

// A host may leave any port unconnected: what would go to a missing output is not written, and
// the set plays on as if it were.
TEST(Lv2Plugin, UnconnectedPortsAreLeftAloneWhileTheSetPlaysOn) {
  Lv2TestHost full(world(), kOutputRate), partial(world(), kOutputRate);
  for (Lv2TestHost* host : {&full, &partial}) chooseSet(*host, kDemoKit);
  using test::Lv2Port;
  const std::vector<std::vector<Lv2Port>> unplugged = {
      {test::kLv2LeftPort}, {test::kLv2RightPort}, {test::kLv2LeftPort, test::kLv2RightPort}, {}};
  for (const auto& ports : unplugged) {
    for (Lv2TestHost* host : {&full, &partial}) {
      if (host == &partial) {
        for (Lv2Port port : {test::kLv2LeftPort, test::kLv2RightPort}) host->connect(port, true);
        for (Lv2Port port : ports) host->connect(port, false);
      }
      hit(*host, kCrash, 3000);
      host->run(5000);  // longer than the mixer's block
    }
  }
  // Nothing but the audio: no messages in or out, no channel.
  for (Lv2Port port : {test::kLv2ControlPort, test::kLv2NotifyPort, test::kLv2ChannelPort, test::kLv2LeftPort}) {
    partial.connect(port, false);
  }
  partial.run(256);
  full.run(256);
  const std::size_t block = 8000;
  for (std::size_t b = 0; b < 5; ++b) {
    const auto at = static_cast<std::ptrdiff_t>(b * block);
    const bool leftOn = b == 1 || b == 3, rightOn = b == 0 || b == 3 || b == 4;
    auto expect = [&](const std::vector<float>& heard, const std::vector<float>& played, bool connected) {
      const std::vector<float> h(heard.begin() + at, heard.begin() + std::min<std::ptrdiff_t>(at + block, heard.size()));
      std::vector<float> p(played.begin() + at, played.begin() + std::min<std::ptrdiff_t>(at + block, played.size()));
      if (!connected) std::fill(p.begin(), p.end(), 0.0f);
      EXPECT_EQ(h, p) << "block " << b;
    };
    expect(partial.left, full.left, leftOn);
    expect(partial.right, full.right, rightOn);
  }
  EXPECT_FALSE(silent(partial.right));
}

// A host that stops the plugin and starts it again hears silence, not the crash it left ringing.
TEST(Lv2Plugin, ActivatingAgainStartsSilent) {
  Lv2TestHost host(world(), kOutputRate);
  chooseSet(host, kDemoKit);
  hit(host, kCrash, 256);
  ASSERT_FALSE(silent(host.left));
  host.restart();
  host.left.clear();
  host.right.clear();
  host.run(4096);
  host.doWork();
  host.run(4096);
  EXPECT_TRUE(silent(host.left));
  EXPECT_TRUE(silent(host.right));
  host.left.clear();
  hit(host, kSnare);
  EXPECT_FALSE(silent(host.left));
}

// A worker ring that stays full: the newest choice waits and loads once there is room, and sets
// let go of wait for the worker however many there are; none is freed on the audio thread.
TEST(Lv2Plugin, AFullWorkerRingLosesNoChoiceAndFreesNothingOnTheAudioThread) {
  TempDir dir;
  const std::string first = copyDemoKit(dir / "first");
  const std::string newest = copyDemoKit(dir / "newest");
  Lv2TestHost host(world(), kOutputRate);
  host.workerFull = true;
  host.setDrumSet(first);
  host.run(64);
  host.setDrumSet(newest);
  host.run(64);
  host.run(64);
  host.workerFull = false;
  host.run(64);
  host.doWork();
  host.run(64);
  host.run(64);
  EXPECT_EQ(host.announced, std::vector<std::string>{newest});

  // Ten sets loaded at once; the nine that never play wait for the worker while its ring is full.
  for (int i = 0; i < 10; ++i) host.setDrumSet(i % 2 == 0 ? first : newest);
  host.run(64);
  host.doWork();
  host.workerFull = true;
  for (int i = 0; i < 4; ++i) host.run(64);
  host.workerFull = false;
  host.run(64);
  host.doWork();
  host.run(64);
  EXPECT_EQ(host.announced.back(), newest);
  host.left.clear();
  hit(host, kSnare);
  EXPECT_FALSE(silent(host.left));
}

// A saved session whose set is reached through a link.
struct SavedSession {
  std::string kit;      // the set, outside the session
  std::string session;  // the session's folder
};

SavedSession saveSessionWith(const std::string& kit, const std::string& session) {
  Lv2TestHost saver(world(), kOutputRate);
  chooseSet(saver, kit);
  EXPECT_TRUE(saver.saveState(session));
  return {kit, session};
}

// The set a restored session names is the one that plays, is announced and is saved again, even
// when a set chosen before the restore finishes loading after it, whichever way they cross.
TEST(Lv2Plugin, ARestoredSessionWinsOverASetStillLoading) {
  TempDir dir;
  const std::string restoredKit = copyDemoKit(dir / "restored");
  for (const char* layer : {"Kick Hard.wav", "Kick Medium.wav", "Kick Soft.wav"}) fs::remove(dir / "restored/" + layer);
  const SavedSession saved = saveSessionWith(restoredKit, dir / "session");
  const std::string chosen = copyDemoKit(dir / "chosen");
  for (const bool loadedFirst : {false, true}) {
    SCOPED_TRACE(loadedFirst ? "loaded before the restore" : "loaded after the restore");
    Lv2TestHost host(world(), kOutputRate);
    chooseSet(host, kDemoKit);
    host.setDrumSet(chosen);
    host.run(64);
    if (loadedFirst) host.doWork();
    ASSERT_TRUE(host.restoreState(saved.session));
    host.doWork();
    for (int i = 0; i < 3; ++i) host.run(64);
    host.doWork();
    host.getDrumSet();
    host.run(64);
    ASSERT_FALSE(host.announced.empty());
    EXPECT_EQ(fs::canonical(host.announced.back()), fs::canonical(restoredKit));
    host.left.clear();
    hit(host, kKick, 4096);
    EXPECT_TRUE(silent(host.left));
    const std::string resaved = dir / (loadedFirst ? "resaved-1" : "resaved-2");
    ASSERT_TRUE(host.saveState(resaved));
    EXPECT_EQ(fs::canonical(resaved + "/Demo.drums"), fs::canonical(restoredKit));
  }
}

// A session whose set cannot be opened still names it: the plugin plays nothing for it, says it
// is the set, and saves it again, so the session plays once the set is back.
TEST(Lv2Plugin, ASessionWhoseSetIsMissingKeepsItsSet) {
  TempDir dir;
  const SavedSession saved = saveSessionWith(copyDemoKit(dir / "kit"), dir / "session");
  fs::rename(dir / "kit", dir / "away");
  Lv2TestHost host(world(), kOutputRate);
  chooseSet(host, kDemoKit);
  ASSERT_TRUE(host.restoreState(saved.session));
  host.run(64);
  host.doWork();
  EXPECT_EQ(host.announced.back(), saved.session + "/Demo.drums");
  EXPECT_FALSE(host.logged().empty());
  host.left.clear();
  hit(host, kSnare);
  EXPECT_TRUE(silent(host.left));
  host.getDrumSet();
  host.run(64);
  EXPECT_EQ(host.announced.back(), saved.session + "/Demo.drums");
  // A choice that fails now changes nothing of that.
  chooseSet(host, dir / "missing.drums");
  EXPECT_EQ(host.announced.back(), saved.session + "/Demo.drums");
  ASSERT_TRUE(host.saveState(dir / "resaved"));

  fs::rename(dir / "away", dir / "kit");
  Lv2TestHost reopened(world(), kOutputRate);
  ASSERT_TRUE(reopened.restoreState(dir / "resaved"));
  reopened.run(64);
  ASSERT_EQ(reopened.announced.size(), 1u);
  EXPECT_EQ(fs::canonical(reopened.announced[0]), fs::canonical(saved.kit));
  hit(reopened, kSnare);
  EXPECT_FALSE(silent(reopened.left));
}

// Hosts restore state while run() plays (a preset loaded during playback): restore() must not
// touch what run() plays. A second thread restores over and over while notes keep coming.
TEST(Lv2Plugin, RestoringWhileRunPlaysIsSafe) {
  constexpr int kRestores = 300;
  TempDir dir;
  const SavedSession saved = saveSessionWith(copyDemoKit(dir / "kit"), dir / "session");
  Lv2TestHost host(world(), kOutputRate);
  chooseSet(host, kDemoKit);
  host.record = false;
  std::atomic<bool> done = false;
  int restored = 0;
  std::thread restorer([&] {
    for (int i = 0; i < kRestores; ++i) restored += host.restoreState(saved.session, false) ? 1 : 0;
    done = true;
  });
  for (uint8_t n = 0; !done; ++n) {
    for (uint32_t f = 0; f < 64; f += 4) host.midi(f, kNoteOn, static_cast<uint8_t>(kKick + (n + f) % 24), 100);
    host.run(64);
    if (n % 8 == 0) host.doWork();
  }
  restorer.join();
  EXPECT_EQ(restored, kRestores);
  host.run(64);
  host.doWork();
  host.run(64);
  EXPECT_EQ(host.announced.back(), saved.session + "/Demo.drums");
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
