#pragma once
// A small LV2 host on lilv, as a DAW is one: it loads the bundle from the build folder, gives the
// plugin a URID map, a log and a worker, sends MIDI and patch messages at their frames, reads what
// the plugin notifies, and saves and restores its state through lilv's own files. The worker runs
// when the test says (doWork), so every test is deterministic, or on a thread of its own as in a
// DAW (startWorkerThread, for the soak run); run() and the worker's replies are marked as the audio
// thread for the allocation guard, and the host's own part of them allocates nothing. It can also
// be a careless host: forged atoms, a full worker ring, unconnected ports. The control sequence
// lies in a buffer of exactly its own size, so the sanitizers catch any read past it.

#include <lilv/lilv.h>
#include <lv2/log/log.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace zumbel::test {

// The bundle's two plugins: the stereo one, and Multi with a stereo output for each mixer pair.
inline constexpr const char* kLv2StereoUri = "https://zumbel.nordwick.org/lv2";
inline constexpr const char* kLv2MultiUri = "https://zumbel.nordwick.org/lv2/multi";

// The bundle, its plugins and the URIs every host maps: one per process.
class Lv2World {
 public:
  // Loads the bundle at `bundleDir` (a folder, with or without the trailing slash).
  explicit Lv2World(const std::string& bundleDir);
  ~Lv2World();
  Lv2World(const Lv2World&) = delete;
  Lv2World& operator=(const Lv2World&) = delete;

  LilvWorld* world() const noexcept { return world_; }
  // The plugin at `uri`; null when the bundle lacks it.
  const LilvPlugin* plugin(const char* uri = kLv2StereoUri) const;
  LV2_URID_Map* map() noexcept { return &map_; }
  LV2_URID_Unmap* unmap() noexcept { return &unmap_; }
  LV2_URID urid(const char* uri) { return map_.map(map_.handle, uri); }

 private:
  static LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri);
  static const char* unmapUri(LV2_URID_Unmap_Handle handle, LV2_URID urid);

  LilvWorld* world_;
  std::mutex lock_;
  std::unordered_map<std::string, LV2_URID> ids_;
  std::vector<std::unique_ptr<std::string>> uris_;
  LV2_URID_Map map_{this, mapUri};
  LV2_URID_Unmap unmap_{this, unmapUri};
};

// One MIDI message for the next run(), at its frame within the block.
struct Lv2Midi {
  uint32_t frame = 0;
  std::array<uint8_t, 3> bytes{};
  uint32_t size = 3;
};

// The ports a test names; left and right are the first pair's (the stereo plugin's only pair).
enum Lv2Port : uint32_t { kLv2ControlPort = 0, kLv2NotifyPort, kLv2LeftPort, kLv2RightPort, kLv2ChannelPort };

class Lv2TestHost {
 public:
  static constexpr uint32_t kMaxBlock = 16384;
  static constexpr std::size_t kMaxPairs = 8;

  // An instance of the plugin at `uri`, its ports found by their symbols.
  Lv2TestHost(Lv2World& world, double rate, const char* uri = kLv2StereoUri);
  ~Lv2TestHost();
  Lv2TestHost(const Lv2TestHost&) = delete;
  Lv2TestHost& operator=(const Lv2TestHost&) = delete;

  bool ok() const noexcept { return instance_ != nullptr; }
  // Stereo pairs of audio outputs: left and right of pair k are audio outputs 2k and 2k + 1.
  std::size_t pairs() const noexcept { return outBuffers_.size() / 2; }

  // --- the next run() ---
  void midi(uint32_t frame, uint8_t status, uint8_t data1, uint8_t data2);
  // patch:Set of the drum set to `path`, at frame 0 of the next run(); `type` is the value's
  // atom type (atom:Path unless a test lies about it).
  void setDrumSet(const std::string& path, const char* type = nullptr);
  void getDrumSet();
  void setChannel(float channel) noexcept { channel_ = channel; }
  // Bytes for the next run()'s control sequence as they are, after every event above: the
  // sequence's own size counts them exactly, whatever the sizes inside them claim.
  void rawEvents(const std::vector<uint8_t>& bytes);
  // Connects `port` to the host's buffer again, or to nothing (null). An output connected to
  // nothing is recorded as silence.
  void connect(Lv2Port port, bool connected);
  // The same for audio output `output` (0 .. 2 * pairs() - 1), in port order.
  void connectOutput(std::size_t output, bool connected);
  // deactivate() and activate(), as a host does when it stops and restarts the plugin.
  void restart();

