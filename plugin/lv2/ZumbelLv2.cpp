// The LV2 instrument: MIDI in through an atom port, the drum set's audio out. One binary holds two
// plugins that differ only in their outputs: Zumbel plays the whole mix on one stereo pair, Zumbel
// Multi gives each of the mixer's stereo pairs an output of its own, so a host can treat the
// sounds a set routes to pairs of their own apart (its main pair carries the rest). The set is a
// path parameter; it is read and its voices built on the host's worker thread, and run() only
// takes the finished set over (SetPlayer). The host's saved session keeps the set's path.
//
// The chosen set is one thing wherever it shows: the set run() plays and announces, and the path
// save() stores. A set the user chooses becomes it once it has opened; a set that does not open
// changes nothing. A restored state's set becomes it whether it opens or not (one that does not
// plays nothing), and each restore starts a new generation: whatever was chosen before it and is
// still loading, or waiting for the worker, is stale and never plays. Hosts call restore() while
// run() plays (a preset loaded during playback), so restore() hands its set over through one
// atomic pointer and touches nothing run() holds; every set run() lets go of is freed by the
// worker.

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/log/logger.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include "AtomReader.h"
#include "EngineConfig.h"
#include "LoadedSet.h"
#include "SetPlayer.h"
#include "ShortMessage.h"
#include "ZumbelLv2Uris.h"

namespace zumbel {
namespace {

// The ports, both plugins alike: the atom ports, then each pair's left and right, then the channel.
enum Port : uint32_t { kControlPort = 0, kNotifyPort, kFirstAudioPort };
constexpr uint32_t channelPort(int pairs) noexcept { return kFirstAudioPort + 2 * static_cast<uint32_t>(pairs); }
constexpr int kStereoPairs = 1;
constexpr int kMultiPairs = kMixerOutputPairs;

// What run() asks of the worker. A load carries the path after the header; a free carries the
// first of the sets to free, which lead on to the rest through LoadedSet::nextToFree.
enum class Work : uint32_t { kLoad, kFree, kPathRefused };
struct WorkHeader {
  Work kind;
  uint32_t size;        // bytes after the header
  uint32_t generation;  // of a load or a refusal: the restored state it was chosen in
  uint32_t unused = 0;
};
// What follows the header starts right after it, with no padding between.
static_assert(sizeof(WorkHeader) % alignof(LoadedSet*) == 0);
// The worker's answer to a load or a refusal: the set, null when none opened.
struct WorkReply {
  LoadedSet* set;
  uint32_t generation;
};

struct Uris {
  LV2_URID atomPath, atomUrid, atomObject, atomSequence, midiEvent;
  LV2_URID patchSet, patchGet, patchProperty, patchValue, setParameter;

  explicit Uris(const LV2_URID_Map* map)
      : atomPath(map->map(map->handle, LV2_ATOM__Path)),
        atomUrid(map->map(map->handle, LV2_ATOM__URID)),
        atomObject(map->map(map->handle, LV2_ATOM__Object)),
        atomSequence(map->map(map->handle, LV2_ATOM__Sequence)),
        midiEvent(map->map(map->handle, LV2_MIDI__MidiEvent)),
        patchSet(map->map(map->handle, LV2_PATCH__Set)),
        patchGet(map->map(map->handle, LV2_PATCH__Get)),
        patchProperty(map->map(map->handle, LV2_PATCH__property)),
        patchValue(map->map(map->handle, LV2_PATCH__value)),
        setParameter(map->map(map->handle, kZumbelSetUri)) {}
};

class Plugin {
 public:
  Plugin(int rate, int pairs, const LV2_URID_Map* map, LV2_Worker_Schedule* schedule, LV2_Log_Log* log)
      : rate_(rate),
        pairs_(std::clamp(pairs, 1, kMixerOutputPairs)),
        uris_(map),
        schedule_(schedule),
        player_(rate, pairs_),
        discard_(std::make_unique<float[]>(static_cast<std::size_t>(2 * pairs_) * kMaxBlockFrames)) {
    lv2_atom_forge_init(&forge_, const_cast<LV2_URID_Map*>(map));
    lv2_log_logger_init(&logger_, const_cast<LV2_URID_Map*>(map), log);
  }
  ~Plugin() {
    // Whoever holds them: the player, the way from restore(), the list to free, or a message in
    // the host's rings (a host may drop its worker's queue when it closes the plugin).
    for (LoadedSet* set : sets_) delete set;
  }

