#pragma once
// MIDI from the ALSA sequencer through RtMidi. RtMidi's thread stamps each short message with
// its arrival time and pushes it into the live cycle's queue; the audio thread places it one
// period later. System-exclusive messages are dropped; RtMidi's exceptions (it throws when the
// sequencer cannot be reached) are caught and become plain results.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zumbel {

class MessageQueue;

// alsa-lib prints its own complaints ("ALSA lib ... cannot find card") to stderr whenever a
// device or the sequencer is missing, on every attempt; every ALSA user of the program calls this
// first. The reason still reaches the caller in the library's error text.
void silenceAlsaLibMessages() noexcept;

class AlsaMidiInput;

// The sequencer client behind the input: RtMidi's in the program. Tests give a stand-in, since a
// machine without sound hardware has no sequencer.
class SequencerClient {
 public:
  virtual ~SequencerClient() = default;
  // The sequencer's MIDI sources other than the program's own port, by name.
  virtual std::vector<std::string> sources() = 0;
  // Makes the program's port ("Zumbel:MIDI in"); with `source` >= 0 also connects source
  // `source` of sources() to it. Messages then reach AlsaMidiInput::receive on the client's own
  // thread. Empty on success, else the reason.
  virtual std::string openPort(int source) = 0;
};

// Makes a client for `input`, or nothing with the reason in `detail`.
using SequencerFactory = std::function<std::unique_ptr<SequencerClient>(AlsaMidiInput& input, std::string& detail)>;

class AlsaMidiInput {
 public:
  // Without a factory the sequencer is reached through RtMidi.
  explicit AlsaMidiInput(MessageQueue& queue, SequencerFactory factory = {});
  ~AlsaMidiInput();
  AlsaMidiInput(const AlsaMidiInput&) = delete;
  AlsaMidiInput& operator=(const AlsaMidiInput&) = delete;

  // The sequencer's MIDI sources, other than the program's own port, by name; empty when the
  // sequencer cannot be reached. Never throws.
  std::vector<std::string> sources();

  // Opens the program's own sequencer port ("Zumbel:MIDI in"), which other programs connect to.
  // A port that was only closed takes messages again: it is the same port, and every connection
  // other programs made to it is still there.
  bool openOwnPort(std::string& detail);
  // Opens the own port connected to source `index` of sources().
  bool openSource(int index, std::string& detail);
  // After it returns no more messages are pushed. The program's own port stays in the sequencer
  // graph (a new or opened drum set closes and reopens the input, and a keyboard connected to
  // the port must keep playing); a port made for a source goes with its connection.
  void close() noexcept;
  // Closes and takes the program's own port out of the graph too (the input moved to JACK).
  void release() noexcept { dropClient(); }
  bool isOpen() const noexcept { return open_; }

  // The client's thread hands each message here; it is pushed only while the input is open.
  void receive(const unsigned char* bytes, std::size_t size, uint64_t arrivalNs) noexcept;

  // The callback's work, exposed so tests can feed it bytes: packs a short message and pushes it
  // stamped with `arrivalNs`; drops system-exclusive and anything longer than three bytes.
  static void deliver(MessageQueue& queue, const unsigned char* bytes, std::size_t size, uint64_t arrivalNs) noexcept;

 private:
  bool ensureClient(std::string& detail);
  bool openPort(int source, std::string& detail);
  // Stops pushing and waits for a message being pushed on the client's thread.
  void stopIntake() noexcept;
  void dropClient() noexcept;

  MessageQueue& queue_;
  SequencerFactory factory_;
  std::unique_ptr<SequencerClient> client_;
  // The client has the program's own port, unconnected, and keeps it while closed.
  bool ownPort_ = false;
  bool open_ = false;
  std::atomic<bool> intake_{false};
  std::atomic<int> inFlight_{0};
};

}  // namespace zumbel
