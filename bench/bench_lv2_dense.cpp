// Dense drum playing through LV2, for any drum plugin: a small lilv host that instantiates the
// plugin by its URI, gives it the features drum plugins ask for (URID map and unmap, options with
// the block length, a worker, a log), loads a kit through a saved state, a patch:Set of a path,
// or both, waits until the plugin plays, and then times each run() of three cases of 10 seconds:
// no notes, one note-on per block, sixteen note-ons per block spread over its frames. The notes
// cycle, with varying velocities, over those of the given range that the kit plays (each is tried
// alone first); no note-offs, as drum pads mostly send none
// that a drum plugin acts upon.
//
// The worker runs between blocks in this thread, outside the timed region; its replies reach the
// plugin right after the next run() and count towards that block, as they would in a DAW.
// Denormals are flushed to zero, as DAWs set their audio threads.
//
//   bench_lv2_dense --uri URI [--bundle DIR]... [--state FILE.ttl] [--set PROPERTY=PATH]
//                   [--control SYMBOL=VALUE]... [--notes FIRST-LAST] [--seconds S] [--block FRAMES] [--label NAME]
//                   [--load-timeout S]
// The notes go out on MIDI channel 10, the drums' channel; --control sets a control input to a
// value other than its default, such as a plugin's MIDI channel.
// Prints one "result" line per case: label, note-ons per block, mean, median, p99 and slowest
// block time in µs, the share of blocks with sound, and the jobs the plugin gave its worker. Exit status 2 when the plugin cannot be loaded or never
// plays a note.

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kRate = 44100.0;
constexpr std::size_t kSequenceBytes = 1 << 16;
// Bounds on what the command line may ask for.
constexpr uint32_t kMaxBlock = 8192;
constexpr double kMaxSeconds = 600;
// Sound is any sample above this; a block below it everywhere is silence.
constexpr float kSilence = 1e-5f;

struct Options {
  std::string uri, label, state, setProperty, setPath;
  std::vector<std::string> bundles;
  std::map<std::string, float> controls;  // by port symbol
  int firstNote = 36, lastNote = 51;
  double seconds = 10, loadTimeout = 90;
  uint32_t block = 64;
};

bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return false;
    const std::string v = argv[++i];
    if (a == "--uri") {
      o.uri = v;
    } else if (a == "--bundle") {
      o.bundles.push_back(v);
    } else if (a == "--state") {
      o.state = v;
    } else if (a == "--set") {
      const auto eq = v.find('=');
      if (eq == std::string::npos) return false;
      o.setProperty = v.substr(0, eq);
      o.setPath = v.substr(eq + 1);
    } else if (a == "--control") {
      const auto eq = v.find('=');
      if (eq == std::string::npos) return false;
      o.controls[v.substr(0, eq)] = static_cast<float>(std::atof(v.c_str() + eq + 1));
    } else if (a == "--notes") {
      if (std::sscanf(v.c_str(), "%d-%d", &o.firstNote, &o.lastNote) != 2) return false;
    } else if (a == "--seconds") {
      o.seconds = std::atof(v.c_str());
    } else if (a == "--block") {
      o.block = static_cast<uint32_t>(std::atoi(v.c_str()));
    } else if (a == "--label") {
      o.label = v;
    } else if (a == "--load-timeout") {
      o.loadTimeout = std::atof(v.c_str());
    } else {
      return false;
    }
  }
  if (o.label.empty()) o.label = o.uri;
  return !o.uri.empty() && o.firstNote >= 0 && o.lastNote <= 127 && o.firstNote <= o.lastNote && o.seconds > 0 &&
         o.seconds <= kMaxSeconds && o.block >= 1 && o.block <= kMaxBlock && o.loadTimeout > 0 &&
         o.loadTimeout <= kMaxSeconds;
}

