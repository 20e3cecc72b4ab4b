// The LV2 half of the soak run (bench/soak-run): the plugin in the lilv test host as a DAW runs
// it, with its worker on a thread of its own, playing the soak's note stream (SoakNotes.h) through
// run() in blocks paced to the clock, and switching between two drum sets with patch:Set every
// so often. After the notes it runs on silent blocks while the sounds, and a replaced set's
// hand-over, ring out; then it says how much memory it holds, what the plugin still holds and
// sounds (its engine tally, bench/ModuleTally.h) and how long run() took.
//   soak_lv2_host SET_A.drums SET_B.drums [--seconds S] [--rate NOTES_PER_SECOND] [--block FRAMES]
//                 [--switch-every S] [--ring-out S] [--bundle DIR]
// Exit status 0, or 2 on an error (no plugin, a set that never loads).

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "Lv2TestHost.h"
#include "ModuleTally.h"
#include "SoakNotes.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr int kRate = 44100;

struct Options {
  std::string setA, setB;
  std::string bundle = ZUMBEL_LV2_BUNDLE;
  double seconds = 3600, rate = 200, switchEvery = 60, ringOut = 15;
  uint32_t block = 256;
};

bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool value = i + 1 < argc;
    if (a == "--seconds" && value) {
      o.seconds = std::atof(argv[++i]);
    } else if (a == "--rate" && value) {
      o.rate = std::atof(argv[++i]);
    } else if (a == "--block" && value) {
      o.block = static_cast<uint32_t>(std::atoi(argv[++i]));
    } else if (a == "--switch-every" && value) {
      o.switchEvery = std::atof(argv[++i]);
    } else if (a == "--ring-out" && value) {
      o.ringOut = std::atof(argv[++i]);
    } else if (a == "--bundle" && value) {
      o.bundle = argv[++i];
    } else if (!a.starts_with("--") && o.setA.empty()) {
      o.setA = a;
    } else if (!a.starts_with("--") && o.setB.empty()) {
      o.setB = a;
    } else {
      return false;
    }
  }
  return !o.setB.empty() && o.seconds > 0 && o.rate > 0 && o.rate <= 10000 && o.switchEvery > 0 && o.ringOut >= 0 &&
         o.block >= 16 && o.block <= zumbel::test::Lv2TestHost::kMaxBlock;
}

// "VmRSS 123 kB, VmHWM 456 kB, RssAnon 78 kB" from /proc/self/status.
std::string memory() {
  std::ifstream status("/proc/self/status");
  std::string line, rss = "?", hwm = "?", anon = "?";
  while (std::getline(status, line)) {
    std::istringstream fields(line);
    std::string key, kb;
    fields >> key >> kb;
    if (key == "VmRSS:") rss = kb;
    if (key == "VmHWM:") hwm = kb;
    if (key == "RssAnon:") anon = kb;
  }
  return "VmRSS " + rss + " kB, VmHWM " + hwm + " kB, RssAnon " + anon + " kB";
}

std::string held(const zumbel::EngineTally& tally) {
  return std::to_string(tally.voicesAlive.load(std::memory_order_relaxed)) + " voices held, " +
         std::to_string(tally.slotsMixing.load(std::memory_order_relaxed)) + " mixer slots sounding";
}

