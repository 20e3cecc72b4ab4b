// Any file handed to the MIDI-file reader: it must never crash, hang or over-allocate, and what it
// accepts must come out in playing order, inside the song, with frames that never run backwards.

#include <cstdlib>
#include <vector>

#include "MidiFile.h"

using namespace zumbel;

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

void checkEvent(const MidiSong& song, const MidiFileEvent& e) {
  const uint32_t status = e.message & 0xFF;
  check(status >= 0x80 && status <= 0xEF);
  check((e.message & 0xFF808000u) == 0);  // data bytes below 0x80, nothing above them
  check(e.track < song.trackCount);
  check(e.tick < kMaxMidiFileTick && e.tick <= song.endTick && e.time <= song.endTime);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const MidiFileResult result = parseMidiFile(std::span<const uint8_t>(data, size));
  check(!midiFileErrorText(result.error).empty() || result.ok());
  const MidiSong& song = result.song;
  if (!result.ok()) {
    check(song.events.empty() && song.warnings.empty());
    return 0;
  }
  check(song.warnings.size() <= kMaxMidiFileWarnings + 1);

  std::vector<uint64_t> lastTick(song.trackCount, 0);
  const int rates[] = {44100, 48000, 96000};
  int64_t lastFrame[] = {0, 0, 0};
  const MidiFileEvent* previous = nullptr;
  for (const MidiFileEvent& e : song.events) {
    checkEvent(song, e);
    if (previous != nullptr) {
      check(e.time > previous->time || (e.time == previous->time && e.track >= previous->track));
    }
    check(e.tick >= lastTick[e.track]);
    lastTick[e.track] = e.tick;
    for (std::size_t i = 0; i < 3; ++i) {
      const int64_t frame = song.frameAt(e, rates[i]);
      check(frame >= lastFrame[i] && frame <= song.endFrame(rates[i]));
      lastFrame[i] = frame;
    }
    previous = &e;
  }
  return 0;
}
