// The LV2 instrument: MIDI in through an atom port, the drum set's stereo mix out. The set is a
// path parameter; it is read and its voices built on the host's worker thread, and run() only
// takes the finished set over (SetPlayer). The host's saved session keeps the set's path.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/log/logger.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include "EngineConfig.h"
#include "LoadedSet.h"
#include "SetPlayer.h"
#include "ShortMessage.h"
#include "ZumbelLv2Uris.h"

namespace zumbel {
namespace {

enum Port : uint32_t { kControlPort = 0, kNotifyPort, kLeftPort, kRightPort, kChannelPort };

// What run() asks of the worker. A load carries the path after the header; a free carries the
// set to free.
enum class Work : uint32_t { kLoad, kFree, kPathRefused };
struct WorkHeader {
  Work kind;
  uint32_t size;  // bytes after the header
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
  Plugin(int rate, const LV2_URID_Map* map, LV2_Worker_Schedule* schedule, LV2_Log_Log* log)
      : rate_(rate), uris_(map), schedule_(schedule), player_(rate) {
    lv2_atom_forge_init(&forge_, const_cast<LV2_URID_Map*>(map));
    lv2_log_logger_init(&logger_, const_cast<LV2_URID_Map*>(map), log);
  }
  ~Plugin() {
    for (LoadedSet* set : player_.releaseAll()) delete set;
    for (std::size_t i = 0; i < freeCount_; ++i) delete freeQueue_[i];
  }

  void connect(uint32_t port, void* data) noexcept {
    switch (port) {
      case kControlPort: control_ = static_cast<const LV2_Atom_Sequence*>(data); break;
      case kNotifyPort: notify_ = static_cast<LV2_Atom_Sequence*>(data); break;
      case kLeftPort: left_ = static_cast<float*>(data); break;
      case kRightPort: right_ = static_cast<float*>(data); break;
      case kChannelPort: channel_ = static_cast<const float*>(data); break;
      default: break;
    }
  }

  void run(uint32_t frames) noexcept;

  // --- worker thread ---
  LV2_Worker_Status work(LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle, uint32_t size,
                         const void* data);
  // --- audio thread, after run() ---
  LV2_Worker_Status workResponse(uint32_t size, const void* data) noexcept;

  // --- the host's threads, never during run() ---
  LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle, const LV2_Feature* const* features);
  LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                           const LV2_Feature* const* features);

 private:
  void handleObject(const LV2_Atom_Object* object) noexcept;
  void requestLoad(const LV2_Atom* value) noexcept;
  void announceSet() noexcept;
  void queueFree(LoadedSet* set) noexcept;
  void sendFrees() noexcept;
  // Opens a set, says what is wrong with it in the host's log, and remembers it as the state.
  std::unique_ptr<LoadedSet> load(const std::string& path);

  const int rate_;
  const Uris uris_;
  LV2_Worker_Schedule* schedule_;
  LV2_Atom_Forge forge_{};
  LV2_Atom_Forge_Frame notifyFrame_{};  // the notify sequence, open during run()
  LV2_Log_Logger logger_{};
  SetPlayer player_;

  const LV2_Atom_Sequence* control_ = nullptr;
  LV2_Atom_Sequence* notify_ = nullptr;
  float* left_ = nullptr;
  float* right_ = nullptr;
  const float* channel_ = nullptr;

  std::array<TimedMessage, kMaxEventsPerCycle> batch_{};
  // Sets run() has let go of, waiting to reach the worker; a host whose worker ring is full gets
  // them on a later cycle.
  std::array<LoadedSet*, kSetFreeQueue> freeQueue_{};
  std::size_t freeCount_ = 0;
  // A chosen set did not open: the host is told again which set plays, so its file chooser does
  // not go on showing the file that failed.
  bool reannounce_ = false;

  // The path the host's session keeps: the last set that opened. Written by the worker and by
  // restore, read by save; run() never touches it.
  std::mutex statePathLock_;
  std::string statePath_;
};