  // One cycle of `frames` (at most kMaxBlock): the queued messages, then the worker's replies.
  // Appends the output to left and right.
  void run(uint32_t frames);
  // Does whatever the plugin asked of its worker, as the host's worker thread would.
  void doWork();
  // From now on the worker runs on a thread of its own, as a DAW's does: what run() schedules is
  // worked on at once, beside the next run() calls, and the replies reach the plugin after the
  // run() that follows them. doWork() then does nothing. The destructor stops the thread.
  void startWorkerThread();
  // How long the last run() spent in the plugin: its run() and the worker's replies.
  uint64_t lastRunNs() const noexcept { return lastRunNs_; }

  // Each run() appends each pair's output here while `record` is on (a benchmark turns it off);
  // `left` and `right` are the first pair's.
  struct Pair {
    std::vector<float> left, right;
  };
  std::array<Pair, kMaxPairs> outputs;
  std::vector<float>& left = outputs[0].left;
  std::vector<float>& right = outputs[0].right;
  bool record = true;
  // Forgets what every pair recorded.
  void clearOutputs() noexcept {
    for (Pair& pair : outputs) pair.left.clear(), pair.right.clear();
  }
  // While set, the worker's ring is full: the plugin's every request is refused.
  bool workerFull = false;
  // The paths the plugin announced with patch:Set, in order.
  std::vector<std::string> announced;
  // Everything the plugin logged, one entry per call.
  std::vector<std::string> logged() const;

  // Saves the state into `dir` (state.ttl), as a host saves a session.
  bool saveState(const std::string& dir);
  // The set's path as save() stores it, given no path mapping; empty when it stores none.
  std::string savedSetPath();
  // Restores a state saved by saveState; `ports` false leaves the port values alone, as a host
  // does that restores on another thread while run() reads them.
  bool restoreState(const std::string& dir, bool ports = true);

 private:
  static LV2_Worker_Status schedule(LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data);
  static LV2_Worker_Status respond(LV2_Worker_Respond_Handle handle, uint32_t size, const void* data);
  static int logPrintf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...);
  static int logVprintf(LV2_Log_Handle handle, LV2_URID type, const char* format, va_list args);
  static const void* portValue(const char* symbol, void* self, uint32_t* size, uint32_t* type);
  static LV2_State_Status storeSetPath(LV2_State_Handle handle, uint32_t key, const void* value, size_t size,
                                       uint32_t type, uint32_t flags);
  static void setPortValue(const char* symbol, void* self, const void* value, uint32_t size, uint32_t type);

  // Fixed rings, so scheduling from run() allocates nothing. One thread pushes and one pops, so
  // the worker thread and run() share them without a lock.
  struct Message {
    uint32_t size = 0;
    std::array<uint8_t, 8192> data{};
  };
  struct Ring {
    std::array<Message, 16> messages;
    std::atomic<std::size_t> pushed{0};
    std::atomic<std::size_t> popped{0};
    bool push(uint32_t size, const void* data);
    std::size_t size() const noexcept;
    const Message& front() const noexcept { return messages[popped.load(std::memory_order_relaxed) % messages.size()]; }
    void pop() noexcept { popped.fetch_add(1, std::memory_order_release); }
  };
  void workFront();

  Lv2World& world_;
  const LilvPlugin* plugin_ = nullptr;
  LilvInstance* instance_ = nullptr;
  const LV2_Worker_Interface* worker_ = nullptr;
  LV2_Worker_Schedule scheduleFeature_{this, schedule};
  LV2_Log_Log logFeature_{this, logPrintf, logVprintf};
  LV2_Feature mapF_, unmapF_, scheduleF_, logF_;
  std::array<const LV2_Feature*, 5> features_{};

  std::unique_ptr<Ring> requests_ = std::make_unique<Ring>();
  std::unique_ptr<Ring> responses_ = std::make_unique<Ring>();
  std::vector<uint64_t> forged_, notify_;  // atom sequences, 8-byte aligned
  std::unique_ptr<uint8_t[]> control_;     // the forged sequence, in a buffer of its exact size
  std::size_t controlBytes_ = 0;
  // The plugin's port numbers, and whether each port is connected.
  uint32_t controlPort_ = 0, notifyPort_ = 0, channelPort_ = 0;
  std::vector<uint32_t> outputPorts_;
  bool controlOn_ = true, notifyOn_ = true, channelOn_ = true;
  std::vector<bool> outputOn_;
  std::vector<std::vector<float>> outBuffers_;
  std::vector<Lv2Midi> pendingMidi_;
  std::vector<uint8_t> pendingRaw_;
  std::vector<std::pair<std::string, std::string>> pendingSets_;  // path, value type
  bool pendingGet_ = false;
  float channel_ = 1.0f;
  mutable std::mutex logLock_;
  std::vector<std::string> log_;
  uint64_t lastRunNs_ = 0;
  std::thread workerThread_;
  std::counting_semaphore<> workReady_{0};
  std::atomic<bool> stopWorker_{false};
};

}  // namespace zumbel::test