  void connect(uint32_t port, void* data) noexcept {
    if (port == kControlPort) {
      control_ = static_cast<const LV2_Atom_Sequence*>(data);
    } else if (port == kNotifyPort) {
      notify_ = static_cast<LV2_Atom_Sequence*>(data);
    } else if (port < channelPort(pairs_)) {
      outputs_[port - kFirstAudioPort] = static_cast<float*>(data);
    } else if (port == channelPort(pairs_)) {
      channel_ = static_cast<const float*>(data);
    }
  }

  // --- the host's threads, never during run() ---
  // Starts silent: nothing of what sounded before the host stopped the plugin rings on.
  void activate() noexcept { player_.silence(); }

  void run(uint32_t frames) noexcept;

  // --- worker thread ---
  LV2_Worker_Status work(LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle, uint32_t size,
                         const void* data);
  // --- audio thread, after run() ---
  LV2_Worker_Status workResponse(uint32_t size, const void* data) noexcept;

  // --- the host's threads, also while run() plays ---
  LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle, const LV2_Feature* const* features);
  LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                           const LV2_Feature* const* features);

 private:
  void takeRestored() noexcept;
  void renderTo(uint32_t end) noexcept;
  void handleMidi(int64_t frames, std::span<const uint8_t> bytes, uint32_t length) noexcept;
  void handleObject(AtomView atom) noexcept;
  void requestLoad(AtomView value) noexcept;
  void sendRequest() noexcept;
  void announceSet() noexcept;
  void queueFree(LoadedSet* set) noexcept;
  void sendFrees() noexcept;
  // Opens a set and says what is wrong with it in the host's log.
  std::unique_ptr<LoadedSet> load(const std::string& path);
  // Every set handed on is in sets_ until the worker frees it.
  LoadedSet* adopt(std::unique_ptr<LoadedSet> set);
  void destroy(LoadedSet* set);

  const int rate_;
  const int pairs_;  // stereo outputs: one, or one for each of the mixer's pairs
  const Uris uris_;
  LV2_Worker_Schedule* schedule_;
  LV2_Atom_Forge forge_{};
  LV2_Atom_Forge_Frame notifyFrame_{};  // the notify sequence, open during run()
  LV2_Log_Logger logger_{};
  SetPlayer player_;

  const LV2_Atom_Sequence* control_ = nullptr;
  LV2_Atom_Sequence* notify_ = nullptr;
  // Each pair's left and right, in port order.
  std::array<float*, 2 * kMixerOutputPairs> outputs_{};
  const float* channel_ = nullptr;

  // Where audio for an output the host left unconnected goes: kMaxBlockFrames for each output.
  std::unique_ptr<float[]> discard_;

  // The cycle being rendered: its frames up to `start_` are written, `count_` messages wait.
  uint32_t start_ = 0;
  std::size_t count_ = 0;
  std::array<TimedMessage, kMaxEventsPerCycle> batch_{};

  // The newest load (or refusal) the worker has not taken yet: a host whose worker ring is full
  // gets it on a later cycle, and a newer choice replaces it.
  struct Request {
    WorkHeader header;
    char path[kMaxSetPathBytes];
  };
  Request request_{};
  bool requestWaiting_ = false;
  // Sets run() has let go of, waiting to reach the worker, linked through nextToFree.
  LoadedSet* toFree_ = nullptr;
  // A chosen set did not open: the host is told again which set plays, so its file chooser does
  // not go on showing the file that failed.
  bool reannounce_ = false;
  // The generation of the restored state run() plays; replies of an older one are stale.
  uint32_t generation_ = 0;

  // A restored set on its way to run(), which takes it at the start of a cycle.
  std::atomic<LoadedSet*> restored_{nullptr};

  // The chosen set's path, which the host's session keeps, and the newest generation. Written by
  // the worker (a set the user chose opened) and by restore, read by save; run() never takes it.
  std::mutex stateLock_;
  std::string chosenPath_;
  uint32_t stateGeneration_ = 0;

  // Every set made and not yet freed, for cleanup(). Off the audio thread only.
  std::mutex setsLock_;
  std::unordered_set<LoadedSet*> sets_;
};

