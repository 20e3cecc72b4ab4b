// Whatever a host may send either LV2 plugin (the input's first byte chooses: odd is Multi, with
// its eight stereo outputs), in the lilv test host: MIDI, patch:Set and patch:Get,
// objects nested in objects, sizes that lie, cycles of any length, the worker's loads and frees
// between them, a worker ring that is full, ports left unconnected, states restored and the
// plugin restarted. It must never crash, hang, read past what it was given, or allocate or free in
// run(); its output stays finite; it announces no set nobody named; and once everything has
// settled, the set it announces is the set its state saves. make_fuzz_seeds writes starting inputs
// in the encoding LLVMFuzzerTestOneInput reads.

#include <lv2/atom/atom.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <dlfcn.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "AtomBytes.h"
#include "Lv2TestHost.h"
#include "RealtimeScope.h"

using namespace zumbel;
using test::AtomBytes;

// run() and the worker's replies run inside a RealtimeScope: any allocation or free there is a
// failure, as in the plugin's tests. It is noted here and checked after each cycle, since the
// fuzzer's own crash report allocates while the scope is still open.
namespace {

const char* realtimeHeap = nullptr;

void* allocate(std::size_t size) {
  if (RealtimeScope::active() && realtimeHeap == nullptr) realtimeHeap = "the audio path allocated";
  return std::malloc(size == 0 ? 1 : size);
}

void release(void* p) noexcept {
  if (p != nullptr && RealtimeScope::active() && realtimeHeap == nullptr) realtimeHeap = "the audio path freed memory";
  std::free(p);
}

}  // namespace

void* operator new(std::size_t size) {
  if (void* p = allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }

namespace {

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz_lv2_plugin: %s\n", what);
    std::abort();
  }
}

// The fuzzer's bytes, read as the host's actions; past the end every read gives zeros.
class Input {
 public:
  Input(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool done() const { return at_ >= size_; }
  uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | byte();
    return v;
  }
  std::string text(std::size_t most) {
    std::string s;
    for (std::size_t n = std::min<std::size_t>(byte(), most); n > 0 && !done(); --n) s += static_cast<char>(byte());
    return s;
  }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

struct Fixture {
  std::unique_ptr<test::Lv2World> world;
  std::string dir;
  std::string session, brokenSession;  // states naming the demo kit and a set that is gone
  std::string sessionSet, brokenSet;   // the paths those states restore to
  std::vector<std::string> paths;      // what a patch:Set may name
  std::vector<uint32_t> urids;         // keys, types and values worth trying
};

Fixture* fixture = nullptr;

std::string saveSession(const std::string& kit, const std::string& session) {
  test::Lv2TestHost host(*fixture->world, 44100);
  host.setDrumSet(kit);
  host.run(64);
  host.doWork();
  host.run(64);
  host.run(64);
  check(host.saveState(session), "cannot save a session");
  return session + "/" + std::filesystem::path(kit).filename().string();
}

// The demo set with every sample cut to a short ring: decoding the real ones through the
// fuzzer's instrumentation would take most of each run, and the WAV reader has its own fuzzer.
std::string writeShortKit(const std::string& to) {
  namespace fs = std::filesystem;
  fs::create_directories(to);
  for (const fs::directory_entry& entry : fs::directory_iterator(ZUMBEL_SOURCE_DIR "/resources/demo")) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".wav") {
      fs::copy(entry.path(), to + "/" + name, fs::copy_options::overwrite_existing);
      continue;
    }
    constexpr uint32_t kFrames = 256;
    AtomBytes wav;  // little-endian bytes, as a WAV file is written
    wav.text("RIFF").u32(36 + kFrames * 4).text("WAVEfmt ").u32(16).u32(0x00020001).u32(44100).u32(44100 * 4);
    wav.u32(0x00100004).text("data").u32(kFrames * 4);
    for (uint32_t f = 0; f < kFrames; ++f) {
      const auto sample = static_cast<int16_t>(std::lround(8000.0 * std::sin(f * 0.3) * (kFrames - f) / kFrames));
      const uint32_t both = static_cast<uint16_t>(sample) * 0x10001u;
      wav.u32(both);
    }
    std::ofstream(to + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(wav.bytes().data()), wav.size());
  }
  return to + "/Demo.drums";
}

