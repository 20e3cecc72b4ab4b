// End to end through a real sound server: `zumbel play` on a private PulseAudio daemon, once
// through its PulseAudio output and once through its ALSA output (ALSA's default device, which
// the pulse plugin sends to the same daemon), playing a generated song in with --song. The
// daemon's null sink is recorded from its monitor, and every note must be heard at its place in
// the song and at the level the volume law gives it: the same as the same kit and song rendered
// offline, hit for hit.

#include <algorithm>
#include <cmath>
#include <iostream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "DrumEngine.h"
#include "KitbeatDoc.h"
#include "Limits.h"
#include "MidiFile.h"
#include "NoteTriggerEngine.h"
#include "OfflineRenderer.h"
#include "PulseTestServer.h"
#include "ToneTakes.h"
#include "TestSupport.h"
#include "HeadlessKit.h"

namespace zumbel {
namespace {

using namespace std::chrono_literals;
using test::Hit;
using test::PulseTestServer;

constexpr int kRate = PulseTestServer::kRate;
// The song: one note every 300 ms, velocities chosen to fall on different volumes.
constexpr unsigned kSpacingMs = 300;
const std::vector<int> kVelocities = {127, 100, 64, 30, 127, 90, 10, 127};
// Both paths carry float samples at the sink's own rate and at unit volume, with no resampling,
// so a hit should arrive as rendered; 16-bit conversion anywhere on the way would already keep
// the level within 0.001 dB at these heights. 0.1 dB still fails a wrong volume law (the nearest
// velocities here differ by 1.1 dB) or a lost part of a hit.
constexpr double kLevelToleranceDb = 0.1;

double dB(double ratio) { return 20.0 * std::log10(ratio); }

std::string onsets(const std::vector<Hit>& hits) {
  std::ostringstream s;
  for (const Hit& h : hits) s << h.onset << " (peak " << h.peak << ") ";
  return s.str();
}

class PulseE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = std::make_unique<PulseTestServer>(dir_ / "pulse");
    std::filesystem::create_directories(dir_ / "pulse");
    std::string error;
    // Not a skip: scripts/install-deps installs PulseAudio, so a missing daemon is a broken setup.
    ASSERT_TRUE(server_->start(error)) << error;
    ASSERT_NO_FATAL_FAILURE(writeKitAndSong());
  }

  void TearDown() override {
    server_.reset();
    if (HasFailure()) {
      std::cout << "--- pulseaudio log:\n" << test::readText(dir_ / "pulse/pulseaudio.log") << "--- zumbel output:\n"
                << test::readText(dir_ / "play.out") << test::readText(dir_ / "play.err");
    }
  }

  void writeKitAndSong() {
    kit_ = test::writeToneKit(dir_.path());
    ASSERT_FALSE(kit_.empty());
    song_ = dir_ / "song.mid";
    test::writeBytes(song_, test::toneSong(kVelocities, kSpacingMs));
  }

  // Runs zumbel with the server's client environment; its output goes to NAME.out and NAME.err.
  std::optional<test::ChildExit> runZumbel(const std::vector<std::string>& args, const std::string& name,
                                           test::ChildProcess& child, std::chrono::milliseconds wait) {
    test::ChildProcess::Options options;
    options.argv = {ZUMBEL_BINARY};
    options.argv.insert(options.argv.end(), args.begin(), args.end());
    options.setEnv = server_->clientEnvironment();
    options.stdoutPath = dir_ / (name + ".out");
    options.stderrPath = dir_ / (name + ".err");
    std::string error;
    EXPECT_TRUE(child.start(options, error)) << error;
    return child.wait(wait);
  }

  // The kit and song rendered offline, as the hits the program must play.
  std::vector<Hit> offlineHits() {
    CKitbeatDoc doc;
    EXPECT_TRUE(doc.OnOpenDocument(kit_).ok());
    DrumEngine engine(doc, kRate);
    std::ostringstream messages;
    StreamPrompts prompts(messages);
    loadVoicesHeadless(doc, engine, prompts, messages);
    const MidiFileResult song = loadMidiFile(song_);
    EXPECT_TRUE(song.ok());
    std::vector<float> left, right;
    RenderOptions options;
    options.sink = [&](const float* l, const float* r, int n) {
      left.insert(left.end(), l, l + n);
      right.insert(right.end(), r, r + n);
      return true;
    };
    renderSong(engine, song.song, options);
    return test::findHits(left, right);
  }

  struct Take {
    std::vector<Hit> hits;
    double printedMs = -1;
    double bufferMs = -1, sinkMs = -1;  // as the server measured the stream while it played
  };

