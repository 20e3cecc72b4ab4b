#include "AlsaMidiInput.h"

#include <RtMidi.h>
#include <alsa/asoundlib.h>

#include <mutex>
#include <thread>

#include "EngineConfig.h"
#include "LiveCycle.h"
#include "MessageQueue.h"
#include "ShortMessage.h"

namespace zumbel {

namespace {

void quietAlsaLib(const char* /*file*/, int /*line*/, const char* /*function*/, int /*err*/, const char* /*fmt*/,
                  ...) {}

// Once RtMidi has an error callback it reports through it instead of printing and throwing. Only
// errors are kept: warnings (a callback set twice, a port already closed) change no result.
void onRtMidiError(RtMidiError::Type type, const std::string& text, void* error) {
  if (type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING) return;
  *static_cast<std::string*>(error) = text;
}

// RtMidi's input thread.
void onRtMidiMessage(double /*deltaSeconds*/, std::vector<unsigned char>* message, void* input) {
  if (message == nullptr) return;
  static_cast<AlsaMidiInput*>(input)->receive(message->data(), message->size(), steadyNowNs());
}

// RtMidi prints to stderr and throws when it cannot open the sequencer, before any error
// callback can be set. Asking alsa-lib first keeps a machine without sound hardware quiet.
bool sequencerReachable(std::string& detail) {
  snd_seq_t* seq = nullptr;
  const int result = snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK);
  if (result < 0) {
    detail = std::string("the ALSA sequencer cannot be opened: ") + snd_strerror(result);
    return false;
  }
  snd_seq_close(seq);
  return true;
}

struct Source {
  unsigned port = 0;  // RtMidi's port number
  std::string name;
};

// RtMidi names a port "<client>:<port> <client id>:<port id>"; the program's own client is
// kClientName.
std::vector<Source> listSources(RtMidiIn& midi) {
  std::vector<Source> sources;
  const std::string own = std::string(kClientName) + ":";
  try {
    const unsigned count = midi.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
      std::string name = midi.getPortName(i);
      if (name.empty() || name.rfind(own, 0) == 0) continue;
      sources.push_back(Source{i, std::move(name)});
    }
  } catch (...) {
    // The sources found before the failure are still there.
  }
  return sources;
}

// The sequencer through RtMidi. Once RtMidi has an error callback it reports there instead of
// throwing, so each call is checked by the error text it left.
class RtMidiSequencer final : public SequencerClient {
 public:
  RtMidiSequencer(std::unique_ptr<RtMidiIn> midi, AlsaMidiInput& input) : midi_(std::move(midi)), input_(input) {
    midi_->setErrorCallback(&onRtMidiError, &error_);
  }
  ~RtMidiSequencer() override {
    // The port first: closing it joins RtMidi's input thread, which would otherwise read the
    // callback while the client goes. The client's going takes the port out of the graph.
    try {
      midi_->closePort();
    } catch (...) {
    }
  }

  std::vector<std::string> sources() override {
    std::vector<std::string> names;
    for (Source& s : listSources(*midi_)) names.push_back(std::move(s.name));
    return names;
  }

  std::string openPort(int source) override {
    error_.clear();
    try {
      // System-exclusive is dropped here already; clock and active sensing pass, the engine
      // ignores them.
      midi_->ignoreTypes(true, false, false);
      midi_->setCallback(&onRtMidiMessage, &input_);
      if (source < 0) {
        midi_->openVirtualPort(kAlsaMidiPort);
      } else {
        const std::vector<Source> list = listSources(*midi_);
        if (static_cast<std::size_t>(source) >= list.size()) {
          error_ = "there is no MIDI source " + std::to_string(source);
        } else {
          // Makes the program's port and connects the source to it.
          midi_->openPort(list[static_cast<std::size_t>(source)].port, kAlsaMidiPort);
          if (error_.empty() && !midi_->isPortOpen()) error_ = "the MIDI source could not be connected";
        }
      }
    } catch (const std::exception& e) {
      error_ = e.what();
    } catch (...) {
      error_ = "the MIDI port could not be opened";
    }
    return error_;
  }