void Plugin::run(uint32_t frames) noexcept {
  takeRestored();
  if (channel_ != nullptr && std::isfinite(*channel_)) {
    player_.setChannel(static_cast<int>(std::lround(std::clamp(*channel_, 1.0f, 16.0f))));
  }
  if (notify_ != nullptr) {
    lv2_atom_forge_set_buffer(&forge_, reinterpret_cast<uint8_t*>(notify_), notify_->atom.size);
    lv2_atom_forge_sequence_head(&forge_, &notifyFrame_, 0);
  }
  sendRequest();
  sendFrees();

  // Messages collect until their frame; the engine then renders up to each one in turn. A block
  // longer than the mixer's largest, or more messages than one batch holds, goes in pieces.
  start_ = 0;
  count_ = 0;
  SequenceReader events(portAtom(control_ != nullptr ? &control_->atom : nullptr), uris_.atomSequence);
  for (SequenceReader::Event event; events.next(event);) {
    if (event.atom.type == uris_.midiEvent) {
      handleMidi(event.frames, event.atom.body, frames);
    } else if (event.atom.type == uris_.atomObject) {
      handleObject(event.atom);
    }
  }
  while (frames - start_ > static_cast<uint32_t>(kMaxBlockFrames)) renderTo(start_ + kMaxBlockFrames);
  renderTo(frames);

  if (player_.takeSwapped() || std::exchange(reannounce_, false)) announceSet();
  if (notify_ != nullptr) lv2_atom_forge_pop(&forge_, &notifyFrame_);
  if (LoadedSet* retired = player_.takeRetired()) queueFree(retired);
  sendFrees();
}

void Plugin::takeRestored() noexcept {
  LoadedSet* restored = restored_.exchange(nullptr, std::memory_order_acquire);
  if (restored == nullptr) return;
  generation_ = restored->generation;
  queueFree(player_.offer(restored));
}

void Plugin::renderTo(uint32_t end) noexcept {
  // An output nobody listens to is rendered all the same, so the set plays on as it would.
  auto output = [this](std::size_t channel) {
    float* port = outputs_[channel];
    return port != nullptr ? port + start_ : discard_.get() + static_cast<std::ptrdiff_t>(channel) * kMaxBlockFrames;
  };
  OutputPairs out;
  out.count = pairs_;
  for (std::size_t k = 0; k < static_cast<std::size_t>(pairs_); ++k) {
    out.left[k] = output(2 * k);
    out.right[k] = output(2 * k + 1);
  }
  player_.process(out, static_cast<int>(end - start_), std::span<const TimedMessage>(batch_.data(), count_));
  start_ = end;
  count_ = 0;
}

void Plugin::handleMidi(int64_t frames, std::span<const uint8_t> bytes, uint32_t length) noexcept {
  // Channel messages only: system messages carry nothing a drum set plays.
  if (bytes.empty() || bytes.size() > 3 || bytes[0] < 0x80 || bytes[0] >= 0xF0) return;
  const auto at = static_cast<uint32_t>(std::clamp<int64_t>(frames, start_, length));
  while (at - start_ > static_cast<uint32_t>(kMaxBlockFrames)) renderTo(start_ + kMaxBlockFrames);
  if (count_ == batch_.size()) renderTo(at);
  batch_[count_++] = TimedMessage{at - start_, packShortMessage(bytes[0], bytes.size() > 1 ? bytes[1] : 0,
                                                                bytes.size() > 2 ? bytes[2] : 0)};
}

void Plugin::handleObject(AtomView atom) noexcept {
  ObjectReader object(atom, uris_.atomObject);
  std::optional<uint32_t> property;
  std::optional<AtomView> value;
  for (ObjectReader::Property p; object.next(p);) {
    if (p.key == uris_.patchProperty && !property) property = atomUrid(p.value, uris_.atomUrid);
    if (p.key == uris_.patchValue && !value) value = p.value;
  }
  // A message some size in it lies about is no message.
  if (!object.whole()) return;
  const bool aboutSet = property == uris_.setParameter;
  if (object.otype() == uris_.patchSet && aboutSet && value) {
    requestLoad(*value);
  } else if (object.otype() == uris_.patchGet && (!property || aboutSet)) {
    announceSet();
  }
}