// URIDs for the plugin and for lilv, from any thread.
class UridMap {
 public:
  LV2_URID map(const char* uri) {
    const std::lock_guard lock(lock_);
    auto [it, added] = ids_.try_emplace(uri, static_cast<LV2_URID>(uris_.size() + 1));
    if (added) uris_.push_back(std::make_unique<std::string>(uri));
    return it->second;
  }
  const char* unmap(LV2_URID id) {
    const std::lock_guard lock(lock_);
    return id >= 1 && id <= uris_.size() ? uris_[id - 1]->c_str() : nullptr;
  }
  LV2_URID_Map mapFeature{this, [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<UridMap*>(h)->map(uri); }};
  LV2_URID_Unmap unmapFeature{this,
                              [](LV2_URID_Unmap_Handle h, LV2_URID id) { return static_cast<UridMap*>(h)->unmap(id); }};

 private:
  std::mutex lock_;
  std::map<std::string, LV2_URID> ids_;
  std::vector<std::unique_ptr<std::string>> uris_;
};

struct Midi {
  uint32_t frame;
  std::array<uint8_t, 3> bytes;
};

struct Stats {
  double mean = 0, median = 0, p99 = 0, max = 0, sounding = 0;
  uint64_t workerJobs = 0;
};

class Host {
 public:
  Host(const Options& o, LilvWorld* world, const LilvPlugin* plugin) : o_(o), world_(world), plugin_(plugin) {}
  ~Host() {
    if (instance_ == nullptr) return;
    lilv_instance_deactivate(instance_);
    lilv_instance_free(instance_);
  }
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // Instantiates the plugin and connects every port; restores the state file if one is given.
  bool start(std::string& error) {
    blockLength_ = static_cast<int32_t>(o_.block);
    sequenceSize_ = static_cast<int32_t>(kSequenceBytes);
    sampleRate_ = static_cast<float>(kRate);
    const LV2_URID intType = urids_.map(LV2_ATOM__Int);
    options_ = {{
        {LV2_OPTIONS_INSTANCE, 0, urids_.map(LV2_BUF_SIZE__minBlockLength), sizeof(int32_t), intType, &blockLength_},
        {LV2_OPTIONS_INSTANCE, 0, urids_.map(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t), intType, &blockLength_},
        {LV2_OPTIONS_INSTANCE, 0, urids_.map(LV2_BUF_SIZE__nominalBlockLength), sizeof(int32_t), intType,
         &blockLength_},
        {LV2_OPTIONS_INSTANCE, 0, urids_.map(LV2_BUF_SIZE__sequenceSize), sizeof(int32_t), intType, &sequenceSize_},
        {LV2_OPTIONS_INSTANCE, 0, urids_.map(LV2_PARAMETERS__sampleRate), sizeof(float), urids_.map(LV2_ATOM__Float),
         &sampleRate_},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr},
    }};
    featureList_ = {{
        {LV2_URID__map, &urids_.mapFeature},
        {LV2_URID__unmap, &urids_.unmapFeature},
        {LV2_WORKER__schedule, &schedule_},
        {LV2_LOG__log, &log_},
        {LV2_OPTIONS__options, options_.data()},
        {LV2_BUF_SIZE__boundedBlockLength, nullptr},
        {LV2_BUF_SIZE__fixedBlockLength, nullptr},
    }};
    for (std::size_t i = 0; i < featureList_.size(); ++i) features_[i] = &featureList_[i];
    features_.back() = nullptr;

