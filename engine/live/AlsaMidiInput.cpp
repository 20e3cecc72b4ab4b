#include "AlsaMidiInput.h"

#include <RtMidi.h>
#include <alsa/asoundlib.h>

#include <mutex>

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

// RtMidi's input thread; `queue` is the live cycle's.
void onRtMidiMessage(double /*deltaSeconds*/, std::vector<unsigned char>* message, void* queue) {
  if (message == nullptr) return;
  AlsaMidiInput::deliver(*static_cast<MessageQueue*>(queue), message->data(), message->size(), steadyNowNs());
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

}  // namespace

void silenceAlsaLibMessages() noexcept {
  static std::once_flag once;
  std::call_once(once, [] { snd_lib_error_set_handler(&quietAlsaLib); });
}

AlsaMidiInput::AlsaMidiInput(MessageQueue& queue) : queue_(queue) {}

AlsaMidiInput::~AlsaMidiInput() { close(); }

bool AlsaMidiInput::ensureClient(std::string& detail) {
  if (midi_) return true;
  silenceAlsaLibMessages();
  if (!sequencerReachable(detail)) return false;
  try {
    // The API is named: left to choose, RtMidi throws when ALSA is missing instead of trying JACK.
    auto midi = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, kClientName);
    midi->setErrorCallback(&onRtMidiError, &error_);
    midi_ = std::move(midi);
    return true;
  } catch (const std::exception& e) {
    detail = e.what();
  } catch (...) {
    detail = "the ALSA sequencer client could not be made";
  }
  return false;
}

std::vector<std::string> AlsaMidiInput::sources() {
  std::vector<std::string> names;
  std::string ignored;
  if (!ensureClient(ignored)) return names;
  for (Source& s : listSources(*midi_)) names.push_back(std::move(s.name));
  return names;
}

bool AlsaMidiInput::openOwnPort(std::string& detail) { return openSource(-1, detail); }

bool AlsaMidiInput::openSource(int index, std::string& detail) {
  if (open_) close();
  if (!ensureClient(detail)) return false;
  error_.clear();
  try {
    // System-exclusive is dropped here already; clock and active sensing pass, the engine
    // ignores them.
    midi_->ignoreTypes(true, false, false);
    midi_->setCallback(&onRtMidiMessage, &queue_);
    if (index < 0) {
      midi_->openVirtualPort(kAlsaMidiPort);
    } else {
      const std::vector<Source> list = listSources(*midi_);
      if (static_cast<std::size_t>(index) >= list.size()) {
        error_ = "there is no MIDI source " + std::to_string(index);
      } else {
        // Makes the program's port and connects the source to it.
        midi_->openPort(list[static_cast<std::size_t>(index)].port, kAlsaMidiPort);
        if (error_.empty() && !midi_->isPortOpen()) error_ = "the MIDI source could not be connected";
      }
    }
  } catch (const std::exception& e) {
    error_ = e.what();
  } catch (...) {
    error_ = "the MIDI port could not be opened";
  }
  if (!error_.empty()) {
    detail = error_;
    close();
    return false;
  }
  open_ = true;
  return true;
}

void AlsaMidiInput::close() noexcept {
  if (midi_) {
    // The port first: closing it joins RtMidi's input thread, which would otherwise read the
    // callback while cancelCallback clears it.
    try {
      midi_->closePort();
    } catch (...) {
    }
    // The client goes too, so the port leaves the sequencer graph and nothing stays connected to
    // a closed input; the next open makes it afresh.
    midi_.reset();
  }
  open_ = false;
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
