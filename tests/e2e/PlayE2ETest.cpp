// End to end through JACK: `zumbel play` run as a user runs it, on a private JACK server, fed MIDI
// at exact frames by the rig and recorded frame by frame. A stand-in client first proves the
// rig's own frame arithmetic, so a failure further down is the program's.

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>
#include <thread>

#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "HeadlessKit.h"
#include "DrumEngine.h"
#include "DrumsFile.h"
#include "ExtrasFile.h"
#include "EngineConfig.h"
#include "JackAudioBackend.h"
#include "JackRig.h"
#include "JackTestServer.h"
#include "Lv2TestHost.h"
#include "KitbeatDoc.h"
#include "LiveCycle.h"
#include "MidiFile.h"
#include "OfflineRenderer.h"
#include "ShortMessage.h"
#include "TestSupport.h"
#include "ToneTakes.h"

namespace zumbel {
namespace {

using namespace std::chrono_literals;
using test::JackRig;
using test::JackTestServer;
using test::Recording;
using test::ScheduledMessage;

const std::string kDemoKit = std::string(ZUMBEL_SOURCE_DIR) + "/resources/demo/Demo.drums";
constexpr int kRate = JackTestServer::kRate;
constexpr auto kPortTimeout = 10s;
// Notes start this long after the recording does, so the first cycles are surely silent.
constexpr jack_nframes_t kLeadFrames = kRate / 4;
// Searched before each note's frame for silence, and how far after it for its onset.
constexpr jack_nframes_t kOnsetMargin = 16;
constexpr jack_nframes_t kOnsetSearch = kRate / 10;
// Silence in JACK's float buffers is exactly zero; anything above this is sound.
constexpr float kOnsetThreshold = 1e-7f;
// JACK hands float buffers through untouched, so live and offline output should be equal to
// float rounding at most.
constexpr float kGoldenTolerance = 1e-6f;
// A take has stalled (and fails) when no frame came for this long.
constexpr auto kStall = 10s;

// General MIDI drum notes of the demo kit.
constexpr int kKick = 36, kSideStick = 37, kSnare = 38, kClosedHat = 42, kPedalHat = 44, kLowTom = 45,
              kOpenHat = 46, kMidTom = 47, kHighTom = 50;

std::string port(const char* name) { return std::string(kClientName) + ":" + name; }

#define REQUIRE_JACKD()                                                                       \
  if (JackTestServer::jackdPath().empty()) GTEST_SKIP() << "jackd is not installed (Debian: jackd2)"

struct Stereo {
  std::vector<float> left, right;
};

// The demo kit rendered offline with every message at `frame - origin`: what the program must
// play, `frames` long, or until every sound has ended when `frames` is 0. A fresh engine each
// time, so no voice of an earlier render rings into this one.
Stereo renderOffline(const std::vector<ScheduledMessage>& schedule, jack_nframes_t origin, std::size_t frames,
                     const std::string& kit = kDemoKit) {
  CKitbeatDoc doc;
  EXPECT_TRUE(doc.OnOpenDocument(kit).ok());
  DrumEngine engine(doc, kRate);
  std::ostringstream messages;
  StreamPrompts prompts(messages);
  const HeadlessLoad load = loadVoicesHeadless(doc, engine, prompts, messages);
  EXPECT_EQ(load.missing + load.unreadable, 0) << messages.str();

  MidiSong song;
  song.trackCount = 1;
  song.ticksPerQuarter = 1;
  song.timeUnitsPerSecond = kRate;  // one time unit is one frame
  for (const ScheduledMessage& m : schedule) {
    MidiFileEvent e;
    e.time = e.tick = m.frame - origin;
    e.message = packShortMessage(m.bytes[0], m.bytes[1], m.bytes[2]);
    song.events.push_back(e);
  }
  song.endTime = song.endTick = song.events.empty() ? 0 : song.events.back().time;

  Stereo out;
  RenderOptions options;
  options.tailSeconds = frames > 0 ? static_cast<double>(frames) / kRate : -1.0;
  options.sink = [&](const float* l, const float* r, int n) {
    out.left.insert(out.left.end(), l, l + n);
    out.right.insert(out.right.end(), r, r + n);
    return true;
  };
  renderSong(engine, song, options);
  if (frames > 0) {
    out.left.resize(frames, 0.0f);
    out.right.resize(frames, 0.0f);
  }
  return out;
}

// Frames from a note's first frame until its sound has ended, at this velocity.
jack_nframes_t ringFrames(int note, int velocity) {
  const Stereo s = renderOffline({test::noteOn(0, note, velocity)}, 0, 0);
  std::size_t last = 0;
  for (std::size_t i = 0; i < s.left.size(); ++i) {
    if (s.left[i] != 0.0f || s.right[i] != 0.0f) last = i + 1;
  }
  return static_cast<jack_nframes_t>(last);
}

// Note-ons one after another, each only once the sounds before it have died away, plus a
// pseudo-random offset so the notes fall anywhere inside a period.
std::vector<ScheduledMessage> spacedNotes(const std::vector<std::pair<int, int>>& notes, int period, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<jack_nframes_t> offset(0, static_cast<jack_nframes_t>(2 * period));
  std::vector<ScheduledMessage> schedule;
  jack_nframes_t at = 0;
  for (const auto& [note, velocity] : notes) {
    schedule.push_back(test::noteOn(at, note, velocity));
    at += ringFrames(note, velocity) + kRate / 50 + offset(rng);
  }
  return schedule;
}

float peak(const std::vector<float>& v, std::size_t from, std::size_t frames) {
  float p = 0.0f;
  for (std::size_t i = from; i < from + frames && i < v.size(); ++i) p = std::max(p, std::fabs(v[i]));
  return p;
}

// The line of `zumbel play`'s output that starts with `start`; empty when there is none.
std::string lineStarting(const std::string& out, const std::string& start) {
  const std::size_t at = out.find("\n" + start);
  return at == std::string::npos ? std::string() : out.substr(at + 1, out.find('\n', at + 1) - at - 1);
}

// The number in `line` just before `words`.
double numberBefore(const std::string& line, const std::string& words) {
  const std::size_t at = line.find(words);
  EXPECT_NE(at, std::string::npos) << line;
  if (at == std::string::npos) return 0.0;
  return std::stod(line.substr(line.rfind(' ', at - 1) + 1));
}

double energy(const Recording& r, std::size_t from, std::size_t frames) {
  double e = 0.0;
  for (std::size_t i = from; i < from + frames && i < r.frames(); ++i) {
    e += static_cast<double>(r.left[i]) * r.left[i] + static_cast<double>(r.right[i]) * r.right[i];
  }
  return e;
}

// A private server, the rig on it, and the program under test (or a stand-in) in between.
class JackE2E : public ::testing::Test {
 protected:
  void TearDown() override {
    if (play_.running()) play_.stop(5s);
    rig_.reset();
    server_.reset();
    if (HasFailure()) {
      std::cout << "--- jackd log:\n" << test::readText(dir_ / "jackd.log") << "--- zumbel play output:\n"
                << test::readText(dir_ / "play.out") << test::readText(dir_ / "play.err");
    }
  }