// How an atom's size may lie: mostly the truth, else a little more, nearly 4 GiB, or anything.
std::optional<uint32_t> claim(Input& in, uint32_t real) {
  const uint8_t b = in.byte();
  switch (b % 8) {
    case 5: return real + 1 + b / 8;
    case 6: return 0xFFFFFFF0u + b / 16;
    case 7: return in.u32();
    default: return std::nullopt;
  }
}

uint32_t urid(Input& in) {
  const uint8_t b = in.byte();
  return b < 240 ? fixture->urids[b % fixture->urids.size()] : in.u32();
}

// An atom's type and body: a path or text, a URID, an object holding more atoms, or raw bytes.
AtomBytes atomBody(Input& in, int depth, uint32_t& type) {
  type = urid(in);
  const Fixture& f = *fixture;
  AtomBytes body;
  const uint8_t kind = in.byte() % 4;
  if (kind == 0) {
    const uint8_t pick = in.byte();
    const std::string path = pick < f.paths.size() * 16 ? f.paths[pick % f.paths.size()] : in.text(255);
    body.text(path);
    if (in.byte() % 4 != 0) body.u32(0);
  } else if (kind == 1) {
    body.u32(urid(in));
  } else if (kind == 2 && depth < 3) {
    body.u32(0).u32(urid(in));
    for (int n = in.byte() % 5; n > 0 && !in.done(); --n) {
      uint32_t valueType = 0;
      const uint32_t key = urid(in);
      const AtomBytes value = atomBody(in, depth + 1, valueType);
      body.append(test::atomProperty(key, valueType, value, claim(in, value.size())));
    }
  } else {
    for (int n = in.byte() % 24; n > 0 && !in.done(); --n) body.u32(in.byte());
  }
  return body;
}

std::string nulCut(const std::string& s) { return s.substr(0, s.find('\0')); }