void Plugin::requestLoad(AtomView value) noexcept {
  // The path ends at its first zero byte, or with the atom.
  const auto end = std::find(value.body.begin(), value.body.end(), uint8_t{0});
  const auto length = value.type == uris_.atomPath ? static_cast<std::size_t>(end - value.body.begin()) : kMaxSetPathBytes;
  if (length == 0 || length >= kMaxSetPathBytes) {
    // Logging is the worker's: the audio thread only says that something was refused.
    request_.header = WorkHeader{Work::kPathRefused, 0, generation_, 0};
  } else {
    request_.header = WorkHeader{Work::kLoad, static_cast<uint32_t>(length), generation_, 0};
    std::memcpy(request_.path, value.body.data(), length);
  }
  requestWaiting_ = true;
  sendRequest();
}

void Plugin::sendRequest() noexcept {
  if (!requestWaiting_) return;
  if (request_.header.generation != generation_) {
    requestWaiting_ = false;  // chosen before the state now restored
    return;
  }
  const auto size = static_cast<uint32_t>(offsetof(Request, path) + request_.header.size);
  if (schedule_->schedule_work(schedule_->handle, size, &request_) == LV2_WORKER_SUCCESS) requestWaiting_ = false;
}

void Plugin::announceSet() noexcept {
  const LoadedSet* set = player_.current();
  if (notify_ == nullptr || set == nullptr) return;
  lv2_atom_forge_frame_time(&forge_, 0);
  LV2_Atom_Forge_Frame frame;
  lv2_atom_forge_object(&forge_, &frame, 0, uris_.patchSet);
  lv2_atom_forge_key(&forge_, uris_.patchProperty);
  lv2_atom_forge_urid(&forge_, uris_.setParameter);
  lv2_atom_forge_key(&forge_, uris_.patchValue);
  lv2_atom_forge_path(&forge_, set->path.c_str(), static_cast<uint32_t>(set->path.size()));
  lv2_atom_forge_pop(&forge_, &frame);
}

void Plugin::queueFree(LoadedSet* set) noexcept {
  if (set == nullptr) return;
  set->nextToFree = toFree_;
  toFree_ = set;
}

void Plugin::sendFrees() noexcept {
  if (toFree_ == nullptr) return;
  struct {
    WorkHeader header;
    LoadedSet* first;
  } message{WorkHeader{Work::kFree, sizeof(LoadedSet*), 0, 0}, toFree_};
  if (schedule_->schedule_work(schedule_->handle, sizeof message, &message) == LV2_WORKER_SUCCESS) toFree_ = nullptr;
}

LV2_Worker_Status Plugin::workResponse(uint32_t size, const void* data) noexcept {
  WorkReply reply{};
  if (size != sizeof reply) return LV2_WORKER_ERR_UNKNOWN;
  std::memcpy(&reply, data, sizeof reply);
  if (reply.generation != generation_) {
    queueFree(reply.set);  // chosen before the state restored since: it never plays
  } else if (reply.set == nullptr) {
    reannounce_ = true;
  } else {
    queueFree(player_.offer(reply.set));
  }
  return LV2_WORKER_SUCCESS;
}

LoadedSet* Plugin::adopt(std::unique_ptr<LoadedSet> set) {
  const std::lock_guard lock(setsLock_);
  sets_.insert(set.get());
  return set.release();
}

void Plugin::destroy(LoadedSet* set) {
  {
    const std::lock_guard lock(setsLock_);
    sets_.erase(set);
  }
  delete set;
}

std::unique_ptr<LoadedSet> Plugin::load(const std::string& path) {
  SetLoadResult result = loadSet(path, rate_);
  // One log entry per line, as the host shows them.
  std::string_view problems = result.problems;
  while (!problems.empty()) {
    const std::size_t end = std::min(problems.find('\n'), problems.size());
    const std::string line(problems.substr(0, end));
    if (result.set) {
      lv2_log_warning(&logger_, "%s\n", line.c_str());
    } else {
      lv2_log_error(&logger_, "%s\n", line.c_str());
    }
    problems.remove_prefix(std::min(end + 1, problems.size()));
  }
  return std::move(result.set);
}