  void startServer(int period, std::size_t recordSeconds) {
    server_ = std::make_unique<JackTestServer>(period, dir_ / "jackd.log");
    std::string error;
    ASSERT_TRUE(server_->start(error)) << error;
    rig_ = std::make_unique<JackRig>(server_->name(), recordSeconds * kRate);
    ASSERT_TRUE(rig_->open(error)) << error;
    ASSERT_EQ(rig_->sampleRate(), kRate);
    ASSERT_EQ(rig_->periodFrames(), period);
  }

  std::vector<std::pair<std::string, std::string>> serverEnvironment() const {
    return {{"JACK_DEFAULT_SERVER", server_->name()}, {"JACK_NO_START_SERVER", "1"}};
  }

  // Starts `zumbel play` on the demo kit and connects the rig once its ports exist and it says
  // its MIDI input is open (the ports are registered before the kit is loaded and the input
  // listens).
  // `connect` false leaves the wiring to the test.
  void startPlay(const std::vector<std::string>& extraArgs = {}, bool connect = true) {
    test::ChildProcess::Options options;
    options.argv = {ZUMBEL_BINARY, "play", kit_};
    options.argv.insert(options.argv.end(), extraArgs.begin(), extraArgs.end());
    options.setEnv = serverEnvironment();
    options.stdoutPath = dir_ / "play.out";
    options.stderrPath = dir_ / "play.err";
    std::string error;
    ASSERT_TRUE(play_.start(options, error)) << error;
    const bool ports = rig_->waitForPorts({port(kJackMidiPort), port(kJackLeftPort), port(kJackRightPort)}, kPortTimeout);
    ASSERT_TRUE(ports) << "no Zumbel ports; stderr:\n" << test::readText(dir_ / "play.err");
    const auto deadline = std::chrono::steady_clock::now() + kPortTimeout;
    while (playOutput().find("\nMIDI: ") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      ASSERT_TRUE(play_.running()) << test::readText(dir_ / "play.err");
      std::this_thread::sleep_for(10ms);
    }
    ASSERT_NE(playOutput().find("\nMIDI: "), std::string::npos) << playOutput() << test::readText(dir_ / "play.err");
    if (connect) connectRig();
  }

  void connectRig() {
    std::string error;
    ASSERT_TRUE(rig_->connect(port(kJackMidiPort), port(kJackLeftPort), port(kJackRightPort), error)) << error;
  }

  // Stops the program as a user would and expects a clean exit.
  void stopPlay() {
    const test::ChildExit exit = play_.stop(10s);
    EXPECT_TRUE(exit.exited) << "ended by signal " << exit.signal;
    EXPECT_EQ(exit.status, 0) << test::readText(dir_ / "play.err");
  }

  std::string playOutput() const { return "\n" + test::readText(dir_ / "play.out"); }

  // Plays `schedule` (frames counted from 0, starting kLeadFrames into the recording) into the
  // program and records until `tailFrames` after the last message; `sent` receives the messages at
  // their absolute frames. With `freewheel` the server runs the take with no deadline, so no
  // period is skipped or late whatever the machine is doing, and the take must be exact.
  // Without it the take runs against the clock, and what the server skipped is only reported.
  Recording sendAndRecord(const std::vector<ScheduledMessage>& schedule, jack_nframes_t tailFrames,
                          std::vector<ScheduledMessage>& sent, bool freewheel = true) {
    if (freewheel) {
      EXPECT_TRUE(rig_->setFreewheel(true)) << "the server would not freewheel";
    }
    Recording r = recordTake(schedule, tailFrames, sent);
    if (freewheel) {
      EXPECT_TRUE(rig_->setFreewheel(false));
      EXPECT_EQ(rig_->recordGaps(), 0u);
      EXPECT_EQ(rig_->lateMessages(), 0u);
    } else {
      std::cout << "[ clock ] the server skipped periods " << rig_->recordGaps() << " times; "
                << rig_->lateMessages() << " messages went out late\n";
    }
    EXPECT_EQ(rig_->droppedMessages(), 0u);
    return r;
  }

  Recording recordTake(const std::vector<ScheduledMessage>& schedule, jack_nframes_t tailFrames,
                       std::vector<ScheduledMessage>& sent) {
    const std::optional<JackRig::TakeStart> start = rig_->startTake(schedule, kLeadFrames);
    EXPECT_TRUE(start.has_value()) << "the rig's clients never ran";
    if (!start) return {};
    sent = schedule;
    for (ScheduledMessage& m : sent) m.frame += start->origin;
    const std::size_t wanted = sent.back().frame + tailFrames - start->firstFrame;
    EXPECT_TRUE(rig_->waitRecorded(wanted, kStall)) << rig_->recordedFrames() << " of " << wanted << " frames";
    // A sender that missed the cycle of the last message (an xrun) sends it one cycle later,
    // possibly after the recorder, padding the missed cycle, already has every frame.
    EXPECT_TRUE(rig_->waitSendDone(kStall));
    Recording r = rig_->stopRecording();
    EXPECT_GE(r.frames(), wanted) << "the recording buffer is too small";
    r.left.resize(wanted);
    r.right.resize(wanted);
    return r;
  }