void Plugin::run(uint32_t frames) noexcept {
  if (channel_ != nullptr && std::isfinite(*channel_)) {
    player_.setChannel(static_cast<int>(std::lround(std::clamp(*channel_, 1.0f, 16.0f))));
  }
  if (notify_ != nullptr) {
    lv2_atom_forge_set_buffer(&forge_, reinterpret_cast<uint8_t*>(notify_), notify_->atom.size);
    lv2_atom_forge_sequence_head(&forge_, &notifyFrame_, 0);
  }
  sendFrees();

  // Messages collect until their frame; the engine then renders up to each one in turn. A block
  // longer than the mixer's largest, or more messages than one batch holds, goes in pieces.
  uint32_t start = 0;
  std::size_t count = 0;
  auto renderTo = [&](uint32_t end) noexcept {
    player_.process(left_ + start, right_ + start, static_cast<int>(end - start),
                    std::span<const TimedMessage>(batch_.data(), count));
    start = end;
    count = 0;
  };
  if (control_ != nullptr) {
    LV2_ATOM_SEQUENCE_FOREACH(control_, event) {
      const LV2_Atom& body = event->body;
      if (body.type == uris_.midiEvent) {
        const auto* bytes = static_cast<const uint8_t*>(LV2_ATOM_BODY_CONST(&body));
        // Channel messages only: system messages carry nothing a drum set plays.
        if (body.size < 1 || body.size > 3 || bytes[0] < 0x80 || bytes[0] >= 0xF0) continue;
        const auto at = static_cast<uint32_t>(std::clamp<int64_t>(event->time.frames, start, frames));
        while (at - start > static_cast<uint32_t>(kMaxBlockFrames)) renderTo(start + kMaxBlockFrames);
        if (count == batch_.size()) renderTo(at);
        batch_[count++] = TimedMessage{at - start, packShortMessage(bytes[0], body.size > 1 ? bytes[1] : 0,
                                                                    body.size > 2 ? bytes[2] : 0)};
      } else if (body.type == uris_.atomObject) {
        handleObject(reinterpret_cast<const LV2_Atom_Object*>(&body));
      }
    }
  }
  while (frames - start > static_cast<uint32_t>(kMaxBlockFrames)) renderTo(start + kMaxBlockFrames);
  renderTo(frames);

  if (player_.takeSwapped() || std::exchange(reannounce_, false)) announceSet();
  if (notify_ != nullptr) lv2_atom_forge_pop(&forge_, &notifyFrame_);
  if (LoadedSet* retired = player_.takeRetired()) queueFree(retired);
  sendFrees();
}

void Plugin::handleObject(const LV2_Atom_Object* object) noexcept {
  const LV2_Atom* property = nullptr;
  const LV2_Atom* value = nullptr;
  lv2_atom_object_get(object, uris_.patchProperty, &property, uris_.patchValue, &value, 0);
  const bool aboutSet = property != nullptr && property->type == uris_.atomUrid &&
                        reinterpret_cast<const LV2_Atom_URID*>(property)->body == uris_.setParameter;
  if (object->body.otype == uris_.patchSet && aboutSet && value != nullptr) {
    requestLoad(value);
  } else if (object->body.otype == uris_.patchGet && (property == nullptr || aboutSet)) {
    announceSet();
  }
}

void Plugin::requestLoad(const LV2_Atom* value) noexcept {
  struct {
    WorkHeader header;
    char path[kMaxSetPathBytes];
  } message;
  const auto* text = static_cast<const char*>(LV2_ATOM_BODY_CONST(value));
  const std::size_t length = value->type == uris_.atomPath ? strnlen(text, value->size) : kMaxSetPathBytes;
  if (length == 0 || length >= kMaxSetPathBytes) {
    // Logging is the worker's: the audio thread only says that something was refused.
    message.header = WorkHeader{Work::kPathRefused, 0};
    schedule_->schedule_work(schedule_->handle, sizeof message.header, &message.header);
    return;
  }
  message.header = WorkHeader{Work::kLoad, static_cast<uint32_t>(length)};
  std::memcpy(message.path, text, length);
  schedule_->schedule_work(schedule_->handle, static_cast<uint32_t>(sizeof message.header + length), &message);
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
  if (freeCount_ < freeQueue_.size()) {
    freeQueue_[freeCount_++] = set;
    return;
  }
  // Only a host whose worker ring stays full for many cycles gets here; a late free costs a
  // glitch, where losing the set would cost its memory for good.
  delete set;
}

