#include "Lv2TestHost.h"

#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "RealtimeScope.h"

namespace zumbel::test {

namespace {

constexpr const char* kSetUri = "https://zumbel.nordwick.org/lv2#set";
constexpr std::size_t kSequenceBytes = 1 << 16;

}  // namespace

Lv2World::Lv2World(const std::string& bundleDir) : world_(lilv_world_new()) {
  std::string uri = "file://" + bundleDir;
  if (uri.back() != '/') uri += '/';
  LilvNode* bundle = lilv_new_uri(world_, uri.c_str());
  lilv_world_load_bundle(world_, bundle);
  lilv_node_free(bundle);
}

const LilvPlugin* Lv2World::plugin(const char* uri) const {
  LilvNode* node = lilv_new_uri(world_, uri);
  const LilvPlugin* found = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), node);
  lilv_node_free(node);
  return found;
}

Lv2World::~Lv2World() { lilv_world_free(world_); }

LV2_URID Lv2World::mapUri(LV2_URID_Map_Handle handle, const char* uri) {
  auto* self = static_cast<Lv2World*>(handle);
  const std::lock_guard lock(self->lock_);
  auto [it, added] = self->ids_.try_emplace(uri, static_cast<LV2_URID>(self->uris_.size() + 1));
  if (added) self->uris_.push_back(std::make_unique<std::string>(uri));
  return it->second;
}

const char* Lv2World::unmapUri(LV2_URID_Unmap_Handle handle, LV2_URID urid) {
  auto* self = static_cast<Lv2World*>(handle);
  const std::lock_guard lock(self->lock_);
  return urid >= 1 && urid <= self->uris_.size() ? self->uris_[urid - 1]->c_str() : nullptr;
}

bool Lv2TestHost::Ring::push(uint32_t size, const void* data) {
  const std::size_t at = pushed.load(std::memory_order_relaxed);
  if (at - popped.load(std::memory_order_acquire) == messages.size() || size > messages[0].data.size()) return false;
  Message& m = messages[at % messages.size()];
  m.size = size;
  std::memcpy(m.data.data(), data, size);
  pushed.store(at + 1, std::memory_order_release);
  return true;
}

std::size_t Lv2TestHost::Ring::size() const noexcept {
  return pushed.load(std::memory_order_acquire) - popped.load(std::memory_order_relaxed);
}

Lv2TestHost::Lv2TestHost(Lv2World& world, double rate, const char* uri)
    : world_(world),
      mapF_{LV2_URID__map, world.map()},
      unmapF_{LV2_URID__unmap, world.unmap()},
      scheduleF_{LV2_WORKER__schedule, &scheduleFeature_},
      logF_{LV2_LOG__log, &logFeature_},
      forged_(kSequenceBytes / 8),
      notify_(kSequenceBytes / 8) {
  features_ = {&mapF_, &unmapF_, &scheduleF_, &logF_, nullptr};
  plugin_ = world.plugin(uri);
  if (plugin_ == nullptr) return;
  LilvWorld* w = world.world();
  auto portNamed = [&](const char* symbol) {
    LilvNode* node = lilv_new_string(w, symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin_, node);
    lilv_node_free(node);
    return port != nullptr ? lilv_port_get_index(plugin_, port) : UINT32_MAX;
  };
  controlPort_ = portNamed("control");
  notifyPort_ = portNamed("notify");
  channelPort_ = portNamed("channel");
  LilvNode* audio = lilv_new_uri(w, LV2_CORE__AudioPort);
  LilvNode* output = lilv_new_uri(w, LV2_CORE__OutputPort);
  for (uint32_t i = 0; i < lilv_plugin_get_num_ports(plugin_); ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin_, i);
    if (lilv_port_is_a(plugin_, port, audio) && lilv_port_is_a(plugin_, port, output)) outputPorts_.push_back(i);
  }
  lilv_node_free(output);
  lilv_node_free(audio);
  const bool usable = controlPort_ != UINT32_MAX && notifyPort_ != UINT32_MAX && channelPort_ != UINT32_MAX &&
                      !outputPorts_.empty() && outputPorts_.size() % 2 == 0 && outputPorts_.size() <= 2 * kMaxPairs;
  if (!usable) return;
  outputOn_.assign(outputPorts_.size(), true);
  outBuffers_.assign(outputPorts_.size(), std::vector<float>(kMaxBlock));
  instance_ = lilv_plugin_instantiate(plugin_, rate, features_.data());
  if (instance_ == nullptr) return;
  worker_ =
      static_cast<const LV2_Worker_Interface*>(lilv_instance_get_extension_data(instance_, LV2_WORKER__interface));
  for (uint32_t port = kLv2ControlPort; port <= kLv2ChannelPort; ++port) connect(static_cast<Lv2Port>(port), true);
  for (std::size_t o = 0; o < outputPorts_.size(); ++o) connectOutput(o, true);
  lilv_instance_activate(instance_);
}