  // The latency of every note-on in `schedule` that starts from silence; they must all be equal.
  int64_t constantLatency(const Recording& r, const std::vector<ScheduledMessage>& schedule) {
    std::optional<int64_t> latency;
    int measured = 0;
    for (const ScheduledMessage& m : schedule) {
      const std::optional<jack_nframes_t> onset = test::findOnset(r, m.frame, kOnsetMargin, kOnsetSearch, kOnsetThreshold);
      EXPECT_TRUE(onset.has_value()) << "no onset after silence for note " << int{m.bytes[1]} << " velocity "
                                     << int{m.bytes[2]} << " at frame " << m.frame - r.firstFrame;
      if (!onset) continue;
      ++measured;
      const int64_t l = static_cast<int32_t>(*onset - m.frame);
      if (!latency) latency = l;
      EXPECT_EQ(l, *latency) << "note " << int{m.bytes[1]} << " at frame " << m.frame - r.firstFrame;
    }
    EXPECT_EQ(measured, static_cast<int>(schedule.size()));
    return latency.value_or(0);
  }

  // The recording, moved back by `latency`, against the offline render of the same messages.
  void expectMatchesOfflineRender(const Recording& r, const std::vector<ScheduledMessage>& schedule, int64_t latency,
                                  const std::string& kit = kDemoKit) {
    const Stereo golden = renderOffline(schedule, r.firstFrame - static_cast<jack_nframes_t>(latency), r.frames(), kit);
    float worst = 0.0f;
    std::size_t worstAt = 0;
    for (std::size_t i = 0; i < r.frames(); ++i) {
      const float d = std::max(std::fabs(r.left[i] - golden.left[i]), std::fabs(r.right[i] - golden.right[i]));
      if (d > worst) {
        worst = d;
        worstAt = i;
      }
    }
    EXPECT_LE(worst, kGoldenTolerance) << "at recorded frame " << worstAt << ": " << r.left[worstAt] << " vs "
                                       << golden.left[worstAt];
    std::cout << "[ live vs offline ] largest difference " << worst << " over " << r.frames() << " frames\n";
  }