LV2_Worker_Status Plugin::work(LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle, uint32_t size,
                               const void* data) {
  WorkHeader header{};
  if (size < sizeof header) return LV2_WORKER_ERR_UNKNOWN;
  std::memcpy(&header, data, sizeof header);
  const auto* body = static_cast<const char*>(data) + sizeof header;
  if (header.size != size - sizeof header) return LV2_WORKER_ERR_UNKNOWN;
  WorkReply reply{};
  reply.generation = header.generation;
  switch (header.kind) {
    case Work::kLoad: {
      const std::string path(body, header.size);
      {
        const std::lock_guard lock(stateLock_);
        if (header.generation != stateGeneration_) return LV2_WORKER_SUCCESS;  // a state was restored since
      }
      std::unique_ptr<LoadedSet> set = load(path);
      // The set becomes the chosen one only if no state was restored while it loaded, and only
      // once run() is sure to get it; otherwise it goes here.
      const std::lock_guard lock(stateLock_);
      if (header.generation != stateGeneration_) return LV2_WORKER_SUCCESS;
      reply.set = set ? adopt(std::move(set)) : nullptr;
      if (respond(handle, sizeof reply, &reply) != LV2_WORKER_SUCCESS) {
        if (reply.set != nullptr) {
          lv2_log_error(&logger_, "zumbel: the host could not take the loaded set %s\n", path.c_str());
          destroy(reply.set);
        }
        return LV2_WORKER_ERR_NO_SPACE;
      }
      if (reply.set != nullptr) chosenPath_ = path;  // the audio thread owns it now
      return LV2_WORKER_SUCCESS;
    }
    case Work::kFree: {
      LoadedSet* first = nullptr;
      if (header.size != sizeof first) return LV2_WORKER_ERR_UNKNOWN;
      std::memcpy(&first, body, sizeof first);
      while (first != nullptr) destroy(std::exchange(first, first->nextToFree));
      return LV2_WORKER_SUCCESS;
    }
    case Work::kPathRefused: {
      lv2_log_error(&logger_, "zumbel: the drum set must be a file path of 1 to %zu bytes\n", kMaxSetPathBytes - 1);
      respond(handle, sizeof reply, &reply);
      return LV2_WORKER_SUCCESS;
    }
  }
  return LV2_WORKER_ERR_UNKNOWN;
}

template <typename T>
const T* findFeature(const LV2_Feature* const* features, const char* uri) {
  for (; features != nullptr && *features != nullptr; ++features) {
    if (std::strcmp((*features)->URI, uri) == 0) return static_cast<const T*>((*features)->data);
  }
  return nullptr;
}

LV2_State_Status Plugin::save(LV2_State_Store_Function store, LV2_State_Handle handle,
                              const LV2_Feature* const* features) {
  std::string path;
  {
    const std::lock_guard lock(stateLock_);
    path = chosenPath_;
  }
  if (path.empty()) return LV2_STATE_SUCCESS;
  // The host turns the path into one that still names the set when the session moves; it never
  // copies or removes the set itself.
  const auto* mapPath = findFeature<LV2_State_Map_Path>(features, LV2_STATE__mapPath);
  const auto* freePath = findFeature<LV2_State_Free_Path>(features, LV2_STATE__freePath);
  char* mapped = mapPath != nullptr ? mapPath->abstract_path(mapPath->handle, path.c_str()) : nullptr;
  const char* value = mapped != nullptr ? mapped : path.c_str();
  const LV2_State_Status status = store(handle, uris_.setParameter, value, std::strlen(value) + 1, uris_.atomPath,
                                        LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
  if (mapped != nullptr) {
    if (freePath != nullptr) {
      freePath->free_path(freePath->handle, mapped);
    } else {
      std::free(mapped);
    }
  }
  return status;
}

LV2_State_Status Plugin::restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                                 const LV2_Feature* const* features) {
  std::size_t size = 0;
  uint32_t type = 0;
  uint32_t flags = 0;
  const void* value = retrieve(handle, uris_.setParameter, &size, &type, &flags);
  if (value == nullptr) return LV2_STATE_SUCCESS;  // a session saved before any set was chosen
  const auto* text = static_cast<const char*>(value);
  if (type != uris_.atomPath || size == 0 || strnlen(text, size) == size || text[0] == '\0') {
    return LV2_STATE_ERR_BAD_TYPE;
  }
  const auto* mapPath = findFeature<LV2_State_Map_Path>(features, LV2_STATE__mapPath);
  const auto* freePath = findFeature<LV2_State_Free_Path>(features, LV2_STATE__freePath);
  char* absolute = mapPath != nullptr ? mapPath->absolute_path(mapPath->handle, text) : nullptr;
  const std::string path = absolute != nullptr ? absolute : text;
  if (absolute != nullptr) {
    if (freePath != nullptr) {
      freePath->free_path(freePath->handle, absolute);
    } else {
      std::free(absolute);
    }
  }
  std::unique_ptr<LoadedSet> set = load(path);
  if (!set) {
    // The session still names it; once the file is back, the session plays it again.
    set = std::make_unique<LoadedSet>();
    set->path = path;
  }
  LoadedSet* restored = adopt(std::move(set));
  LoadedSet* unplayed = nullptr;
  {
    const std::lock_guard lock(stateLock_);
    restored->generation = ++stateGeneration_;
    chosenPath_ = path;
    unplayed = restored_.exchange(restored, std::memory_order_acq_rel);
  }
  if (unplayed != nullptr) destroy(unplayed);  // restored before, and never taken by run()
  return LV2_STATE_SUCCESS;
}