Lv2TestHost::~Lv2TestHost() {
  if (workerThread_.joinable()) {
    stopWorker_.store(true, std::memory_order_release);
    workReady_.release();
    workerThread_.join();
  }
  if (instance_ == nullptr) return;
  lilv_instance_deactivate(instance_);
  lilv_instance_free(instance_);
}

void Lv2TestHost::midi(uint32_t frame, uint8_t status, uint8_t data1, uint8_t data2) {
  pendingMidi_.push_back(Lv2Midi{frame, {status, data1, data2}, 3});
}

void Lv2TestHost::setDrumSet(const std::string& path, const char* type) {
  pendingSets_.emplace_back(path, type != nullptr ? type : LV2_ATOM__Path);
}

void Lv2TestHost::getDrumSet() { pendingGet_ = true; }

void Lv2TestHost::rawEvents(const std::vector<uint8_t>& bytes) {
  pendingRaw_.insert(pendingRaw_.end(), bytes.begin(), bytes.end());
}

void Lv2TestHost::connect(Lv2Port port, bool connected) {
  switch (port) {
    case kLv2ControlPort:
      controlOn_ = connected;
      lilv_instance_connect_port(instance_, controlPort_, connected ? control_.get() : nullptr);
      break;
    case kLv2NotifyPort:
      notifyOn_ = connected;
      lilv_instance_connect_port(instance_, notifyPort_, connected ? notify_.data() : nullptr);
      break;
    case kLv2LeftPort: connectOutput(0, connected); break;
    case kLv2RightPort: connectOutput(1, connected); break;
    case kLv2ChannelPort:
      channelOn_ = connected;
      lilv_instance_connect_port(instance_, channelPort_, connected ? &channel_ : nullptr);
      break;
  }
}

void Lv2TestHost::connectOutput(std::size_t output, bool connected) {
  outputOn_.at(output) = connected;
  lilv_instance_connect_port(instance_, outputPorts_[output], connected ? outBuffers_[output].data() : nullptr);
}

void Lv2TestHost::restart() {
  lilv_instance_deactivate(instance_);
  lilv_instance_activate(instance_);
}