  test::TempDir dir_;
  std::string kit_ = kDemoKit;  // the set startPlay plays
  std::unique_ptr<JackTestServer> server_;
  std::unique_ptr<JackRig> rig_;
  test::ChildProcess play_;
};

// A stand-in for the program with the same client and port names: each note-on becomes one
// impulse at the event's frame, velocity / 127 on the left and note / 127 on the right.
class ImpulseClient {
 public:
  bool open(const std::string& server) {
    client_ = jack_client_open(kClientName, static_cast<jack_options_t>(JackNoStartServer | JackServerName | JackUseExactName),
                               nullptr, server.c_str());
    if (!client_) return false;
    midi_ = jack_port_register(client_, kJackMidiPort, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    left_ = jack_port_register(client_, kJackLeftPort, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    right_ = jack_port_register(client_, kJackRightPort, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    return midi_ && left_ && right_ && jack_set_process_callback(client_, &ImpulseClient::process, this) == 0 &&
           jack_activate(client_) == 0;
  }
  ~ImpulseClient() {
    if (client_) jack_client_close(client_);
  }

 private:
  static int process(jack_nframes_t frames, void* arg) {
    auto* self = static_cast<ImpulseClient*>(arg);
    auto* left = static_cast<float*>(jack_port_get_buffer(self->left_, frames));
    auto* right = static_cast<float*>(jack_port_get_buffer(self->right_, frames));
    std::fill_n(left, frames, 0.0f);
    std::fill_n(right, frames, 0.0f);
    void* midi = jack_port_get_buffer(self->midi_, frames);
    for (uint32_t i = 0; i < jack_midi_get_event_count(midi); ++i) {
      jack_midi_event_t e;
      if (jack_midi_event_get(&e, midi, i) != 0 || e.size != 3 || (e.buffer[0] & 0xF0) != 0x90 || e.buffer[2] == 0) continue;
      left[e.time] = e.buffer[2] / 127.0f;
      right[e.time] = e.buffer[1] / 127.0f;
    }
    return 0;
  }

  jack_client_t* client_ = nullptr;
  jack_port_t* midi_ = nullptr;
  jack_port_t* left_ = nullptr;
  jack_port_t* right_ = nullptr;
};

class RigSelfCheck : public JackE2E, public ::testing::WithParamInterface<int> {};

// Messages on the first and last frame of a period, several in one period, and at random
// offsets come back as impulses at exactly their frames: latency 0 through a client that answers
// in the same cycle, and nothing anywhere else.
TEST_P(RigSelfCheck, ImpulsesComeBackAtTheirFrames) {
  REQUIRE_JACKD();
  const int period = GetParam();
  ASSERT_NO_FATAL_FAILURE(startServer(period, 4));
  ImpulseClient standIn;
  ASSERT_TRUE(standIn.open(server_->name()));
  ASSERT_NO_FATAL_FAILURE(connectRig());

  std::mt19937 rng(7);
  std::vector<ScheduledMessage> notes;
  for (int k = 0; k < 120; ++k) {
    const auto cycle = static_cast<jack_nframes_t>(3 * k * period);
    const std::vector<jack_nframes_t> offsets = {0, static_cast<jack_nframes_t>(period - 1),
                                                 static_cast<jack_nframes_t>(period + rng() % period),
                                                 static_cast<jack_nframes_t>(period + period / 2 + rng() % (period / 2))};
    for (jack_nframes_t at : offsets) {
      notes.push_back(test::noteOn(cycle + at, 1 + static_cast<int>(rng() % 127), 1 + static_cast<int>(rng() % 127)));
    }
  }
  std::sort(notes.begin(), notes.end(), [](const auto& a, const auto& b) { return a.frame < b.frame; });
  notes.erase(std::unique(notes.begin(), notes.end(), [](const auto& a, const auto& b) { return a.frame == b.frame; }), notes.end());
  std::vector<ScheduledMessage> schedule;
  const Recording r = sendAndRecord(notes, static_cast<jack_nframes_t>(period), schedule);
  ASSERT_FALSE(HasFailure());

  std::vector<float> left(r.frames()), right(r.frames());
  for (const ScheduledMessage& m : schedule) {
    ASSERT_TRUE(r.holds(m.frame));
    left[r.indexOf(m.frame)] = m.bytes[2] / 127.0f;
    right[r.indexOf(m.frame)] = m.bytes[1] / 127.0f;
  }
  EXPECT_EQ(r.left, left);
  EXPECT_EQ(r.right, right);
  // Onset detection on the same recording finds each impulse that follows a silent frame at its
  // own frame.
  for (std::size_t i = 1; i < schedule.size(); ++i) {
    if (schedule[i].frame - schedule[i - 1].frame < 2) continue;
    const auto onset = test::findOnset(r, schedule[i].frame, 1, 1, kOnsetThreshold);
    ASSERT_TRUE(onset.has_value()) << i;
    EXPECT_EQ(*onset, schedule[i].frame);
  }
  EXPECT_FALSE(test::findOnset(r, schedule[0].frame + 1, 1, 10, kOnsetThreshold).has_value())
      << "a sound already playing at the first searched frame is no onset";
}

INSTANTIATE_TEST_SUITE_P(Periods, RigSelfCheck, ::testing::Values(64, 256));

// Fifty notes on several sounds and every velocity band: each is heard exactly L frames after
// it was sent, the same L for all, and the whole recording is what an offline render of the
// same notes gives.
TEST_F(JackE2E, PlayHearsEveryNoteAtOneConstantLatency) {
  REQUIRE_JACKD();
  constexpr int kPeriod = 256;
  const std::vector<int> sounds = {kClosedHat, kPedalHat, kSideStick, kSnare, kKick, kHighTom, kClosedHat, kMidTom, kLowTom, kSnare};
  const std::vector<int> velocities = {127, 20, 100, 60, 115, 35, 90, 10, 121};
  std::vector<std::pair<int, int>> notes;
  for (std::size_t i = 0; i < 50; ++i) notes.emplace_back(sounds[i % sounds.size()], velocities[i % velocities.size()]);
  const std::vector<ScheduledMessage> spaced = spacedNotes(notes, kPeriod, 11);
  const std::size_t seconds = (spaced.back().frame + 2 * kRate) / kRate + 2;

  ASSERT_NO_FATAL_FAILURE(startServer(kPeriod, seconds));
  ASSERT_NO_FATAL_FAILURE(startPlay());
  std::vector<ScheduledMessage> schedule;
  const Recording r = sendAndRecord(spaced, kRate, schedule);
  ASSERT_FALSE(HasFailure());

  const int64_t latency = constantLatency(r, schedule);
  std::cout << "[ latency ] " << latency << " frames at " << kPeriod << " frames per period\n";
  EXPECT_GE(latency, 0);
  EXPECT_LE(latency, 2 * kPeriod);
  expectMatchesOfflineRender(r, schedule, latency);

  stopPlay();
  const std::string out = playOutput();
  EXPECT_NE(out.find("\nAudio: "), std::string::npos) << out;
  EXPECT_NE(out.find(" at 44100 Hz, " + std::to_string(kPeriod) + " frames per period, latency "), std::string::npos) << out;
}

// The velocity bands choose layers and the closed hat chokes the open one, heard live.
TEST_F(JackE2E, PlayChoosesLayersByVelocityAndCutsTheOpenHat) {
  REQUIRE_JACKD();
  constexpr int kPeriod = 128;
  const jack_nframes_t cutAfter = kRate * 3 / 10;
  const jack_nframes_t openRing = ringFrames(kOpenHat, 127);
  const jack_nframes_t closedRing = ringFrames(kClosedHat, 127);
  ASSERT_GT(openRing, cutAfter + closedRing + kRate / 10) << "the open hat must outlast the cut and the closed hat";

  // Hard snare, soft snare (a band of its own), an open hat left to ring, then one cut.
  std::vector<ScheduledMessage> notes;
  jack_nframes_t at = 0;
  const auto add = [&](int note, int velocity, jack_nframes_t gap) {
    notes.push_back(test::noteOn(at, note, velocity));
    at += gap;
  };
  add(kSnare, 127, ringFrames(kSnare, 127) + 1000);
  add(kSnare, 60, ringFrames(kSnare, 60) + 1000);
  add(kOpenHat, 127, openRing + 1000);
  add(kOpenHat, 127, cutAfter);
  add(kClosedHat, 127, 0);

  ASSERT_NO_FATAL_FAILURE(startServer(kPeriod, (at + openRing) / kRate + 3));
  ASSERT_NO_FATAL_FAILURE(startPlay());
  std::vector<ScheduledMessage> schedule;
  const Recording r = sendAndRecord(notes, openRing, schedule);
  ASSERT_FALSE(HasFailure());
  const ScheduledMessage hard = schedule[0], soft = schedule[1], ringing = schedule[2], cut = schedule[3], closed = schedule[4];
  const int64_t latency = constantLatency(r, {hard, soft, ringing, cut});
  EXPECT_GE(latency, 0);
  EXPECT_LE(latency, 2 * kPeriod);
  expectMatchesOfflineRender(r, schedule, latency);
  const auto heard = [&](const ScheduledMessage& m) { return r.indexOf(m.frame + static_cast<jack_nframes_t>(latency)); };

  // The soft band plays another sample, not the hard one turned down: far quieter, and shaped
  // differently once each is scaled to its own peak.
  constexpr std::size_t kWindow = 2000;
  const float hardPeak = peak(r.left, heard(hard), kWindow), softPeak = peak(r.left, heard(soft), kWindow);
  EXPECT_GT(hardPeak, 2.0f * softPeak);
  double correlation = 0, hardSquares = 0, softSquares = 0;
  for (std::size_t i = 0; i < kWindow; ++i) {
    const double h = r.left[heard(hard) + i], s = r.left[heard(soft) + i];
    correlation += h * s;
    hardSquares += h * h;
    softSquares += s * s;
  }
  EXPECT_LT(correlation / std::sqrt(hardSquares * softSquares), 0.9);

  // The uncut open hat still rings after the time the closed hat has ended; the cut one has gone
  // silent there. Within the fade after the cut only the closed hat is left: the recording equals
  // the closed hat rendered alone.
  const std::size_t after = cutAfter + closedRing + 100, span = kRate / 10;
  EXPECT_GT(energy(r, heard(ringing) + after, span), 1e-3);
  EXPECT_EQ(energy(r, heard(cut) + after, span), 0.0);
  const Stereo alone = renderOffline({test::noteOn(0, kClosedHat, 127)}, 0, closedRing);
  const auto fade = static_cast<std::size_t>(std::lround(kStopRampSeconds * kRate));
  for (std::size_t i = fade + 1; i < closedRing; ++i) {
    ASSERT_NEAR(r.left[heard(closed) + i], alone.left[i], kGoldenTolerance) << i << " frames after the cut";
    ASSERT_NEAR(r.right[heard(closed) + i], alone.right[i], kGoldenTolerance) << i << " frames after the cut";
  }
  stopPlay();
}

// A sound the set routes to output 2 plays on the client's second pair when `play` registers
// three, and on the first, as always, when it registers one. The recorder's left input hears the
// second pair's left side summed with both sides of the first: the routed take equals the other
// sample for sample only if the first pair stayed silent and the second carried the whole sound.
TEST_F(JackE2E, PlayRoutesASoundToItsOwnOutputPair) {
  REQUIRE_JACKD();
  kit_ = test::writeToneKit(dir_.path());
  ASSERT_FALSE(kit_.empty());
  std::ofstream(ExtrasPathFor(kit_)) << R"({"sounds":{"0":{"output":2}}})";  // counted from 1 there
  std::vector<ScheduledMessage> notes;
  for (int k = 0; k < 4; ++k) notes.push_back(test::noteOn(static_cast<jack_nframes_t>(k * kRate / 5), test::kToneNote, 127 - 30 * k));
  ASSERT_NO_FATAL_FAILURE(startServer(256, 3));

  const auto take = [&](const char* pairs, const std::vector<std::string>& intoLeft, const std::vector<std::string>& intoRight,
                        int64_t& latency) {
    startPlay({"--outputs", pairs}, false);
    if (HasFatalFailure()) return Recording{};
    std::string error;
    EXPECT_TRUE(rig_->connect(port(kJackMidiPort), intoLeft, intoRight, error)) << error;
    std::vector<ScheduledMessage> sent;
    Recording r = sendAndRecord(notes, static_cast<jack_nframes_t>(test::kToneFrames + 512), sent);
    latency = constantLatency(r, sent);
    EXPECT_EQ(rig_->waitForPorts({port("out2_left"), port("out3_right")}, 0ms), std::string(pairs) == "3") << pairs;
    EXPECT_FALSE(rig_->waitForPorts({port("out4_left")}, 0ms));
    stopPlay();
    return r;
  };
  int64_t routedLatency = 0, onePairLatency = 0;
  const Recording routed =
      take("3", {port("out2_left"), port(kJackLeftPort), port(kJackRightPort)}, {port("out2_right")}, routedLatency);
  EXPECT_NE(playOutput().find(" with 3 output pairs at 44100 Hz"), std::string::npos) << playOutput();
  const Recording onePair = take("1", {port(kJackLeftPort)}, {port(kJackRightPort)}, onePairLatency);
  ASSERT_FALSE(HasFailure());

  ASSERT_EQ(routed.frames(), onePair.frames());
  float worst = 0.0f, loudest = 0.0f;
  for (std::size_t i = 0; i + static_cast<std::size_t>(std::max(routedLatency, onePairLatency)) < routed.frames(); ++i) {
    const std::size_t r = i + static_cast<std::size_t>(routedLatency), o = i + static_cast<std::size_t>(onePairLatency);
    worst = std::max({worst, std::fabs(routed.left[r] - onePair.left[o]), std::fabs(routed.right[r] - onePair.right[o])});
    loudest = std::max(loudest, std::fabs(onePair.left[o]));
  }
  EXPECT_GT(loudest, 0.5f);
  EXPECT_LE(worst, kGoldenTolerance);
}

// How often the server's log says `client` was caught still `state` when a cycle ended.
int unfinished(const std::string& log, const std::string& client, const std::string& state) {
  const std::string line = "client = " + client + " was not finished, state = " + state;
  int n = 0;
  for (std::size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++n;
  return n;
}

// 200 notes a second for 20 seconds at 64-frame periods, on every sound of the kit, against the
// clock: the program keeps up with its periods, and every second of it is heard.
//
// Only what the program controls is judged: its own callback times, as `zumbel play` prints them
// when it stops. On a busy machine (a shared VM, a loaded laptop) the server misses 1.45 ms
// deadlines now and then whatever its clients do; the rig's own near-idle clients are caught
// unfinished as often as the program, and the dummy driver's timer is late by itself. Those xruns
// and catches are printed, not judged. A preempted callback now and then is the machine's doing
// too; a program too slow for the period is slow in hundreds of the 14,000 periods and slow on
// average. So at most about one period in a thousand may take over half its length, and the mean
// callback must stay below half a period.
constexpr int kToleratedSlowPeriods = 14;
TEST_F(JackE2E, PlayKeepsUpWithDenseNotesAtShortPeriods) {
#ifdef ZUMBEL_E2E_SANITIZED
  GTEST_SKIP() << "a sanitizer slows every cycle so much that the program overruns short periods";
#endif
  REQUIRE_JACKD();
  constexpr int kPeriod = 64, kNotesPerSecond = 200, kSeconds = 20;
  const std::vector<int> sounds = {kKick, kSideStick, kSnare, 39, kClosedHat, kPedalHat, kLowTom, kOpenHat, kMidTom, 49, kHighTom, 51};
  std::mt19937 rng(3);
  std::vector<ScheduledMessage> notes;
  for (int i = 0; i < kNotesPerSecond * kSeconds; ++i) {
    const auto frame = static_cast<jack_nframes_t>(static_cast<int64_t>(i) * kRate / kNotesPerSecond + rng() % 100);
    notes.push_back(test::noteOn(frame, sounds[rng() % sounds.size()], 1 + static_cast<int>(rng() % 127)));
  }
  ASSERT_NO_FATAL_FAILURE(startServer(kPeriod, kSeconds + 2));
  ASSERT_NO_FATAL_FAILURE(startPlay());
  std::vector<ScheduledMessage> schedule;
  const Recording r = sendAndRecord(notes, kPeriod, schedule, false);
  ASSERT_FALSE(HasFailure());
  for (int s = 0; s < kSeconds; ++s) {
    EXPECT_GT(peak(r.left, r.indexOf(schedule[0].frame) + static_cast<std::size_t>(s) * kRate, kRate), 0.01f) << "second " << s;
  }
  const uint64_t rigXruns = rig_->xruns();
  stopPlay();
  rig_.reset();
  server_->stop();

  const std::string out = playOutput();
  // "Stopped after N periods; the audio callback took M us on average, X us at most, S periods
  // over half their length"
  const std::string line = lineStarting(out, "Stopped after ");
  ASSERT_FALSE(line.empty()) << out;
  const double periods = numberBefore(line, " periods;");
  const double meanUs = numberBefore(line, " us on average");
  const double slow = numberBefore(line, " periods over half their length");
  EXPECT_GT(periods, kSeconds * kRate / kPeriod / 2) << line;
  EXPECT_LE(slow, kToleratedSlowPeriods) << line;
  EXPECT_LT(meanUs, 1e6 * kPeriod / kRate / 2) << line;

  const std::string log = test::readText(dir_ / "jackd.log");
  int printed = 0;
  for (std::size_t at = out.find("\nxrun "); at != std::string::npos; at = out.find("\nxrun ", at + 1)) ++printed;
  int driverLate = 0;
  for (std::size_t at = log.find("JackTimedDriver::Process XRun"); at != std::string::npos;
       at = log.find("JackTimedDriver::Process XRun", at + 1)) {
    ++driverLate;
  }
  std::cout << "[ callback ] " << line << '\n';
  std::cout << "[ xruns ] " << (server_->realtime() ? "realtime" : "normal") << " scheduling: the rig saw " << rigXruns
            << ", zumbel play printed " << printed << "; the server caught the program unfinished "
            << unfinished(log, kClientName, "Triggered") << " times before it was woken and "
            << unfinished(log, kClientName, "Running") << " times while it ran, the rig's clients "
            << unfinished(log, "zumbel-rig-send", "Triggered") + unfinished(log, "zumbel-rig-rec", "Triggered") +
                   unfinished(log, "zumbel-rig-send", "Running") + unfinished(log, "zumbel-rig-rec", "Running")
            << " times; its own timer was late " << driverLate << " times\n";
}

// SIGHUP reads the set again as the window's Open does: the program plays on, and a sound changed
// in the file meanwhile (the kick turned fully left) is heard as the file now says; a file that no
// longer opens leaves the set playing. Once the notes have rung out, the stop report counts
// nothing sounding and only the set's voices held.
TEST_F(JackE2E, PlayReadsTheSetAgainOnHangup) {
  REQUIRE_JACKD();
  std::filesystem::copy(std::filesystem::path(kDemoKit).parent_path(), dir_ / "kit");
  kit_ = dir_ / "kit/Demo.drums";
  const jack_nframes_t tail = ringFrames(kKick, 127);
  ASSERT_NO_FATAL_FAILURE(startServer(256, 2 * (tail / kRate + 1)));
  ASSERT_NO_FATAL_FAILURE(startPlay());
  std::vector<ScheduledMessage> sent;
  const Recording before = sendAndRecord({test::noteOn(0, kKick, 127)}, tail, sent);

  CKitbeatDoc doc;
  ASSERT_TRUE(doc.OnOpenDocument(kit_).ok());
  doc.sound(kKick - kFirstNote).settings[kPan] = kPanLeft;
  ASSERT_TRUE(doc.OnSaveDocument(kit_).ok());
  ASSERT_EQ(::kill(play_.pid(), SIGHUP), 0);
  const auto deadline = std::chrono::steady_clock::now() + kPortTimeout;
  while (playOutput().find("\nReloaded: ") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    ASSERT_TRUE(play_.running()) << "ended by the hangup";
    std::this_thread::sleep_for(10ms);
  }
  ASSERT_NE(playOutput().find("\nReloaded: " + kit_ + ", "), std::string::npos) << playOutput();
  const Recording after = sendAndRecord({test::noteOn(0, kKick, 127)}, tail, sent);
  ASSERT_FALSE(HasFailure());
  EXPECT_GT(peak(before.left, 0, before.frames()), 0.01f);
  EXPECT_GT(peak(before.right, 0, before.frames()), 0.01f);
  EXPECT_GT(peak(after.left, 0, after.frames()), 0.01f);
  EXPECT_EQ(peak(after.right, 0, after.frames()), 0.0f);

  // A set that no longer opens is said, and the one playing goes on.
  test::writeBytes(kit_, {'n', 'o'});
  ASSERT_EQ(::kill(play_.pid(), SIGHUP), 0);
  const auto kept = std::chrono::steady_clock::now() + kPortTimeout;
  while (test::readText(dir_ / "play.err").find("the set playing is kept") == std::string::npos &&
         std::chrono::steady_clock::now() < kept) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_NE(test::readText(dir_ / "play.err").find(kit_ + ": not a drum set"), std::string::npos)
      << test::readText(dir_ / "play.err");
  EXPECT_TRUE(play_.running());

  stopPlay();
  // "At the stop: X xruns, S mixer slots and V voices sounding, H voices held (the set has N)"
  const std::string stop = lineStarting(playOutput(), "At the stop: ");
  ASSERT_FALSE(stop.empty()) << playOutput();
  EXPECT_EQ(numberBefore(stop, " mixer slots and"), 0) << stop;
  EXPECT_EQ(numberBefore(stop, " voices sounding"), 0) << stop;
  EXPECT_EQ(numberBefore(stop, " voices held"), numberBefore(stop, ")")) << stop;
  EXPECT_GT(numberBefore(stop, ")"), 0) << stop;
}

// The devices are listed with the numbers play takes, and a MIDI source chosen by name is
// connected to the program's port by the program itself.
TEST_F(JackE2E, PlayConnectsTheMidiSourceChosenByName) {
  REQUIRE_JACKD();
  ASSERT_NO_FATAL_FAILURE(startServer(256, 4));
  const std::string source = "zumbel-rig-send:midi_out";

  test::ChildProcess devices;
  test::ChildProcess::Options options;
  options.argv = {ZUMBEL_BINARY, "devices"};
  options.setEnv = serverEnvironment();
  options.stdoutPath = dir_ / "devices.out";
  std::string error;
  ASSERT_TRUE(devices.start(options, error)) << error;
  const std::optional<test::ChildExit> listed = devices.wait(30s);
  ASSERT_TRUE(listed && listed->exited && listed->status == 0);
  const std::string list = test::readText(dir_ / "devices.out");
  EXPECT_NE(list.find("  0  System default\n"), std::string::npos) << list;
  EXPECT_NE(list.find("  1  JACK: system\n"), std::string::npos) << list;
  EXPECT_NE(list.find("  0  JACK: Zumbel:midi_in\n"), std::string::npos) << list;
  EXPECT_NE(list.find("  1  JACK: " + source + "\n"), std::string::npos) << list;

  // An input that does not exist ends play with the list of those that do.
  test::ChildProcess wrong;
  options.argv = {ZUMBEL_BINARY, "play", kDemoKit, "--midi", "7"};
  options.stdoutPath = dir_ / "wrong.out";
  options.stderrPath = dir_ / "wrong.err";
  ASSERT_TRUE(wrong.start(options, error)) << error;
  const std::optional<test::ChildExit> refused = wrong.wait(30s);
  ASSERT_TRUE(refused && refused->exited);
  EXPECT_EQ(refused->status, 2);
  const std::string said = test::readText(dir_ / "wrong.err");
  EXPECT_NE(said.find("zumbel: play: '7' names no single MIDI input; there are:\n  0  JACK: Zumbel:midi_in\n  1  JACK: " +
                      source + "\n"),
            std::string::npos)
      << said;

  ASSERT_NO_FATAL_FAILURE(startPlay({"--midi", "rig-send"}));
  EXPECT_NE(playOutput().find("\nMIDI: JACK: " + source + "\n"), std::string::npos) << playOutput();
  jack_client_t* probe = jack_client_open("zumbel-e2e-probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                          nullptr, server_->name().c_str());
  ASSERT_NE(probe, nullptr);
  jack_port_t* midiIn = jack_port_by_name(probe, port(kJackMidiPort).c_str());
  ASSERT_NE(midiIn, nullptr);
  EXPECT_TRUE(jack_port_connected_to(midiIn, source.c_str()));
  jack_client_close(probe);

  // Heard through that connection (the rig's own connect finds it made already).
  const std::vector<ScheduledMessage> notes = {test::noteOn(0, kSnare, 100)};
  std::vector<ScheduledMessage> schedule;
  const Recording r = sendAndRecord(notes, kRate / 2, schedule);
  ASSERT_FALSE(HasFailure());
  EXPECT_TRUE(test::findOnset(r, schedule[0].frame, kOnsetMargin, kOnsetSearch, kOnsetThreshold).has_value());
  stopPlay();
}

// The LV2 plugin in jalv, a real LV2 host on the same private server, opening a session saved
// with lilv that names the demo kit: notes from a JACK MIDI client play at one latency and sound
// exactly as the engine renders them offline.
TEST_F(JackE2E, JalvPlaysThePluginFromASavedSession) {
  REQUIRE_JACKD();
  if (!std::filesystem::exists("/usr/bin/jalv")) GTEST_SKIP() << "jalv is not installed";
#ifdef ZUMBEL_E2E_SANITIZED
  GTEST_SKIP() << "a sanitized plugin loads only into a sanitized host; the plain build runs this";
#endif
  constexpr int kPeriod = 256;
  const std::vector<ScheduledMessage> spaced =
      spacedNotes({{kKick, 120}, {kSnare, 64}, {kClosedHat, 100}, {kLowTom, 90}, {kSnare, 127}, {kSnare, 127}, {kSnare, 127}},
                  kPeriod, 5);
  ASSERT_NO_FATAL_FAILURE(startServer(kPeriod, (spaced.back().frame + 2 * kRate) / kRate + 2));
  // A copy of the demo kit outside the session, which keeps a link to it.
  std::filesystem::copy(std::filesystem::path(kDemoKit).parent_path(), dir_ / "kit");
  const std::string kit = dir_ / "kit/Demo.drums";
  // The loud snare's layer rotates through takes: the host plays the set's extras file as the
  // offline render does.
  std::ofstream(dir_ / "kit/Demo.zumbel") << (R"({"sounds":{
    "2":{"layers":{"0":{"alternates":["Snare Medium.wav","Side Stick Hard.wav"]},"2":{"alternates":["Snare Hard.wav"]}}}}})");
  {
    test::Lv2World world(ZUMBEL_LV2_BUNDLE);
    test::Lv2TestHost host(world, kRate);
    ASSERT_TRUE(host.ok());
    host.setDrumSet(kit);
    host.run(64);
    host.doWork();
    host.run(64);
    host.run(64);
    ASSERT_EQ(host.announced, std::vector<std::string>{kit});
    ASSERT_TRUE(host.saveState(dir_ / "session"));
  }
  ASSERT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(kit)));
  const std::string input = dir_ / "jalv.in";
  ASSERT_EQ(::mkfifo(input.c_str(), 0600), 0);
  test::ChildProcess::Options options;
  options.argv = {"/usr/bin/jalv", "-x", "-n", kClientName, "-l", dir_ / "session"};
  options.setEnv = serverEnvironment();
  options.setEnv.emplace_back("LV2_PATH", std::filesystem::path(ZUMBEL_LV2_BUNDLE).parent_path().string() + ":/usr/lib/lv2");
  options.stdoutPath = dir_ / "play.out";
  options.stdinPath = input;
  std::string error;
  ASSERT_TRUE(play_.start(options, error)) << error;
  ASSERT_TRUE(rig_->waitForPorts({port("control"), port(kJackLeftPort), port(kJackRightPort)}, kPortTimeout))
      << test::readText(dir_ / "play.out");
  // jalv registers its ports before it restores the session and activates its client.
  const auto deadline = std::chrono::steady_clock::now() + kPortTimeout;
  while (!rig_->connect(port("control"), port(kJackLeftPort), port(kJackRightPort), error)) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << error << test::readText(dir_ / "play.out");
    std::this_thread::sleep_for(20ms);
  }