  // Plays the song through `audio` at `period` frames while the sink's monitor is recorded.
  Take playSong(const std::string& audio, int period) {
    Take take;
    test::PulseRecorder recorder(*server_, dir_ / "take.raw");
    std::string error;
    EXPECT_TRUE(recorder.start(error)) << error;
    test::ChildProcess play;
    const std::vector<std::string> args = {"play", kit_, "--audio", audio, "--period", std::to_string(period), "--song", song_};
    // While the song plays, the server's own measure of the stream's latency.
    std::optional<test::ChildExit> exit = runZumbel(args, "play", play, 1500ms);
    if (!exit) {
      if (const auto measured = test::serverLatency(*server_, dir_ / "inputs.txt")) {
        take.bufferMs = measured->bufferMs;
        take.sinkMs = measured->sinkMs;
      }
    }
    if (!exit) exit = play.wait(30s);
    EXPECT_TRUE(exit.has_value()) << "zumbel play did not end after its song";
    if (!exit) play.stop(5s);
    EXPECT_TRUE(exit && exit->exited && exit->status == 0) << test::readText(dir_ / "play.err");
    std::this_thread::sleep_for(200ms);  // the recorder's last fragment
    const test::PulseTake recorded = recorder.stop();
    take.hits = test::findHits(recorded.left, recorded.right);
    const std::string out = test::readText(dir_ / "play.out");
    take.printedMs = test::printedLatencyMs(out).value_or(-1.0);
    // One whole line, as the program wrote it: the audio thread must not write into the
    // terminal (it once tore this line or printed it twice).
    const std::string audioLine = "Audio: " + audio + " at 44100 Hz, " + std::to_string(period) + " frames per period";
    EXPECT_EQ(out.find(audioLine), 0u) << out;
    EXPECT_EQ(out.find("\nAudio: "), std::string::npos) << out;
    const std::string firstLine = out.substr(0, out.find('\n'));
    EXPECT_TRUE(firstLine.ends_with(" ms") && out.compare(firstLine.size(), 6, "\nKit: ") == 0) << out;
    EXPECT_EQ(test::readText(dir_ / "play.err").find("RtAudio"), std::string::npos) << test::readText(dir_ / "play.err");
    std::cout << "[ " << audio << ", period " << period << " ] zumbel play says latency " << take.printedMs
              << " ms; the server measured " << take.bufferMs << " ms in the stream's buffer and " << take.sinkMs
              << " ms in the sink\n";
    return take;
  }

  // What is wrong with a take: every note heard once, at the song's spacing, at the offline
  // render's level, and the volumes between hits as the law gives them. Empty when nothing is.
  std::string songProblems(const Take& take, const std::vector<Hit>& golden) {
    std::ostringstream problems;
    if (take.hits.size() != kVelocities.size()) {
      problems << take.hits.size() << " hits heard, at frames " << onsets(take.hits) << '\n';
      return problems.str();
    }
    double worstSpacing = 0, worstLevel = 0;
    for (std::size_t i = 0; i < take.hits.size(); ++i) {
      const double levelDb = dB(take.hits[i].peak / golden[i].peak);
      const double rmsDb = dB(take.hits[i].rms / golden[i].rms);
      // The law itself: a hit's level against the first (velocity 127), from the volumes.
      const double law = (NoteTriggerEngine::hitVolume(kDefaultCompress, kDefaultChannelVolume, kVelocities[i]) -
                          NoteTriggerEngine::hitVolume(kDefaultCompress, kDefaultChannelVolume, kVelocities[0])) /
                         100.0;
      const double lawDb = dB(take.hits[i].peak / take.hits[0].peak) - law;
      for (const double off : {levelDb, rmsDb, lawDb}) {
        if (std::fabs(off) > kLevelToleranceDb) {
          problems << "hit " << i << " (velocity " << kVelocities[i] << "): peak " << levelDb << " dB, RMS " << rmsDb
                   << " dB off the offline render, " << lawDb << " dB off the law against hit 0\n";
          break;
        }
      }
      worstLevel = std::max({worstLevel, std::fabs(levelDb), std::fabs(rmsDb)});
      if (i == 0) continue;
      const double heard = static_cast<double>(take.hits[i].onset - take.hits[i - 1].onset);
      const double rendered = static_cast<double>(golden[i].onset - golden[i - 1].onset);
      worstSpacing = std::max(worstSpacing, std::fabs(heard - rendered));
    }
    // A note is placed by its stamp on a timeline fitted to the times the backend asks for
    // periods. PulseAudio (directly or behind ALSA) asks for them in bursts as its timers fire,
    // so that fit wanders by some milliseconds, and by design never by more than the stream's
    // buffer (beyond that the timeline starts afresh). Beyond the buffer is a fault: a note
    // dropped or doubled, a lost stamp, a timeline restarted mid-song.
    if (worstSpacing > take.printedMs * kRate / 1000) problems << "spacing off by " << worstSpacing << " frames\n";
    std::cout << "[ heard ] " << take.hits.size() << " hits; spacing off by " << worstSpacing
              << " frames at most, level off by " << worstLevel << " dB at most\n";
    return problems.str();
  }