    const uint32_t ports = lilv_plugin_get_num_ports(plugin_);
    std::vector<float> minimum(ports), maximum(ports), defaults(ports);
    lilv_plugin_get_port_ranges_float(plugin_, minimum.data(), maximum.data(), defaults.data());
    controls_.assign(ports, 0.0f);
    LilvNode* audio = lilv_new_uri(world_, LV2_CORE__AudioPort);
    LilvNode* cv = lilv_new_uri(world_, LV2_CORE__CVPort);
    LilvNode* control = lilv_new_uri(world_, LV2_CORE__ControlPort);
    LilvNode* atom = lilv_new_uri(world_, LV2_ATOM__AtomPort);
    LilvNode* input = lilv_new_uri(world_, LV2_CORE__InputPort);
    LilvNode* midiEvent = lilv_new_uri(world_, LV2_MIDI__MidiEvent);
    std::vector<uint32_t> atomInputs, atomOutputs, controlPorts;
    uint32_t midiPort = UINT32_MAX;
    for (uint32_t i = 0; i < ports; ++i) {
      const LilvPort* port = lilv_plugin_get_port_by_index(plugin_, i);
      const bool in = lilv_port_is_a(plugin_, port, input);
      if (lilv_port_is_a(plugin_, port, audio) || lilv_port_is_a(plugin_, port, cv)) {
        (in ? audioInputs_ : audioOutputs_).push_back(i);
      } else if (lilv_port_is_a(plugin_, port, control)) {
        const float value = !std::isnan(defaults[i]) ? defaults[i] : !std::isnan(minimum[i]) ? minimum[i] : 0.0f;
        const auto set = o_.controls.find(lilv_node_as_string(lilv_port_get_symbol(plugin_, port)));
        controls_[i] = set != o_.controls.end() ? set->second : value;
        controlPorts.push_back(i);
      } else if (lilv_port_is_a(plugin_, port, atom)) {
        (in ? atomInputs : atomOutputs).push_back(i);
        if (in && midiPort == UINT32_MAX && lilv_port_supports_event(plugin_, port, midiEvent)) midiPort = i;
      }
      // Any other kind of port stays unconnected; the plugins measured here have none.
    }
    for (LilvNode* node : {audio, cv, control, atom, input, midiEvent}) lilv_node_free(node);
    if (midiPort == UINT32_MAX && !atomInputs.empty()) midiPort = atomInputs.front();
    if (midiPort == UINT32_MAX || audioOutputs_.empty()) {
      error = "no MIDI input or no audio output";
      return false;
    }

    instance_ = lilv_plugin_instantiate(plugin_, kRate, features_.data());
    if (instance_ == nullptr) {
      error = "the plugin did not instantiate";
      return false;
    }
    worker_ = static_cast<const LV2_Worker_Interface*>(lilv_instance_get_extension_data(instance_, LV2_WORKER__interface));
    silence_.assign(o_.block, 0.0f);
    outputs_.assign(audioOutputs_.size(), std::vector<float>(o_.block));
    for (const uint32_t i : audioInputs_) lilv_instance_connect_port(instance_, i, silence_.data());
    for (std::size_t k = 0; k < audioOutputs_.size(); ++k) {
      lilv_instance_connect_port(instance_, audioOutputs_[k], outputs_[k].data());
    }
    for (const uint32_t i : controlPorts) lilv_instance_connect_port(instance_, i, &controls_[i]);
    midiPort_ = midiPort;
    for (const uint32_t i : atomInputs) {
      sequences_.emplace_back(kSequenceBytes / 8);
      inputs_.push_back({i, sequences_.back().data()});
      lilv_instance_connect_port(instance_, i, sequences_.back().data());
    }
    for (const uint32_t i : atomOutputs) {
      sequences_.emplace_back(kSequenceBytes / 8);
      atomOutputs_.push_back(sequences_.back().data());
      lilv_instance_connect_port(instance_, i, sequences_.back().data());
    }