void Lv2TestHost::run(uint32_t frames) {
  frames = std::min(frames, kMaxBlock);
  LV2_Atom_Forge forge;
  lv2_atom_forge_init(&forge, world_.map());
  lv2_atom_forge_set_buffer(&forge, reinterpret_cast<uint8_t*>(forged_.data()), kSequenceBytes);
  LV2_Atom_Forge_Frame sequence;
  lv2_atom_forge_sequence_head(&forge, &sequence, 0);
  for (const auto& [path, type] : pendingSets_) {
    lv2_atom_forge_frame_time(&forge, 0);
    LV2_Atom_Forge_Frame object;
    lv2_atom_forge_object(&forge, &object, 0, world_.urid(LV2_PATCH__Set));
    lv2_atom_forge_key(&forge, world_.urid(LV2_PATCH__property));
    lv2_atom_forge_urid(&forge, world_.urid(kSetUri));
    lv2_atom_forge_key(&forge, world_.urid(LV2_PATCH__value));
    lv2_atom_forge_typed_string(&forge, world_.urid(type.c_str()), path.c_str(), static_cast<uint32_t>(path.size()));
    lv2_atom_forge_pop(&forge, &object);
  }
  if (pendingGet_) {
    lv2_atom_forge_frame_time(&forge, 0);
    LV2_Atom_Forge_Frame object;
    lv2_atom_forge_object(&forge, &object, 0, world_.urid(LV2_PATCH__Get));
    lv2_atom_forge_pop(&forge, &object);
  }
  std::stable_sort(pendingMidi_.begin(), pendingMidi_.end(),
                   [](const Lv2Midi& a, const Lv2Midi& b) { return a.frame < b.frame; });
  for (const Lv2Midi& m : pendingMidi_) {
    lv2_atom_forge_frame_time(&forge, m.frame);
    lv2_atom_forge_atom(&forge, m.size, world_.urid(LV2_MIDI__MidiEvent));
    lv2_atom_forge_write(&forge, m.bytes.data(), m.size);
  }
  if (!pendingRaw_.empty()) {
    lv2_atom_forge_raw(&forge, pendingRaw_.data(), static_cast<uint32_t>(pendingRaw_.size()));
  }
  lv2_atom_forge_pop(&forge, &sequence);
  pendingMidi_.clear();
  pendingSets_.clear();
  pendingRaw_.clear();
  pendingGet_ = false;
  // The plugin gets the sequence in a buffer that ends where the sequence does.
  const auto* forged = reinterpret_cast<const LV2_Atom*>(forged_.data());
  const std::size_t bytes = std::min<std::size_t>(sizeof(LV2_Atom) + forged->size, kSequenceBytes);
  if (bytes != controlBytes_) {
    control_.reset(new uint8_t[bytes]);
    controlBytes_ = bytes;
    if (controlOn_) connect(kLv2ControlPort, true);
  }
  std::memcpy(control_.get(), forged_.data(), bytes);

  auto* out = reinterpret_cast<LV2_Atom_Sequence*>(notify_.data());
  out->atom.type = world_.urid(LV2_ATOM__Chunk);
  out->atom.size = kSequenceBytes - sizeof(LV2_Atom);

  {
    const RealtimeScope audioThread;
    const auto started = std::chrono::steady_clock::now();
    lilv_instance_run(instance_, frames);
    if (worker_ != nullptr) {
      for (std::size_t n = responses_->size(); n > 0; --n) {
        const Message& m = responses_->front();
        worker_->work_response(instance_->lv2_handle, m.size, m.data.data());
        responses_->pop();
      }
    }
    lastRunNs_ = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - started).count());
  }
  if (record) {
    for (std::size_t o = 0; o < outBuffers_.size(); ++o) {
      std::vector<float>& buffer = outBuffers_[o];
      if (!outputOn_[o]) std::fill_n(buffer.begin(), frames, 0.0f);
      std::vector<float>& heard = o % 2 == 0 ? outputs[o / 2].left : outputs[o / 2].right;
      heard.insert(heard.end(), buffer.begin(), buffer.begin() + frames);
    }
  }
  if (!notifyOn_) return;

  const LV2_URID patchSet = world_.urid(LV2_PATCH__Set);
  const LV2_URID value = world_.urid(LV2_PATCH__value);
  LV2_ATOM_SEQUENCE_FOREACH(out, event) {
    if (event->body.type != world_.urid(LV2_ATOM__Object)) continue;
    const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
    if (object->body.otype != patchSet) continue;
    const LV2_Atom* path = nullptr;
    lv2_atom_object_get(object, value, &path, 0);
    if (path != nullptr) announced.emplace_back(static_cast<const char*>(LV2_ATOM_BODY_CONST(path)));
  }
}

void Lv2TestHost::workFront() {
  const Message& m = requests_->front();
  worker_->work(instance_->lv2_handle, respond, this, m.size, m.data.data());
  requests_->pop();
}

void Lv2TestHost::doWork() {
  if (worker_ == nullptr || workerThread_.joinable()) return;
  // What the plugin schedules while working waits for the next call, as on a real worker thread.
  for (std::size_t n = requests_->size(); n > 0; --n) workFront();
}

void Lv2TestHost::startWorkerThread() {
  if (worker_ == nullptr || workerThread_.joinable()) return;
  workerThread_ = std::thread([this] {
    for (;;) {
      workReady_.acquire();
      while (requests_->size() > 0) workFront();
      // What was scheduled before the stop has been worked on, so no set is left unfreed.
      if (stopWorker_.load(std::memory_order_acquire)) return;
    }
  });
}