void Plugin::sendFrees() noexcept {
  while (freeCount_ > 0) {
    struct {
      WorkHeader header;
      LoadedSet* set;
    } message{WorkHeader{Work::kFree, sizeof(LoadedSet*)}, freeQueue_[freeCount_ - 1]};
    if (schedule_->schedule_work(schedule_->handle, sizeof message, &message) != LV2_WORKER_SUCCESS) return;
    --freeCount_;
  }
}

LV2_Worker_Status Plugin::workResponse(uint32_t size, const void* data) noexcept {
  if (size != sizeof(LoadedSet*)) return LV2_WORKER_ERR_UNKNOWN;
  LoadedSet* set = nullptr;
  std::memcpy(&set, data, sizeof set);
  if (set == nullptr) {
    reannounce_ = true;
    return LV2_WORKER_SUCCESS;
  }
  queueFree(player_.offer(set));
  return LV2_WORKER_SUCCESS;
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
  if (result.set) {
    const std::lock_guard lock(statePathLock_);
    statePath_ = path;
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
  switch (header.kind) {
    case Work::kLoad: {
      std::unique_ptr<LoadedSet> set = load(std::string(body, header.size));
      if (!set) {
        LoadedSet* none = nullptr;
        respond(handle, sizeof none, &none);
        return LV2_WORKER_SUCCESS;
      }
      LoadedSet* raw = set.get();
      if (respond(handle, sizeof raw, &raw) != LV2_WORKER_SUCCESS) {
        lv2_log_error(&logger_, "zumbel: the host could not take the loaded set %s\n", raw->path.c_str());
        return LV2_WORKER_ERR_NO_SPACE;
      }
      set.release();  // the audio thread owns it now
      return LV2_WORKER_SUCCESS;
    }
    case Work::kFree: {
      LoadedSet* set = nullptr;
      if (header.size != sizeof set) return LV2_WORKER_ERR_UNKNOWN;
      std::memcpy(&set, body, sizeof set);
      delete set;
      return LV2_WORKER_SUCCESS;
    }
    case Work::kPathRefused: {
      lv2_log_error(&logger_, "zumbel: the drum set must be a file path of 1 to %zu bytes\n", kMaxSetPathBytes - 1);
      LoadedSet* none = nullptr;
      respond(handle, sizeof none, &none);
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
    const std::lock_guard lock(statePathLock_);
    path = statePath_;
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
  if (type != uris_.atomPath || size == 0 || strnlen(text, size) == size) return LV2_STATE_ERR_BAD_TYPE;
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
  if (!set) return LV2_STATE_ERR_UNKNOWN;  // the set playing until now goes on playing
  // Restoring never runs alongside run(), so the sets held can go at once.
  for (LoadedSet* old : player_.releaseAll()) delete old;
  player_.offer(set.release());
  return LV2_STATE_SUCCESS;
}

// --- the C entry points ---

Plugin* self(LV2_Handle handle) { return static_cast<Plugin*>(handle); }

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
  auto* map = const_cast<LV2_URID_Map*>(findFeature<LV2_URID_Map>(features, LV2_URID__map));
  auto* schedule = const_cast<LV2_Worker_Schedule*>(findFeature<LV2_Worker_Schedule>(features, LV2_WORKER__schedule));
  auto* log = const_cast<LV2_Log_Log*>(findFeature<LV2_Log_Log>(features, LV2_LOG__log));
  const double rounded = std::round(rate);
  if (map == nullptr || schedule == nullptr || !(rounded >= kMinDeviceRate && rounded <= kMaxDeviceRate)) {
    return nullptr;
  }
  try {
    return new Plugin(static_cast<int>(rounded), map, schedule, log);
  } catch (...) {
    return nullptr;
  }
}

void connectPort(LV2_Handle handle, uint32_t port, void* data) { self(handle)->connect(port, data); }
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

const LV2_Descriptor kDescriptor{kZumbelPluginUri, instantiate, connectPort, nullptr, run, nullptr, cleanup, extensionData};

}  // namespace
}  // namespace zumbel

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index == 0 ? &zumbel::kDescriptor : nullptr;
}