    if (!o_.state.empty()) {
      LilvState* state = lilv_state_new_from_file(world_, &urids_.mapFeature, nullptr, o_.state.c_str());
      if (state == nullptr) {
        error = "cannot read the state " + o_.state;
        return false;
      }
      lilv_state_restore(state, instance_, nullptr, nullptr, 0, features_.data());
      lilv_state_free(state);
    }
    lilv_instance_activate(instance_);
    if (!o_.setProperty.empty()) pendingSet_ = true;
    return true;
  }

  void note(uint32_t frame, uint8_t note, uint8_t velocity) {
    pending_.push_back({frame, {0x99, note, velocity}});  // channel 10, the drums' channel
  }

  // One block: the queued messages, run() and the worker's replies (timed), then the worker's
  // work. Returns the block's time in ns and its loudest sample in `peak`.
  uint64_t block(float& peak) {
    fillInputs();
    const auto started = Clock::now();
    lilv_instance_run(instance_, o_.block);
    if (worker_ != nullptr) {
      while (!responses_.empty()) {
        const std::vector<uint8_t>& m = responses_.front();
        worker_->work_response(instance_->lv2_handle, static_cast<uint32_t>(m.size()), m.data());
        responses_.pop_front();
      }
      if (worker_->end_run != nullptr) worker_->end_run(instance_->lv2_handle);
    }
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - started).count();
    peak = 0.0f;
    for (const std::vector<float>& out : outputs_) {
      for (const float v : out) peak = std::max(peak, std::fabs(v));
    }
    doWork();
    return static_cast<uint64_t>(ns);
  }

  std::vector<std::string> logged;
  // Jobs the plugin gave its worker, all told: their work is not in the blocks' times.
  uint64_t workerJobs = 0;

 private:
  void fillInputs() {
    LV2_Atom_Forge forge;
    lv2_atom_forge_init(&forge, &urids_.mapFeature);
    std::stable_sort(pending_.begin(), pending_.end(), [](const Midi& a, const Midi& b) { return a.frame < b.frame; });
    for (const auto& [port, buffer] : inputs_) {
      lv2_atom_forge_set_buffer(&forge, reinterpret_cast<uint8_t*>(buffer), kSequenceBytes);
      LV2_Atom_Forge_Frame sequence;
      lv2_atom_forge_sequence_head(&forge, &sequence, 0);
      if (port == midiPort_) {
        if (pendingSet_) {
          lv2_atom_forge_frame_time(&forge, 0);
          LV2_Atom_Forge_Frame object;
          lv2_atom_forge_object(&forge, &object, 0, urids_.map(LV2_PATCH__Set));
          lv2_atom_forge_key(&forge, urids_.map(LV2_PATCH__property));
          lv2_atom_forge_urid(&forge, urids_.map(o_.setProperty.c_str()));
          lv2_atom_forge_key(&forge, urids_.map(LV2_PATCH__value));
          lv2_atom_forge_path(&forge, o_.setPath.c_str(), static_cast<uint32_t>(o_.setPath.size()));
          lv2_atom_forge_pop(&forge, &object);
          pendingSet_ = false;
        }
        for (const Midi& m : pending_) {
          lv2_atom_forge_frame_time(&forge, m.frame);
          lv2_atom_forge_atom(&forge, 3, urids_.map(LV2_MIDI__MidiEvent));
          lv2_atom_forge_write(&forge, m.bytes.data(), 3);
        }
      }
      lv2_atom_forge_pop(&forge, &sequence);
    }
    pending_.clear();
    for (uint64_t* buffer : atomOutputs_) {
      auto* out = reinterpret_cast<LV2_Atom_Sequence*>(buffer);
      out->atom.type = urids_.map(LV2_ATOM__Chunk);
      out->atom.size = kSequenceBytes - sizeof(LV2_Atom);
    }
  }

  void doWork() {
    if (worker_ == nullptr) return;
    // What the plugin schedules while working waits for the next block, as on a worker thread.
    for (std::size_t n = requests_.size(); n > 0; --n) {
      const std::vector<uint8_t> m = std::move(requests_.front());
      requests_.pop_front();
      worker_->work(instance_->lv2_handle, respond, this, static_cast<uint32_t>(m.size()), m.data());
    }
  }

  static LV2_Worker_Status scheduleWork(LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data) {
    auto* self = static_cast<Host*>(handle);
    const auto* bytes = static_cast<const uint8_t*>(data);
    self->requests_.emplace_back(bytes, bytes + size);
    ++self->workerJobs;
    return LV2_WORKER_SUCCESS;
  }
  static LV2_Worker_Status respond(LV2_Worker_Respond_Handle handle, uint32_t size, const void* data) {
    auto* self = static_cast<Host*>(handle);
    const auto* bytes = static_cast<const uint8_t*>(data);
    self->responses_.emplace_back(bytes, bytes + size);
    return LV2_WORKER_SUCCESS;
  }
  static int logVprintf(LV2_Log_Handle handle, LV2_URID, const char* format, va_list args) {
    std::array<char, 2048> text{};
    const int n = std::vsnprintf(text.data(), text.size(), format, args);
    static_cast<Host*>(handle)->logged.emplace_back(text.data());
    return n;
  }
  static int logPrintf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = logVprintf(handle, type, format, args);
    va_end(args);
    return n;
  }

  const Options& o_;
  LilvWorld* world_;
  const LilvPlugin* plugin_;
  LilvInstance* instance_ = nullptr;
  const LV2_Worker_Interface* worker_ = nullptr;
  UridMap urids_;
  int32_t blockLength_ = 0, sequenceSize_ = 0;
  float sampleRate_ = 0;
  std::array<LV2_Options_Option, 6> options_{};
  LV2_Worker_Schedule schedule_{this, scheduleWork};
  LV2_Log_Log log_{this, logPrintf, logVprintf};
  std::array<LV2_Feature, 7> featureList_{};
  std::array<const LV2_Feature*, 8> features_{};
  std::vector<uint32_t> audioInputs_, audioOutputs_;
  std::vector<float> controls_, silence_;
  std::vector<std::vector<float>> outputs_;
  std::deque<std::vector<uint64_t>> sequences_;  // atom buffers, 8-byte aligned
  std::vector<std::pair<uint32_t, uint64_t*>> inputs_;
  std::vector<uint64_t*> atomOutputs_;
  uint32_t midiPort_ = UINT32_MAX;
  std::vector<Midi> pending_;
  bool pendingSet_ = false;
  std::deque<std::vector<uint8_t>> requests_, responses_;
};