  // The program must not claim less latency than the stream's buffer alone holds.
  static void expectHonestLatency(const Take& take) {
    ASSERT_GT(take.printedMs, 0.0);
    EXPECT_GE(take.bufferMs, 0.0) << "the server gave no latency for the stream";
    EXPECT_GE(take.printedMs + 0.5, take.bufferMs);
  }

  test::TempDir dir_;
  std::unique_ptr<PulseTestServer> server_;
  std::string kit_, song_;
};

TEST_F(PulseE2E, DevicesListsTheDaemonsSinkAndAlsasDefault) {
  test::ChildProcess devices;
  const std::optional<test::ChildExit> exit = runZumbel({"devices"}, "devices", devices, 30s);
  ASSERT_TRUE(exit && exit->exited && exit->status == 0) << test::readText(dir_ / "devices.err");
  const std::string list = test::readText(dir_ / "devices.out");
  EXPECT_NE(list.find("  PulseAudio: " + std::string(PulseTestServer::kSinkDescription) + "\n"), std::string::npos) << list;
  EXPECT_NE(list.find("  ALSA: default\n"), std::string::npos) << list;
  // The sink's monitor is an input, not an output.
  EXPECT_EQ(list.find("Monitor of"), std::string::npos) << list;
}

class PulseE2EOutputs : public PulseE2E, public ::testing::WithParamInterface<const char*> {};

// A server that goes away under the program ends it with a message and status 2, not a hang or a
// crash, on either output.
TEST_P(PulseE2EOutputs, PlayEndsWhenTheServerGoesAway) {
  const std::string audio = std::string(GetParam()) == "pulse"
                                ? "PulseAudio: " + std::string(PulseTestServer::kSinkDescription)
                                : std::string("ALSA: default");
  test::ChildProcess play;
  ASSERT_FALSE(runZumbel({"play", kit_, "--audio", audio}, "play", play, 0ms).has_value());
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (test::readText(dir_ / "play.out").find("\nChannel: ") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline && play.running()) {
    std::this_thread::sleep_for(10ms);
  }
  ASSERT_NE(test::readText(dir_ / "play.out").find("\nChannel: "), std::string::npos) << test::readText(dir_ / "play.err");
  server_->stop();
  const std::optional<test::ChildExit> exit = play.wait(15s);
  ASSERT_TRUE(exit.has_value()) << "still running without its server";
  EXPECT_TRUE(exit->exited) << "ended by signal " << exit->signal;
  EXPECT_EQ(exit->status, 2);
  EXPECT_NE(test::readText(dir_ / "play.err").find("the audio device went away"), std::string::npos)
      << test::readText(dir_ / "play.err");
}

INSTANTIATE_TEST_SUITE_P(Outputs, PulseE2EOutputs, ::testing::Values("pulse", "alsa"),
                         [](const ::testing::TestParamInfo<const char*>& p) { return std::string(p.param); });

class PulseE2EPeriods : public PulseE2E, public ::testing::WithParamInterface<std::tuple<const char*, int>> {};

TEST_P(PulseE2EPeriods, PlaysTheSongInAtTheRightTimesAndLevels) {
  const auto [api, period] = GetParam();
  const std::string audio = std::string(api) == "pulse" ? "PulseAudio: " + std::string(PulseTestServer::kSinkDescription)
                                                        : std::string("ALSA: default");
  const std::vector<Hit> golden = offlineHits();
  ASSERT_EQ(golden.size(), kVelocities.size()) << "the offline render";
  // A busy machine can delay the server or the program until the stream runs dry, and the server
  // then fills a gap with silence in the middle of a hit. That damages one take; a fault in the
  // program damages every one. So a take is tried up to three times, each damaged one printed.
  constexpr int kTakes = 3;
  std::string problems;
  for (int attempt = 1; attempt <= kTakes; ++attempt) {
    const Take take = playSong(audio, period);
    ASSERT_FALSE(HasFailure());
    expectHonestLatency(take);
    problems = songProblems(take, golden);
    if (problems.empty()) break;
    std::cout << "[ damaged take " << attempt << " of " << kTakes << " ]\n" << problems;
  }
  EXPECT_EQ(problems, "");
}

INSTANTIATE_TEST_SUITE_P(Outputs, PulseE2EPeriods,
                         ::testing::Combine(::testing::Values("pulse", "alsa"), ::testing::Values(256, 128)),
                         [](const ::testing::TestParamInfo<PulseE2EPeriods::ParamType>& p) {
                           return std::string(std::get<0>(p.param)) + "_" + std::to_string(std::get<1>(p.param));
                         });

}  // namespace
}  // namespace zumbel
