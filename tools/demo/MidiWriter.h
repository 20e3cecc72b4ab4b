#pragma once
// Standard MIDI File images: tracks of timed events, written as format 1 with big-endian sizes
// and variable-length delta times.

#include <cstdint>
#include <string_view>
#include <vector>

namespace zumbel::demo {

class MidiTrack {
 public:
  void name(uint32_t tick, std::string_view text);
  void tempo(uint32_t tick, double beatsPerMinute);
  void timeSignature(uint32_t tick, int numerator, int denominatorPowerOfTwo);
  void noteOn(uint32_t tick, int channel, int note, int velocity);
  void noteOff(uint32_t tick, int channel, int note);
  // The track ends at its last event or here, whichever is later.
  void endAt(uint32_t tick) { end_ = tick; }

  // The "MTrk" chunk. Events of one tick keep the order they were added in, except that
  // note-offs go first, so a note struck again at the moment it is released still sounds.
  std::vector<uint8_t> chunk() const;

 private:
  struct Event {
    uint32_t tick;
    int rank;  // 0: note-off, 1: anything else
    std::vector<uint8_t> bytes;
  };
  void meta(uint32_t tick, uint8_t type, std::vector<uint8_t> data);

  std::vector<Event> events_;
  uint32_t end_ = 0;
};

std::vector<uint8_t> smfImage(int ticksPerQuarter, const std::vector<MidiTrack>& tracks);

}  // namespace zumbel::demo