// After each cycle: the audio path kept off the heap, and what it played is finite.
void checkOutput(test::Lv2TestHost& host) {
  if (realtimeHeap != nullptr) check(false, realtimeHeap);
  for (const test::Lv2TestHost::Pair& pair : host.outputs) {
    for (const std::vector<float>* channel : {&pair.left, &pair.right}) {
      check(std::all_of(channel->begin(), channel->end(), [](float v) { return std::isfinite(v); }),
            "the output is not finite");
    }
  }
  host.clearOutputs();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // lilv unloads the plugin with its last instance; its coverage counters must stay where the
  // fuzzer found them.
  check(dlopen(ZUMBEL_LV2_BUNDLE "/zumbel.so", RTLD_NOW | RTLD_NODELETE) != nullptr, "cannot load the plugin");
  fixture = new Fixture;
  Fixture& f = *fixture;
  f.world = std::make_unique<test::Lv2World>(ZUMBEL_LV2_BUNDLE);
  check(f.world->plugin(test::kLv2StereoUri) != nullptr && f.world->plugin(test::kLv2MultiUri) != nullptr,
        "no plugins in " ZUMBEL_LV2_BUNDLE);
  std::string pattern = (std::filesystem::temp_directory_path() / "zumbel-fuzz-lv2-XXXXXX").string();
  check(mkdtemp(pattern.data()) != nullptr, "no temporary folder");
  f.dir = pattern;
  std::atexit([] { std::filesystem::remove_all(fixture->dir); });
  const std::string demo = writeShortKit(f.dir + "/kit");
  f.session = f.dir + "/session";
  f.brokenSession = f.dir + "/broken";
  f.sessionSet = saveSession(demo, f.session);
  f.brokenSet = saveSession(writeShortKit(f.dir + "/gone"), f.brokenSession);
  std::filesystem::remove_all(f.dir + "/gone");
  std::ofstream(f.dir + "/garbage.drums") << std::string(3000, '\xA5');
  f.paths = {demo, f.dir + "/missing.drums", f.dir + "/garbage.drums", f.dir, "/dev/zero", "", std::string(5000, 'x'),
             f.sessionSet};
  test::Lv2World& w = *f.world;
  for (const char* uri : {LV2_ATOM__Path, LV2_ATOM__String, LV2_ATOM__URID, LV2_ATOM__Object, LV2_ATOM__Int,
                          LV2_ATOM__Sequence, LV2_MIDI__MidiEvent, LV2_PATCH__Set, LV2_PATCH__Get, LV2_PATCH__property,
                          LV2_PATCH__value, LV2_PATCH__subject, "https://zumbel.nordwick.org/lv2#set"}) {
    f.urids.push_back(w.urid(uri));
  }
  f.urids.push_back(0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Fixture& f = *fixture;
  test::Lv2World& w = *f.world;
  const uint32_t object = w.urid(LV2_ATOM__Object), midi = w.urid(LV2_MIDI__MidiEvent);
  Input in(data, size);
  test::Lv2TestHost host(w, 44100, in.byte() % 2 != 0 ? test::kLv2MultiUri : test::kLv2StereoUri);
  check(host.ok(), "the plugin does not instantiate");
  const std::size_t outputs = 2 * host.pairs();
  // Every path the plugin may announce: one this input named, or a restored state's.
  std::set<std::string> named = {f.sessionSet, f.brokenSet};
  // Loading a set takes milliseconds: an input gets a bounded number of worker runs, restores
  // and frames, so that none runs for long.
  int workLeft = 8, restoresLeft = 4;
  uint64_t framesLeft = uint64_t{1} << 20;
  while (!in.done()) {
    switch (in.byte() % 12) {
      case 0: {  // MIDI, of any length
        const uint32_t frame = in.byte() * 64u;
        AtomBytes bytes;
        for (int n = 1 + in.byte() % 4; n > 0; --n) bytes.raw(std::array<uint8_t, 1>{in.byte()}.data(), 1);
        host.rawEvents(test::atomEvent(frame, midi, bytes, claim(in, bytes.size())).bytes());
        break;
      }
      case 1: {  // a patch:Set of a path the host might well send
        const uint8_t pick = in.byte();
        const std::string path = f.paths[pick % f.paths.size()];
        host.setDrumSet(path, pick & 0x80 ? LV2_ATOM__String : nullptr);
        named.insert(path);
        break;
      }
      case 2: host.getDrumSet(); break;
      case 3:
      case 4: {  // any atom, objects in objects, sizes that lie
        uint32_t type = 0;
        const AtomBytes body = atomBody(in, 0, type);
        if (in.byte() % 2 == 0) type = object;
        // Any text in it might be taken for a path.
        const std::string text(body.bytes().begin(), body.bytes().end());
        for (std::size_t at = 0; at < text.size(); ++at) named.insert(nulCut(text.substr(at)));
        host.rawEvents(test::atomEvent(in.byte() * 16, type, body, claim(in, body.size())).bytes());
        break;
      }
      case 5:
      case 6: {
        static constexpr uint32_t kFrames[] = {0, 1, 63, 64, 256, 4095, 4096, 4097, 9000, 16384};
        const uint32_t frames = kFrames[in.byte() % std::size(kFrames)];
        if (frames > framesLeft) break;
        framesLeft -= frames;
        host.run(frames);
        checkOutput(host);
        break;
      }
      case 7:
        if (workLeft-- > 0) host.doWork();
        break;
      case 8: host.workerFull = !host.workerFull; break;
      case 9: {
        const bool broken = in.byte() % 2 != 0, ports = in.byte() % 2 == 0;
        if (restoresLeft-- > 0) host.restoreState(broken ? f.brokenSession : f.session, ports);
        break;
      }
      case 10: {  // a restart, or one port: the five named ones, then Multi's other outputs
        const uint8_t b = in.byte();
        const std::size_t port = b % (3 + outputs);
        if (b < 40) {
          host.restart();
        } else if (port <= test::kLv2ChannelPort) {
          host.connect(static_cast<test::Lv2Port>(port), b & 0x80);
        } else {
          host.connectOutput(port - 3, b & 0x80);
        }
        break;
      }
      case 11: {
        static constexpr float kChannels[] = {1.0f, 10.0f, 16.0f, 0.0f, -3.0f, 1e30f, NAN, INFINITY};
        host.setChannel(kChannels[in.byte() % std::size(kChannels)]);
        break;
      }
    }
  }

  // Settled: every port connected, the worker free, all it was asked done, then asked which set.
  host.workerFull = false;
  for (uint32_t port = test::kLv2ControlPort; port <= test::kLv2ChannelPort; ++port) {
    host.connect(static_cast<test::Lv2Port>(port), true);
  }
  for (std::size_t output = 0; output < outputs; ++output) host.connectOutput(output, true);
  for (int i = 0; i < 4; ++i) {
    host.run(1024);
    host.doWork();
  }
  host.announced.clear();
  host.getDrumSet();
  host.run(64);
  checkOutput(host);
  for (const std::string& path : host.announced) check(named.count(path) > 0, "announced a set nobody named");
  const std::string saved = host.savedSetPath();
  check(host.announced.empty() ? saved.empty() : host.announced.back() == saved, "saves another set than it announces");
  return 0;
}