LV2_Worker_Status Lv2TestHost::schedule(LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data) {
  auto* self = static_cast<Lv2TestHost*>(handle);
  if (self->workerFull || !self->requests_->push(size, data)) return LV2_WORKER_ERR_NO_SPACE;
  if (self->workerThread_.joinable()) self->workReady_.release();
  return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status Lv2TestHost::respond(LV2_Worker_Respond_Handle handle, uint32_t size, const void* data) {
  return static_cast<Lv2TestHost*>(handle)->responses_->push(size, data) ? LV2_WORKER_SUCCESS : LV2_WORKER_ERR_NO_SPACE;
}

int Lv2TestHost::logPrintf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = logVprintf(handle, type, format, args);
  va_end(args);
  return n;
}

int Lv2TestHost::logVprintf(LV2_Log_Handle handle, LV2_URID, const char* format, va_list args) {
  auto* self = static_cast<Lv2TestHost*>(handle);
  std::array<char, 8192> text{};
  const int n = std::vsnprintf(text.data(), text.size(), format, args);
  const std::lock_guard lock(self->logLock_);
  self->log_.emplace_back(text.data());
  return n;
}

std::vector<std::string> Lv2TestHost::logged() const {
  const std::lock_guard lock(logLock_);
  return log_;
}

const void* Lv2TestHost::portValue(const char* symbol, void* self, uint32_t* size, uint32_t* type) {
  auto* host = static_cast<Lv2TestHost*>(self);
  if (std::strcmp(symbol, "channel") != 0) return nullptr;
  *size = sizeof(float);
  *type = host->world_.urid(LV2_ATOM__Float);
  return &host->channel_;
}

void Lv2TestHost::setPortValue(const char* symbol, void* self, const void* value, uint32_t size, uint32_t type) {
  auto* host = static_cast<Lv2TestHost*>(self);
  if (std::strcmp(symbol, "channel") == 0 && size == sizeof(float) && type == host->world_.urid(LV2_ATOM__Float)) {
    std::memcpy(&host->channel_, value, sizeof(float));
  }
}

bool Lv2TestHost::saveState(const std::string& dir) {
  // As jalv and other lilv hosts do: files outside the session are linked into it. (lilv 0.24
  // removes a file the state names outside the session when it is given no folder for links.)
  LilvState* state = lilv_state_new_from_instance(plugin_, instance_, world_.map(), nullptr, nullptr,
                                                  dir.c_str(), dir.c_str(), portValue, this,
                                                  LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features_.data());
  if (state == nullptr) return false;
  const int error = lilv_state_save(world_.world(), world_.map(), world_.unmap(), state, nullptr, dir.c_str(), "state.ttl");
  lilv_state_free(state);
  return error == 0;
}

LV2_State_Status Lv2TestHost::storeSetPath(LV2_State_Handle handle, uint32_t key, const void* value, size_t size,
                                           uint32_t, uint32_t) {
  auto* out = static_cast<std::pair<Lv2TestHost*, std::string>*>(handle);
  if (key == out->first->world_.urid(kSetUri)) out->second.assign(static_cast<const char*>(value), strnlen(static_cast<const char*>(value), size));
  return LV2_STATE_SUCCESS;
}

std::string Lv2TestHost::savedSetPath() {
  const auto* state =
      static_cast<const LV2_State_Interface*>(lilv_instance_get_extension_data(instance_, LV2_STATE__interface));
  std::pair<Lv2TestHost*, std::string> out{this, {}};
  state->save(instance_->lv2_handle, storeSetPath, &out, 0, features_.data());
  return out.second;
}

bool Lv2TestHost::restoreState(const std::string& dir, bool ports) {
  const std::string file = dir + "/state.ttl";
  LilvState* state = lilv_state_new_from_file(world_.world(), world_.map(), nullptr, file.c_str());
  if (state == nullptr) return false;
  lilv_state_restore(state, instance_, ports ? setPortValue : nullptr, this, 0, features_.data());
  lilv_state_free(state);
  return true;
}

}  // namespace zumbel::test
