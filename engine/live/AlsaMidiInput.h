#pragma once
// MIDI from the ALSA sequencer through RtMidi. RtMidi's thread stamps each short message with
// its arrival time and pushes it into the live cycle's queue; the audio thread places it one
// period later. System-exclusive messages are dropped; RtMidi's exceptions (it throws when the
// sequencer cannot be reached) are caught and become plain results.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class RtMidiIn;

namespace zumbel {

class MessageQueue;

// alsa-lib prints its own complaints ("ALSA lib ... cannot find card") to stderr whenever a
// device or the sequencer is missing, on every attempt; every ALSA user of the program calls this
// first. The reason still reaches the caller in the library's error text.
void silenceAlsaLibMessages() noexcept;

class AlsaMidiInput {
 public:
  explicit AlsaMidiInput(MessageQueue& queue);
  ~AlsaMidiInput();
  AlsaMidiInput(const AlsaMidiInput&) = delete;
  AlsaMidiInput& operator=(const AlsaMidiInput&) = delete;

  // The sequencer's MIDI sources, other than the program's own port, by name; empty when the
  // sequencer cannot be reached. Never throws.
  std::vector<std::string> sources();

  // Opens the program's own sequencer port ("Zumbel:MIDI in"), which other programs connect to.
  bool openOwnPort(std::string& detail);
  // Opens the own port connected to source `index` of sources().
  bool openSource(int index, std::string& detail);
  // After it returns no more messages are pushed.
  void close() noexcept;
  bool isOpen() const noexcept { return open_; }

  // The callback's work, exposed so tests can feed it bytes: packs a short message and pushes it
  // stamped with `arrivalNs`; drops system-exclusive and anything longer than three bytes.
  static void deliver(MessageQueue& queue, const unsigned char* bytes, std::size_t size, uint64_t arrivalNs) noexcept;

 private:
  bool ensureClient(std::string& detail);

  MessageQueue& queue_;
  std::unique_ptr<RtMidiIn> midi_;
  // What RtMidi's error callback last reported from a call made here (it reports instead of
  // throwing once the callback is set).
  std::string error_;
  bool open_ = false;
};

}  // namespace zumbel
