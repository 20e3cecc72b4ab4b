#include "MidiWriter.h"

#include <algorithm>
#include <cmath>

namespace zumbel::demo {

namespace {

constexpr uint8_t kNoteOn = 0x90;
constexpr uint8_t kNoteOff = 0x80;
constexpr uint8_t kReleaseVelocity = 64;
constexpr uint8_t kMeta = 0xFF;
constexpr uint8_t kMetaName = 0x03;
constexpr uint8_t kMetaEndOfTrack = 0x2F;
constexpr uint8_t kMetaTempo = 0x51;
constexpr uint8_t kMetaTimeSignature = 0x58;
constexpr uint16_t kFormatOne = 1;

void be16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

void be32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

// Seven bits a byte, most significant first, the high bit set on all but the last.
void variableLength(std::vector<uint8_t>& out, uint32_t v) {
  uint8_t groups[5];
  int n = 0;
  do {
    groups[n++] = static_cast<uint8_t>(v & 0x7FU);
    v >>= 7;
  } while (v != 0);
  while (n > 1) out.push_back(static_cast<uint8_t>(groups[--n] | 0x80U));
  out.push_back(groups[0]);
}

uint8_t dataByte(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 127)); }
uint8_t status(uint8_t kind, int channel) { return static_cast<uint8_t>(kind | (channel & 0x0F)); }

}  // namespace

void MidiTrack::meta(uint32_t tick, uint8_t type, std::vector<uint8_t> data) {
  std::vector<uint8_t> bytes{kMeta, type};
  variableLength(bytes, static_cast<uint32_t>(data.size()));
  bytes.insert(bytes.end(), data.begin(), data.end());
  events_.push_back(Event{tick, 1, std::move(bytes)});
}

void MidiTrack::name(uint32_t tick, std::string_view text) {
  meta(tick, kMetaName, std::vector<uint8_t>(text.begin(), text.end()));
}

void MidiTrack::tempo(uint32_t tick, double beatsPerMinute) {
  const auto micros = static_cast<uint32_t>(std::lround(60'000'000.0 / beatsPerMinute));
  meta(tick, kMetaTempo,
       {static_cast<uint8_t>(micros >> 16), static_cast<uint8_t>(micros >> 8), static_cast<uint8_t>(micros)});
}

void MidiTrack::timeSignature(uint32_t tick, int numerator, int denominatorPowerOfTwo) {
  // 24 clocks per metronome click, 8 thirty-seconds per quarter: the usual values.
  meta(tick, kMetaTimeSignature,
       {static_cast<uint8_t>(numerator), static_cast<uint8_t>(denominatorPowerOfTwo), 24, 8});
}

void MidiTrack::noteOn(uint32_t tick, int channel, int note, int velocity) {
  // Velocity 0 would be read as a note-off.
  const uint8_t v = dataByte(std::max(velocity, 1));
  events_.push_back(Event{tick, 1, {status(kNoteOn, channel), dataByte(note), v}});
}

void MidiTrack::noteOff(uint32_t tick, int channel, int note) {
  events_.push_back(Event{tick, 0, {status(kNoteOff, channel), dataByte(note), kReleaseVelocity}});
}

std::vector<uint8_t> MidiTrack::chunk() const {
  std::vector<Event> sorted = events_;
  std::stable_sort(sorted.begin(), sorted.end(), [](const Event& a, const Event& b) {
    return a.tick != b.tick ? a.tick < b.tick : a.rank < b.rank;
  });
  std::vector<uint8_t> body;
  uint32_t now = 0;
  for (const Event& e : sorted) {
    variableLength(body, e.tick - now);
    now = e.tick;
    body.insert(body.end(), e.bytes.begin(), e.bytes.end());
  }
  variableLength(body, std::max(end_, now) - now);
  body.insert(body.end(), {kMeta, kMetaEndOfTrack, 0});

  std::vector<uint8_t> out{'M', 'T', 'r', 'k'};
  be32(out, static_cast<uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

std::vector<uint8_t> smfImage(int ticksPerQuarter, const std::vector<MidiTrack>& tracks) {
  std::vector<uint8_t> out{'M', 'T', 'h', 'd'};
  be32(out, 6);
  be16(out, kFormatOne);
  be16(out, static_cast<uint32_t>(tracks.size()));
  be16(out, static_cast<uint32_t>(ticksPerQuarter));
  for (const MidiTrack& t : tracks) {
    const std::vector<uint8_t> c = t.chunk();
    out.insert(out.end(), c.begin(), c.end());
  }
  return out;
}

}  // namespace zumbel::demo