 private:
  // What RtMidi's error callback last reported from a call made here.
  std::string error_;
  std::unique_ptr<RtMidiIn> midi_;
  AlsaMidiInput& input_;
};

std::unique_ptr<SequencerClient> makeRtMidiSequencer(AlsaMidiInput& input, std::string& detail) {
  silenceAlsaLibMessages();
  if (!sequencerReachable(detail)) return nullptr;
  try {
    // The API is named: left to choose, RtMidi throws when ALSA is missing instead of trying JACK.
    return std::make_unique<RtMidiSequencer>(std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, kClientName), input);
  } catch (const std::exception& e) {
    detail = e.what();
  } catch (...) {
    detail = "the ALSA sequencer client could not be made";
  }
  return nullptr;
}

}  // namespace

void silenceAlsaLibMessages() noexcept {
  static std::once_flag once;
  std::call_once(once, [] { snd_lib_error_set_handler(&quietAlsaLib); });
}

AlsaMidiInput::AlsaMidiInput(MessageQueue& queue, SequencerFactory factory)
    : queue_(queue), factory_(factory ? std::move(factory) : SequencerFactory(&makeRtMidiSequencer)) {}

AlsaMidiInput::~AlsaMidiInput() { dropClient(); }

bool AlsaMidiInput::ensureClient(std::string& detail) {
  if (!client_) client_ = factory_(*this, detail);
  return client_ != nullptr;
}

std::vector<std::string> AlsaMidiInput::sources() {
  std::string ignored;
  if (!ensureClient(ignored)) return {};
  return client_->sources();
}

bool AlsaMidiInput::openOwnPort(std::string& detail) {
  if (client_ && ownPort_) {
    intake_.store(true, std::memory_order_seq_cst);
    open_ = true;
    return true;
  }
  return openPort(-1, detail);
}

bool AlsaMidiInput::openSource(int index, std::string& detail) { return openPort(index, detail); }

bool AlsaMidiInput::openPort(int source, std::string& detail) {
  // A client that already has a port (or a connection) cannot make another: start afresh. A
  // client made only to list the sources is reused, so `source` still names what the list said.
  if (open_ || ownPort_) dropClient();
  open_ = false;
  if (!ensureClient(detail)) return false;
  const std::string error = client_->openPort(source);
  if (!error.empty()) {
    detail = error;
    dropClient();
    return false;
  }
  ownPort_ = source < 0;
  intake_.store(true, std::memory_order_seq_cst);
  open_ = true;
  return true;
}

void AlsaMidiInput::close() noexcept {
  stopIntake();
  if (!ownPort_) dropClient();
  open_ = false;
}

void AlsaMidiInput::stopIntake() noexcept {
  // With receive() this is a store-then-load handshake on both sides, sequentially consistent:
  // once no message is in flight, every later one sees the intake closed.
  intake_.store(false, std::memory_order_seq_cst);
  while (inFlight_.load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
}

void AlsaMidiInput::dropClient() noexcept {
  stopIntake();
  client_.reset();
  ownPort_ = false;
  open_ = false;
}

void AlsaMidiInput::receive(const unsigned char* bytes, std::size_t size, uint64_t arrivalNs) noexcept {
  inFlight_.fetch_add(1, std::memory_order_seq_cst);
  if (intake_.load(std::memory_order_seq_cst)) deliver(queue_, bytes, size, arrivalNs);
  inFlight_.fetch_sub(1, std::memory_order_seq_cst);
}

void AlsaMidiInput::deliver(MessageQueue& queue, const unsigned char* bytes, std::size_t size,
                            uint64_t arrivalNs) noexcept {
  if (bytes == nullptr || size == 0 || size > 3) return;
  const int status = bytes[0];
  if (status < 0x80 || status == 0xF0 || status == 0xF7) return;
  const int data1 = size > 1 ? bytes[1] : 0;
  const int data2 = size > 2 ? bytes[2] : 0;
  queue.push(StampedMessage{arrivalNs, packShortMessage(status, data1, data2)});
}

}  // namespace zumbel