  std::vector<ScheduledMessage> schedule;
  const Recording r = sendAndRecord(spaced, kRate, schedule);
  ASSERT_FALSE(HasFailure());
  const int64_t latency = constantLatency(r, schedule);
  EXPECT_GE(latency, 0);
  EXPECT_LE(latency, kPeriod);
  expectMatchesOfflineRender(r, schedule, latency, kit);
  EXPECT_TRUE(play_.running()) << test::readText(dir_ / "play.out");
}

// A server that goes away under the program ends it with a message and status 2, not a hang.
TEST_F(JackE2E, PlayEndsWhenTheServerGoesAway) {
  REQUIRE_JACKD();
  ASSERT_NO_FATAL_FAILURE(startServer(256, 1));
  ASSERT_NO_FATAL_FAILURE(startPlay());
  rig_.reset();
  server_->stop();
  const std::optional<test::ChildExit> exit = play_.wait(15s);
  ASSERT_TRUE(exit.has_value()) << "still running without its server";
  EXPECT_TRUE(exit->exited) << "ended by signal " << exit->signal;
  EXPECT_EQ(exit->status, 2);
  EXPECT_NE(test::readText(dir_ / "play.err").find("the audio device went away"), std::string::npos)
      << test::readText(dir_ / "play.err");
}

// The server's notice of a new rate (PipeWire switches between 44.1 and 48 kHz under running
// clients) reaches the playing cycle, so the mixer plays at it from the next period on; a rate
// the mixer cannot play loses the output instead.
TEST_F(JackE2E, TheJackOutputFollowsTheServersRate) {
  REQUIRE_JACKD();
  ASSERT_NO_FATAL_FAILURE(startServer(256, 1));
  setenv("JACK_DEFAULT_SERVER", server_->name().c_str(), 1);
  CKitbeatDoc doc;
  doc.OnNewDocument();
  DrumEngine engine(doc);
  LiveCycle cycle(engine);
  JackAudioBackend backend(AudioDeviceInfo{AudioApi::kJack, "JACK", "", -1});
  std::string detail;
  ASSERT_EQ(backend.open(AudioStreamRequest{}, detail), OpenStatus::kOk) << detail;
  unsetenv("JACK_DEFAULT_SERVER");
  engine.mixer().setDeviceRate(backend.sampleRate());
  cycle.prepare(backend.sampleRate(), backend.periodFrames());
  engine.mixer().setRunning(true);
  ASSERT_TRUE(backend.start(cycle, detail)) << detail;

  JackAudioBackend::sampleRateChanged(48000, &backend);  // as JACK's notification thread calls it
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (engine.mixer().deviceRate() != 48000 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(engine.mixer().deviceRate(), 48000);
  EXPECT_EQ(backend.sampleRate(), 48000);
  EXPECT_TRUE(backend.alive());
  JackAudioBackend::sampleRateChanged(1000, &backend);
  EXPECT_FALSE(backend.alive());
  backend.close();
  engine.mixer().setRunning(false);
}

// Without any server or device the program says so and exits with status 2.
TEST(PlayWithoutDevice, SaysNoAudioDeviceCouldBeOpened) {
  if (std::filesystem::exists("/dev/snd")) GTEST_SKIP() << "ALSA devices exist here and cannot be hidden";
  test::TempDir dir;
  test::ChildProcess play;
  test::ChildProcess::Options options;
  options.argv = {ZUMBEL_BINARY, "play", kDemoKit};
  options.setEnv = {{"JACK_DEFAULT_SERVER", "zumbel-e2e-nobody-" + std::to_string(::getpid())},
                    {"JACK_NO_START_SERVER", "1"},
                    {"PULSE_SERVER", "unix:/nonexistent"}};
  options.stdoutPath = dir / "out";
  options.stderrPath = dir / "err";
  std::string error;
  ASSERT_TRUE(play.start(options, error)) << error;
  const std::optional<test::ChildExit> exit = play.wait(30s);
  ASSERT_TRUE(exit.has_value()) << "still running";
  EXPECT_TRUE(exit->exited) << "ended by signal " << exit->signal;
  EXPECT_EQ(exit->status, 2);
  EXPECT_NE(test::readText(dir / "err").find("no audio device could be opened"), std::string::npos)
      << test::readText(dir / "err");
}

}  // namespace
}  // namespace zumbel