// --- the C entry points ---

Plugin* self(LV2_Handle handle) { return static_cast<Plugin*>(handle); }

LV2_Handle instantiate(const LV2_Descriptor* descriptor, double rate, const char*, const LV2_Feature* const* features) {
  auto* map = const_cast<LV2_URID_Map*>(findFeature<LV2_URID_Map>(features, LV2_URID__map));
  auto* schedule = const_cast<LV2_Worker_Schedule*>(findFeature<LV2_Worker_Schedule>(features, LV2_WORKER__schedule));
  auto* log = const_cast<LV2_Log_Log*>(findFeature<LV2_Log_Log>(features, LV2_LOG__log));
  const double rounded = std::round(rate);
  if (map == nullptr || schedule == nullptr || !(rounded >= kMinDeviceRate && rounded <= kMaxDeviceRate)) {
    return nullptr;
  }
  try {
    // By its URI: a host wrapping plugins may hand over a copy of the descriptor.
    const bool multi =
        descriptor != nullptr && descriptor->URI != nullptr && std::strcmp(descriptor->URI, kZumbelMultiUri) == 0;
    const int pairs = multi ? kMultiPairs : kStereoPairs;
    return new Plugin(static_cast<int>(rounded), pairs, map, schedule, log);
  } catch (...) {
    return nullptr;
  }
}

void connectPort(LV2_Handle handle, uint32_t port, void* data) { self(handle)->connect(port, data); }
void activate(LV2_Handle handle) { self(handle)->activate(); }
void run(LV2_Handle handle, uint32_t frames) { self(handle)->run(frames); }
void cleanup(LV2_Handle handle) { delete self(handle); }

LV2_Worker_Status work(LV2_Handle handle, LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle respondHandle,
                       uint32_t size, const void* data) {
  try {
    return self(handle)->work(respond, respondHandle, size, data);
  } catch (...) {
    return LV2_WORKER_ERR_UNKNOWN;
  }
}
LV2_Worker_Status workResponse(LV2_Handle handle, uint32_t size, const void* data) {
  return self(handle)->workResponse(size, data);
}

LV2_State_Status save(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state, uint32_t,
                      const LV2_Feature* const* features) {
  try {
    return self(handle)->save(store, state, features);
  } catch (...) {
    return LV2_STATE_ERR_UNKNOWN;
  }
}
LV2_State_Status restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve, LV2_State_Handle state, uint32_t,
                         const LV2_Feature* const* features) {
  try {
    return self(handle)->restore(retrieve, state, features);
  } catch (...) {
    return LV2_STATE_ERR_UNKNOWN;
  }
}

const void* extensionData(const char* uri) {
  static const LV2_Worker_Interface worker{work, workResponse, nullptr};
  static const LV2_State_Interface state{save, restore};
  if (std::strcmp(uri, LV2_WORKER__interface) == 0) return &worker;
  if (std::strcmp(uri, LV2_STATE__interface) == 0) return &state;
  return nullptr;
}

const LV2_Descriptor kDescriptors[] = {
    {kZumbelPluginUri, instantiate, connectPort, activate, run, nullptr, cleanup, extensionData},
    {kZumbelMultiUri, instantiate, connectPort, activate, run, nullptr, cleanup, extensionData},
};

}  // namespace
}  // namespace zumbel

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index < std::size(zumbel::kDescriptors) ? &zumbel::kDescriptors[index] : nullptr;
}
