// How long a note takes through `zumbel play` on JACK, measured rather than estimated: for each
// period size a private JACK server (dummy driver, 44.1 kHz) is started, `zumbel play` runs on it
// as a child, and the end-to-end rig sends notes at exact frames (at arbitrary offsets inside
// periods) and records both outputs. Each note's latency is the frame its click starts at minus
// the frame it was sent at.
//
// The rig hands MIDI to the program and takes its sound in the same JACK cycle, so the measured
// figure is the graph's own latency. A player hears more: a MIDI driver delivers each event one
// period after it arrived, at its own offset, and the device still buffers the periods JACK
// reports as the playback latency of the program's outputs. Both are printed beside it.
//
//   build/bench/bench_jack_latency [--notes N]     (default 1000 notes per period size)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "DrumsFile.h"
#include "EngineConfig.h"
#include "JackRig.h"
#include "JackTestServer.h"
#include "KitbeatDoc.h"
#include "TestSupport.h"
#include "WavFileWriter.h"

namespace {

using namespace zumbel;
using namespace std::chrono_literals;
using test::JackRig;
using test::JackTestServer;

constexpr int kRate = JackTestServer::kRate;
constexpr int kPeriods[] = {64, 128, 256};
constexpr int kClickNote = 36;
// A short flat click, so every note starts from silence even when notes come quickly.
constexpr int kClickFrames = kRate / 200;
constexpr float kClickLevel = 0.5f;
// Notes come every 30..80 ms; an onset is looked for from a little before its note until the
// click of the next one could begin.
constexpr int kMinGapFrames = kRate * 30 / 1000;
constexpr int kMaxGapFrames = kRate * 80 / 1000;
constexpr jack_nframes_t kOnsetMargin = 16;
constexpr jack_nframes_t kOnsetSearch = kMinGapFrames - kClickFrames;
constexpr float kOnsetThreshold = 1e-7f;
constexpr jack_nframes_t kLeadFrames = kRate / 4;

std::string port(const char* name) { return std::string(kClientName) + ":" + name; }
double ms(double frames) { return 1000.0 * frames / kRate; }

// A kit of one sound: the click on note 36.
bool writeClickKit(const test::TempDir& dir, std::string& kit) {
  WavFileWriter wav;
  const std::vector<float> click(kClickFrames, kClickLevel);
  if (!wav.open(dir / "click.wav", kRate, SampleFormat::kS16) || !wav.write(click.data(), click.data(), kClickFrames) ||
      !wav.close()) {
    return false;
  }
  CKitbeatDoc doc;
  doc.OnNewDocument();
  const int group = doc.appendGroup("Click");
  doc.appendSample(group, "click.wav");
  doc.AssignSample(kClickNote - 36, 0, {group, 0});
  kit = dir / "click.drums";
  return doc.OnSaveDocument(kit).ok();
}

struct Result {
  int measured = 0, missing = 0;
  int64_t min = 0, max = 0;
  double mean = 0;
  jack_latency_range_t playback{};
  uint64_t xruns = 0, skipped = 0, late = 0;
  // How many notes came at each latency: one value when nothing disturbed the graph.
  std::map<int64_t, int> histogram;
};

bool measure(int period, int notes, const std::string& kit, Result& result, std::string& error) {
  test::TempDir dir;
  JackTestServer server(period, dir / "jackd.log");
  if (!server.start(error)) return false;

  std::mt19937 rng(static_cast<unsigned>(period));
  std::uniform_int_distribution<jack_nframes_t> gap(kMinGapFrames, kMaxGapFrames);
  std::vector<test::ScheduledMessage> schedule;
  jack_nframes_t at = 0;
  for (int i = 0; i < notes; ++i, at += gap(rng)) schedule.push_back(test::noteOn(at, kClickNote, 127));
  const std::size_t frames = at + kLeadFrames + kRate;

  JackRig rig(server.name(), frames + kRate);
  if (!rig.open(error)) return false;
  test::ChildProcess play;
  test::ChildProcess::Options options;
  options.argv = {ZUMBEL_BINARY, "play", kit};
  options.setEnv = {{"JACK_DEFAULT_SERVER", server.name()}, {"JACK_NO_START_SERVER", "1"}};
  options.stdoutPath = dir / "play.out";
  options.stderrPath = dir / "play.err";
  if (!play.start(options, error)) return false;
  if (!rig.waitForPorts({port(kJackMidiPort), port(kJackLeftPort), port(kJackRightPort)}, 10s)) {
    error = "zumbel play did not register its ports:\n" + test::readText(dir / "play.err");
    return false;
  }
  // The ports come before the kit is loaded and the MIDI input listens; it says so when it does.
  for (int i = 0; i < 1000 && test::readText(dir / "play.out").find("MIDI: ") == std::string::npos; ++i) {
    std::this_thread::sleep_for(10ms);
  }
  if (!rig.connect(port(kJackMidiPort), port(kJackLeftPort), port(kJackRightPort), error)) return false;

  const std::optional<jack_nframes_t> first = rig.startRecording();
  if (!first) {
    error = "the recorder never ran";
    return false;
  }
  for (test::ScheduledMessage& m : schedule) m.frame += *first + kLeadFrames;
  if (!rig.send(schedule)) {
    error = "the sender was busy";
    return false;
  }
  const std::size_t wanted = schedule.back().frame + kRate / 2 - *first;
  if (!rig.waitRecorded(wanted, std::chrono::milliseconds(5000 + 1000 * wanted / kRate))) {
    error = "the recording stalled";
    return false;
  }
  const test::Recording recording = rig.stopRecording();
  result.playback = rig.latencyRange(port(kJackLeftPort), JackPlaybackLatency).value_or(jack_latency_range_t{});
  result.xruns = rig.xruns();
  result.skipped = rig.recordGaps();
  result.late = rig.lateMessages();
  play.stop(10s);

  int64_t sum = 0;
  for (const test::ScheduledMessage& m : schedule) {
    const auto onset = test::findOnset(recording, m.frame, kOnsetMargin, kOnsetSearch, kOnsetThreshold);
    if (!onset) {
      ++result.missing;
      continue;
    }
    const int64_t latency = static_cast<int32_t>(*onset - m.frame);
    result.min = result.measured ? std::min(result.min, latency) : latency;
    result.max = result.measured ? std::max(result.max, latency) : latency;
    sum += latency;
    ++result.measured;
    ++result.histogram[latency];
  }
  result.mean = result.measured ? static_cast<double>(sum) / result.measured : 0.0;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int notes = 1000;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--notes" && i + 1 < argc) {
      notes = std::max(1, std::atoi(argv[++i]));
    } else {
      std::cerr << "usage: bench_jack_latency [--notes N]\n";
      return 2;
    }
  }
  if (JackTestServer::jackdPath().empty()) {
    std::cerr << "bench_jack_latency: jackd is not installed (Debian: jackd2)\n";
    return 2;
  }
  test::TempDir dir;
  std::string kit;
  if (!writeClickKit(dir, kit)) {
    std::cerr << "bench_jack_latency: cannot write the click kit\n";
    return 1;
  }
  std::printf("zumbel play on a private JACK server (dummy driver, %d Hz, %s scheduling), %d notes per period size\n",
              kRate, JackTestServer::realtimeAllowed() ? "realtime" : "normal", notes);
  int status = 0;
  for (const int period : kPeriods) {
    Result r;
    std::string error;
    if (!measure(period, notes, kit, r, error)) {
      std::fprintf(stderr, "period %d: %s\n", period, error.c_str());
      status = 1;
      continue;
    }
    std::printf("\nperiod %d frames (%.2f ms): %d onsets measured, %d not found; %llu xruns, %llu times periods skipped, "
                "%llu notes sent late\n",
                period, ms(period), r.measured, r.missing, static_cast<unsigned long long>(r.xruns),
                static_cast<unsigned long long>(r.skipped), static_cast<unsigned long long>(r.late));
    std::printf("  graph latency   min %lld / mean %.2f / max %lld frames  (%.3f / %.3f / %.3f ms), jitter %lld frames\n",
                static_cast<long long>(r.min), r.mean, static_cast<long long>(r.max), ms(static_cast<double>(r.min)),
                ms(r.mean), ms(static_cast<double>(r.max)), static_cast<long long>(r.max - r.min));
    std::printf("  notes per latency:");
    for (const auto& [frames, count] : r.histogram) std::printf(" %lld frames x%d", static_cast<long long>(frames), count);
    std::printf("\n");
    std::printf("  playback latency JACK reports for %s: %u..%u frames (%.2f..%.2f ms)\n", port(kJackLeftPort).c_str(),
                r.playback.min, r.playback.max, ms(r.playback.min), ms(r.playback.max));
    const double total = r.mean + period + r.playback.max;
    std::printf("  note to speaker: graph %.2f + MIDI input buffering %d + playback %u = %.2f frames (%.2f ms)\n", r.mean,
                period, r.playback.max, total, ms(total));
  }
  return status;
}