// The plugin's library, as lilv loaded it: an exported address of it, for the tally lookup.
const void* pluginEntryPoint(const zumbel::test::Lv2World& world) {
  const LilvNode* uri = lilv_plugin_get_library_uri(world.plugin());
  char* path = uri != nullptr ? lilv_file_uri_parse(lilv_node_as_uri(uri), nullptr) : nullptr;
  if (path == nullptr) return nullptr;
  void* module = dlopen(path, RTLD_LAZY | RTLD_NOLOAD);
  lilv_free(path);
  if (module == nullptr) return nullptr;
  const void* entry = dlsym(module, "lv2_descriptor");
  dlclose(module);  // lilv still holds it
  return entry;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(stderr,
                 "usage: soak_lv2_host SET_A.drums SET_B.drums [--seconds S] [--rate NOTES_PER_SECOND] [--block FRAMES]\n"
                 "                     [--switch-every S] [--ring-out S] [--bundle DIR]\n");
    return 2;
  }
  const std::vector<int> notes = zumbel::bench::notesWithSamples(o.setA);
  if (notes.empty()) {
    std::fprintf(stderr, "soak_lv2_host: %s: no drum set with samples\n", o.setA.c_str());
    return 2;
  }
  zumbel::test::Lv2World world(o.bundle);
  zumbel::test::Lv2TestHost host(world, kRate);
  if (!host.ok()) {
    std::fprintf(stderr, "soak_lv2_host: no plugin in %s\n", o.bundle.c_str());
    return 2;
  }
  std::string error = "the plugin's library is not loaded";
  const void* entry = pluginEntryPoint(world);
  const zumbel::EngineTally* tally = entry != nullptr ? zumbel::bench::findModuleTally(entry, error) : nullptr;
  if (tally == nullptr) {
    std::fprintf(stderr, "soak_lv2_host: %s\n", error.c_str());
    return 2;
  }
  host.record = false;
  host.startWorkerThread();

  const auto blockTime = std::chrono::nanoseconds(static_cast<int64_t>(1e9 * o.block / kRate));
  auto deadline = Clock::now();
  uint64_t late = 0;
  // One block, then the wait for its time: the plugin sees blocks at the pace of a sound card.
  const auto pace = [&] {
    deadline += blockTime;
    const auto now = Clock::now();
    if (now > deadline + blockTime) {
      ++late;  // behind by more than a block: a real host would have had an xrun
      deadline = now;
    } else {
      std::this_thread::sleep_until(deadline);
    }
  };

  host.setDrumSet(o.setA);
  const auto loadBy = Clock::now() + 30s;
  while (host.announced.empty() && Clock::now() < loadBy) {
    host.run(o.block);
    pace();
  }
  if (host.announced.empty()) {
    std::fprintf(stderr, "soak_lv2_host: %s did not load within 30 s\n", o.setA.c_str());
    for (const std::string& line : host.logged()) std::fprintf(stderr, "  %s", line.c_str());
    return 2;
  }
  std::printf("lv2 start: %s, %s\n", memory().c_str(), held(*tally).c_str());
  std::fflush(stdout);

  zumbel::bench::NoteStream stream(notes, kRate, o.rate, 2);
  const auto stopFrame = static_cast<uint64_t>(o.seconds * kRate);
  const auto endFrame = stopFrame + static_cast<uint64_t>(o.ringOut * kRate);
  const auto switchFrames = static_cast<uint64_t>(o.switchEvery * kRate);
  uint64_t nextSwitch = switchFrames;
  int switches = 0;
  uint64_t blocks = 0, totalNs = 0, peakNs = 0, peakFrame = 0, slowBlocks = 0;
  const uint64_t halfBlockNs = static_cast<uint64_t>(blockTime.count()) / 2;
  for (uint64_t frame = 0; frame < endFrame; frame += o.block) {
    if (frame >= nextSwitch && frame < stopFrame) {
      host.setDrumSet(++switches % 2 == 1 ? o.setB : o.setA);
      nextSwitch += switchFrames;
    }
    if (frame + o.block > stopFrame) stream.stopNotes();
    stream.block(frame, o.block, [&](uint32_t offset, int status, int note, int velocity) {
      host.midi(offset, static_cast<uint8_t>(status), static_cast<uint8_t>(note), static_cast<uint8_t>(velocity));
    });
    host.run(o.block);
    const uint64_t ns = host.lastRunNs();
    ++blocks;
    totalNs += ns;
    if (ns > peakNs) {
      peakNs = ns;
      peakFrame = frame;
    }
    if (ns > halfBlockNs) ++slowBlocks;
    pace();
  }

  std::printf("lv2 end: %s, %s\n", memory().c_str(), held(*tally).c_str());
  std::printf("lv2 run(): %llu blocks of %u frames, %.1f us on average, %.1f us at most (%.1f s in), %llu over half "
              "the block (%.0f us), %llu late for the clock\n",
              static_cast<unsigned long long>(blocks), o.block, blocks ? totalNs / 1000.0 / blocks : 0.0,
              peakNs / 1000.0, static_cast<double>(peakFrame) / kRate, static_cast<unsigned long long>(slowBlocks),
              halfBlockNs / 1000.0, static_cast<unsigned long long>(late));
  std::printf("lv2 notes: %llu note-ons, %llu note-offs; sets: %d switches asked, %zu sets announced\n",
              static_cast<unsigned long long>(stream.noteOns()), static_cast<unsigned long long>(stream.noteOffs()),
              switches, host.announced.size());
  for (const std::string& line : host.logged()) std::fprintf(stderr, "plugin: %s", line.c_str());
  return 0;
}