// Silent blocks until the plugin has been quiet for a second, at most `capSeconds` of sound.
void ringOut(Host& host, const Options& o, double capSeconds) {
  const auto quietBlocks = static_cast<int>(kRate / o.block);
  const auto cap = static_cast<long>(capSeconds * kRate / o.block);
  int quiet = 0;
  for (long b = 0; b < cap && quiet < quietBlocks; ++b) {
    float peak = 0;
    host.block(peak);
    quiet = peak < kSilence ? quiet + 1 : 0;
  }
}

// Plays `note` alone, after the last one's sound has died away (or after 3 s of it), and says
// whether it sounded: louder, within 50 ms, than the 50 ms before it.
bool sounds(Host& host, const Options& o, int note) {
  ringOut(host, o, 3);
  const int window = std::max(1, static_cast<int>(0.05 * kRate / o.block));
  float before = 0, after = 0, peak = 0;
  for (int b = 0; b < window; ++b) host.block(peak), before = std::max(before, peak);
  host.note(0, static_cast<uint8_t>(note), 110);
  for (int b = 0; b < window; ++b) host.block(peak), after = std::max(after, peak);
  return after > 1e-3f && after > 2 * before;
}

// Runs blocks until a note sounds, with the plugin loading meanwhile (on its worker or its own
// threads, which get the time between blocks); then waits until every note of the list answers
// the same twice in a row. Returns the notes that sound, none when none did before the timeout.
std::vector<int> waitUntilPlaying(Host& host, const Options& o) {
  const auto deadline = Clock::now() + std::chrono::duration<double>(o.loadTimeout);
  const auto probeEvery = static_cast<int>(0.25 * kRate / o.block);
  bool playing = false;
  for (long b = 0; !playing && Clock::now() < deadline; ++b) {
    float peak = 0;
    if (b % probeEvery == 0) host.note(0, static_cast<uint8_t>(o.firstNote), 110);
    host.block(peak);
    playing = peak > 1e-3f;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  if (!playing) return {};
  std::vector<int> last{-1};
  for (;;) {
    ringOut(host, o, 10);
    std::vector<int> heard;
    for (int n = o.firstNote; n <= o.lastNote; ++n) {
      if (sounds(host, o, n)) heard.push_back(n);
    }
    if (heard == last || Clock::now() >= deadline) return heard;
    last = heard;
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
}

Stats measure(Host& host, const Options& o, const std::vector<int>& kit, int perBlock, unsigned& counter) {
  const auto blocks = static_cast<std::size_t>(std::ceil(o.seconds * kRate / o.block));
  std::vector<uint64_t> times;
  times.reserve(blocks);
  std::size_t loud = 0;
  const uint64_t jobsBefore = host.workerJobs;
  for (std::size_t b = 0; b < blocks; ++b) {
    for (int i = 0; i < perBlock; ++i, ++counter) {
      // Spread over the block; a single note moves around it from block to block.
      const uint32_t frame =
          perBlock == 1 ? static_cast<uint32_t>(b * 7 % o.block) : static_cast<uint32_t>(i) * o.block / perBlock;
      const auto note = static_cast<uint8_t>(kit[counter % kit.size()]);
      const auto velocity = static_cast<uint8_t>(20 + (counter * 37) % 108);  // 20..127
      host.note(frame, note, velocity);
    }
    float peak = 0;
    times.push_back(host.block(peak));
    loud += peak >= kSilence ? 1 : 0;
  }
  Stats s;
  s.workerJobs = host.workerJobs - jobsBefore;
  double sum = 0;
  for (const uint64_t t : times) sum += static_cast<double>(t);
  std::sort(times.begin(), times.end());
  s.mean = sum / static_cast<double>(times.size()) / 1000.0;
  s.median = static_cast<double>(times[times.size() / 2]) / 1000.0;
  s.p99 = static_cast<double>(times[std::min(times.size() - 1, times.size() * 99 / 100)]) / 1000.0;
  s.max = static_cast<double>(times.back()) / 1000.0;
  s.sounding = static_cast<double>(loud) / static_cast<double>(blocks);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(stderr,
                 "usage: bench_lv2_dense --uri URI [--bundle DIR]... [--state FILE.ttl] [--set PROPERTY=PATH]\n"
                 "                       [--control SYMBOL=VALUE]... [--notes FIRST-LAST] [--seconds S] [--block FRAMES] [--label NAME]\n"
                 "                       [--load-timeout S]\n");
    return 2;
  }
#if defined(__SSE__)
  _mm_setcsr(_mm_getcsr() | 0x8040);  // flush denormals to zero, and read them as zero
#endif
  LilvWorld* world = lilv_world_new();
  lilv_world_load_all(world);
  for (std::string dir : o.bundles) {
    if (dir.back() != '/') dir += '/';
    LilvNode* bundle = lilv_new_file_uri(world, nullptr, dir.c_str());
    lilv_world_load_bundle(world, bundle);
    lilv_node_free(bundle);
  }
  LilvNode* uri = lilv_new_uri(world, o.uri.c_str());
  const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
  lilv_node_free(uri);
  if (plugin == nullptr) {
    std::fprintf(stderr, "bench_lv2_dense: no plugin %s\n", o.uri.c_str());
    lilv_world_free(world);
    return 2;
  }
  int status = 0;
  {
    Host host(o, world, plugin);
    std::string error;
    const auto started = Clock::now();
    if (!host.start(error)) {
      std::fprintf(stderr, "bench_lv2_dense: %s: %s\n", o.label.c_str(), error.c_str());
      status = 2;
    } else if (const std::vector<int> kit = waitUntilPlaying(host, o); kit.empty()) {
      std::fprintf(stderr, "bench_lv2_dense: %s played nothing within %.0f s\n", o.label.c_str(), o.loadTimeout);
      status = 2;
    } else {
      const double loadSeconds = std::chrono::duration<double>(Clock::now() - started).count();
      std::string notes;
      for (const int n : kit) notes += " " + std::to_string(n);
      std::printf("loaded %s: ready after %.1f s; %zu of %d notes sound:%s\n", o.label.c_str(), loadSeconds, kit.size(),
                  o.lastNote - o.firstNote + 1, notes.c_str());
      unsigned counter = 0;
      for (const int perBlock : {0, 1, 16}) {
        ringOut(host, o, 30);
        const Stats s = measure(host, o, kit, perBlock, counter);
        std::printf("result %s %d %.3f %.3f %.3f %.3f %.3f %llu\n", o.label.c_str(), perBlock, s.mean, s.median,
                    s.p99, s.max, s.sounding, static_cast<unsigned long long>(s.workerJobs));
        std::fflush(stdout);
      }
    }
    for (const std::string& line : host.logged) std::fprintf(stderr, "%s: %s", o.label.c_str(), line.c_str());
  }
  lilv_world_free(world);
  return status;
}
