// How `zumbel play` does on PulseAudio and on ALSA through the pulse plugin, measured on a private
// PulseAudio daemon (tests/e2e/PulseTestServer.h) rather than estimated. For each output and
// period size it plays a song of evenly spaced notes in with --song while the daemon's null sink
// is recorded, and prints:
//   - the latency `zumbel play` says ("latency N ms");
//   - what the server measures for the program's stream while it plays, sampled every 100 ms:
//     the data waiting in the stream's buffer and the sink's own latency;
//   - note to sound: one period (a note is placed one period after it falls due) plus those two;
//   - how evenly the notes came out: each onset against the song's grid, after removing the
//     constant offset (max and mean deviation, in frames and ms);
//   - the notes heard, the xruns the program printed, and the underruns the server logged for the
//     program's stream (the server logs an underrun at the stream's end too, when the program
//     stops writing).
//
//   build/bench/bench_pulse_latency [--notes N]     (default 60 notes, 150 ms apart)

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "PulseTestServer.h"
#include "TestSupport.h"
#include "ToneTakes.h"

namespace {

using namespace zumbel;
using namespace std::chrono_literals;
using test::PulseTestServer;

constexpr int kRate = PulseTestServer::kRate;
constexpr unsigned kSpacingMs = 150;
constexpr int kPeriods[] = {256, 128, 64};

double ms(double frames) { return 1000.0 * frames / kRate; }

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

struct Result {
  double printedMs = -1;
  double bufferMs = 0, sinkMs = 0, bufferMaxMs = 0;
  int samples = 0;
  int heard = 0;
  double maxDeviation = 0, meanDeviation = 0;
  int xruns = 0, underruns = 0;
};

bool measure(bool pulse, int period, int notes, Result& r, std::string& error) {
  test::TempDir dir;
  PulseTestServer server(dir.path() + "/pulse");
  std::filesystem::create_directories(dir.path() + "/pulse");
  if (!server.start(error)) return false;
  const std::string kit = test::writeToneKit(dir.path());
  if (kit.empty()) {
    error = "cannot write the kit";
    return false;
  }
  test::writeBytes(dir / "song.mid", test::toneSong(std::vector<int>(static_cast<std::size_t>(notes), 127), kSpacingMs));

  test::PulseRecorder recorder(server, dir / "take.raw");
  if (!recorder.start(error)) return false;
  test::ChildProcess play;
  test::ChildProcess::Options options;
  const std::string audio = pulse ? "PulseAudio: " + std::string(PulseTestServer::kSinkDescription) : "ALSA: default";
  options.argv = {ZUMBEL_BINARY, "play", kit, "--audio", audio, "--period", std::to_string(period), "--song", dir / "song.mid"};
  options.setEnv = server.clientEnvironment();
  options.stdoutPath = dir / "play.out";
  options.stderrPath = dir / "play.err";
  if (!play.start(options, error)) return false;
  std::optional<test::ChildExit> exit;
  while (!(exit = play.wait(100ms))) {
    // Only once the song plays: before it, the stream is still settling in.
    if (test::readText(dir / "play.out").find("\nSong: ") == std::string::npos) continue;
    if (const auto l = test::serverLatency(server, dir / "inputs.txt")) {
      r.bufferMs += l->bufferMs;
      r.sinkMs += l->sinkMs;
      r.bufferMaxMs = std::max(r.bufferMaxMs, l->bufferMs);
      ++r.samples;
    }
  }
  std::this_thread::sleep_for(200ms);
  const test::PulseTake take = recorder.stop();
  const std::string out = test::readText(dir / "play.out");
  if (!exit->exited || exit->status != 0) {
    error = "zumbel play failed:\n" + out + test::readText(dir / "play.err");
    return false;
  }
  r.printedMs = test::printedLatencyMs(out).value_or(-1);
  if (r.samples > 0) {
    r.bufferMs /= r.samples;
    r.sinkMs /= r.samples;
  }
  r.xruns = count(out, "\nxrun ");
  r.underruns = count(test::readText(server.logPath()), "Implicit underrun of");

  const std::vector<test::Hit> hits = test::findHits(take.left, take.right);
  r.heard = static_cast<int>(hits.size());
  if (hits.size() >= 2) {
    // Deviation from the grid, the mean offset removed.
    std::vector<double> off;
    for (std::size_t i = 0; i < hits.size(); ++i) {
      off.push_back(static_cast<double>(hits[i].onset) - static_cast<double>(hits[0].onset) -
                    static_cast<double>(i) * kSpacingMs * kRate / 1000.0);
    }
    double mean = 0;
    for (double o : off) mean += o;
    mean /= static_cast<double>(off.size());
    for (double o : off) {
      r.maxDeviation = std::max(r.maxDeviation, std::fabs(o - mean));
      r.meanDeviation += std::fabs(o - mean);
    }
    r.meanDeviation /= static_cast<double>(off.size());
  }
  server.stop();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int notes = 60;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--notes" && i + 1 < argc) {
      notes = std::max(2, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: bench_pulse_latency [--notes N]\n");
      return 2;
    }
  }
  // Underruns are logged at debug level only.
  ::setenv("ZUMBEL_PULSE_LOG_LEVEL", "debug", 1);
  std::printf("%d notes %u ms apart per run; latencies in ms\n", notes, kSpacingMs);
  std::printf("%-11s %6s %8s %8s %8s %8s %10s %14s %7s %6s %9s\n", "output", "period", "printed", "buffer", "(max)",
              "sink", "note->out", "grid dev max", "heard", "xruns", "underruns");
  int failures = 0;
  for (const bool pulse : {true, false}) {
    for (const int period : kPeriods) {
      Result r;
      std::string error;
      if (!measure(pulse, period, notes, r, error)) {
        std::fprintf(stderr, "%s at %d frames: %s\n", pulse ? "PulseAudio" : "ALSA", period, error.c_str());
        ++failures;
        continue;
      }
      std::printf("%-11s %6d %8.1f %8.1f %8.1f %8.1f %10.1f %7.0f (%4.1f) %3d/%-3d %6d %9d\n", pulse ? "PulseAudio" : "ALSA>pulse",
                  period, r.printedMs, r.bufferMs, r.bufferMaxMs, r.sinkMs, ms(period) + r.bufferMs + r.sinkMs,
                  r.maxDeviation, ms(r.maxDeviation), r.heard, notes, r.xruns, r.underruns);
      std::fflush(stdout);
    }
  }
  return failures == 0 ? 0 : 1;
}
