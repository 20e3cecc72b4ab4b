#include "MidiFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>

#include "FileIO.h"

namespace zumbel {

namespace {

constexpr std::string_view kHeaderId = "MThd";
constexpr std::string_view kTrackId = "MTrk";
constexpr uint32_t kHeaderFieldBytes = 6;  // format, track count, division
constexpr std::size_t kIdBytes = 4;
constexpr std::size_t kChunkHeaderBytes = kIdBytes + 4;  // id and big-endian length
constexpr int kMaxVlqBytes = 4;

constexpr uint8_t kSysex = 0xF0;
constexpr uint8_t kSysexContinuation = 0xF7;
constexpr uint8_t kFirstRealTime = 0xF8;
constexpr uint8_t kMeta = 0xFF;
constexpr uint8_t kMetaEndOfTrack = 0x2F;
constexpr uint8_t kMetaTempo = 0x51;
constexpr uint32_t kTempoBytes = 3;

// 29.97 frames per second is 30000 / 1001: counting ticks × 1001 keeps its times whole.
constexpr int kDropFrameRate = 29;
constexpr uint64_t kDropFrameScale = 1001;
constexpr uint64_t kDropFrameNominal = 30000;

__extension__ typedef unsigned __int128 U128;

// Reads big-endian values front to back and never past the end.
class Cursor {
 public:
  explicit Cursor(std::span<const uint8_t> data) : data_(data) {}

  std::size_t remaining() const { return data_.size() - pos_; }

  bool u8(uint8_t& v) {
    if (remaining() < 1) return false;
    v = data_[pos_++];
    return true;
  }
  bool be16(uint16_t& v) {
    if (remaining() < 2) return false;
    v = static_cast<uint16_t>((data_[pos_] << 8) | data_[pos_ + 1]);
    pos_ += 2;
    return true;
  }
  bool be32(uint32_t& v) {
    if (remaining() < 4) return false;
    v = (static_cast<uint32_t>(data_[pos_]) << 24) | (static_cast<uint32_t>(data_[pos_ + 1]) << 16) |
        (static_cast<uint32_t>(data_[pos_ + 2]) << 8) | static_cast<uint32_t>(data_[pos_ + 3]);
    pos_ += 4;
    return true;
  }
  // Hands out up to `n` bytes in place: fewer when the data ends first.
  std::span<const uint8_t> take(std::size_t n) {
    n = std::min(n, remaining());
    const std::span<const uint8_t> part = data_.subspan(pos_, n);
    pos_ += n;
    return part;
  }

 private:
  std::span<const uint8_t> data_;
  std::size_t pos_ = 0;
};

bool sameId(std::span<const uint8_t> bytes, std::string_view id) {
  return bytes.size() == id.size() && std::equal(id.begin(), id.end(), bytes.begin(),
                                                 [](char c, uint8_t b) { return static_cast<uint8_t>(c) == b; });
}

enum class VlqRead { kOk, kEnded, kTooLong };

VlqRead readVlq(Cursor& in, uint32_t& value) {
  value = 0;
  for (int i = 0; i < kMaxVlqBytes; ++i) {
    uint8_t b;
    if (!in.u8(b)) return VlqRead::kEnded;
    value = (value << 7) | (b & 0x7Fu);
    if ((b & 0x80) == 0) return VlqRead::kOk;
  }
  return VlqRead::kTooLong;
}

// Bytes after the status of a system common or real-time message, as on a MIDI cable. They have
// no place in a file, but a length is needed to step over them.
std::size_t systemDataBytes(uint8_t status) {
  switch (status) {
    case 0xF1:  // time code quarter frame
    case 0xF3:  // song select
      return 1;
    case 0xF2:  // song position
      return 2;
    default:
      return 0;
  }
}

// Channel messages 0xC0 (program) and 0xD0 (channel pressure) carry one data byte, the rest two.
bool hasTwoDataBytes(uint8_t status) {
  const uint8_t kind = status & 0xF0;
  return kind != 0xC0 && kind != 0xD0;
}

class Warnings {
 public:
  explicit Warnings(std::vector<std::string>& out) : out_(out) {}
  void add(std::string text) {
    if (out_.size() < kMaxMidiFileWarnings) {
      out_.push_back(std::move(text));
    } else {
      ++dropped_;
    }
  }
  void finish() {
    if (dropped_ > 0) out_.push_back("and " + std::to_string(dropped_) + " more warnings");
  }

 private:
  std::vector<std::string>& out_;
  std::size_t dropped_ = 0;
};

std::string trackName(uint16_t index) { return "track " + std::to_string(index + 1); }

struct TempoChange {
  uint64_t tick;
  uint32_t tempo;  // µs per quarter note
};

// Everything the tracks hold before times are known: in format 1 a tempo change in one track
// applies to every other, including tracks read before it.
struct Collected {
  std::vector<MidiFileEvent> events;
  std::vector<TempoChange> tempos;
  uint64_t endTick = 0;
  std::size_t count() const { return events.size() + tempos.size(); }
};

// Why a track stopped being read.
enum class TrackStop {
  kEndMarker,
  kNoEndMarker,  // the data ran out between two events
  kCutEvent,     // the data ran out inside an event
  kLongVlq,
  kNoStatus,     // a data byte with no running status to use
  kStatusInData, // a channel message interrupted by a status byte
  kTooLate,      // the tick reached kMaxMidiFileTick
  kTooMany,      // the file holds more than kMaxMidiFileEvents
};

class TrackReader {
 public:
  TrackReader(std::span<const uint8_t> chunk, uint16_t index, Collected& into, Warnings& warnings)
      : in_(chunk), index_(index), into_(into), warnings_(warnings) {}

  TrackStop run() {
    for (;;) {
      if (in_.remaining() == 0) return TrackStop::kNoEndMarker;
      uint32_t delta;
      if (VlqRead r = readVlq(in_, delta); r != VlqRead::kOk) return stopFor(r);
      tick_ += delta;  // below 2^40 + 2^28: cannot wrap
      if (tick_ >= kMaxMidiFileTick) return TrackStop::kTooLate;
      uint8_t status;
      if (!in_.u8(status)) return TrackStop::kCutEvent;
      bool endMarker = false;
      if (status == kMeta) {
        endMarker = meta();
      } else {
        event(status);
      }
      if (stop_) return *stop_;
      lastTick_ = tick_;
      if (endMarker) return TrackStop::kEndMarker;
    }
  }

  // The tick of the last event read whole, end marker included.
  uint64_t lastTick() const { return lastTick_; }

 private:
  static TrackStop stopFor(VlqRead r) { return r == VlqRead::kEnded ? TrackStop::kCutEvent : TrackStop::kLongVlq; }

  // Reads a meta event whole; true when it ends the track.
  bool meta() {
    running_ = 0;
    uint8_t type;
    uint32_t length = 0;
    if (!in_.u8(type)) {
      stop_ = TrackStop::kCutEvent;
      return false;
    }
    if (VlqRead r = readVlq(in_, length); r != VlqRead::kOk) {
      stop_ = stopFor(r);
      return false;
    }
    if (length > in_.remaining()) {
      stop_ = TrackStop::kCutEvent;
      return false;
    }
    const std::span<const uint8_t> data = in_.take(length);
    if (type == kMetaTempo) tempo(data);
    return type == kMetaEndOfTrack;
  }

  void tempo(std::span<const uint8_t> data) {
    if (data.size() < kTempoBytes) {
      warnings_.add(trackName(index_) + " has a tempo change too short to read; it was ignored");
      return;
    }
    const uint32_t value = (uint32_t{data[0]} << 16) | (uint32_t{data[1]} << 8) | data[2];
    if (value == 0) {
      warnings_.add(trackName(index_) + " has a tempo of 0; it was ignored");
      return;
    }
    if (full()) return;
    into_.tempos.push_back(TempoChange{tick_, value});
  }

  void event(uint8_t status) {
    if (status == kSysex || status == kSysexContinuation) {
      running_ = 0;
      uint32_t length;
      if (VlqRead r = readVlq(in_, length); r != VlqRead::kOk) {
        stop_ = stopFor(r);
      } else if (length > in_.remaining()) {
        stop_ = TrackStop::kCutEvent;
      } else {
        in_.take(length);
      }
    } else if (status > kSysex) {
      systemMessage(status);
    } else {
      channelMessage(status);
    }
  }

  void systemMessage(uint8_t status) {
    // On a cable, system common messages end running status and real-time ones leave it be.
    if (status < kFirstRealTime) running_ = 0;
    const std::size_t length = systemDataBytes(status);
    if (in_.take(length).size() < length) {
      stop_ = TrackStop::kCutEvent;
      return;
    }
    if (!systemWarned_) {
      warnings_.add(trackName(index_) + " holds system messages that do not belong in a file; they were skipped");
      systemWarned_ = true;
    }
  }

  void channelMessage(uint8_t status) {
    uint8_t data1;
    if (status < 0x80) {
      if (running_ == 0) {
        stop_ = TrackStop::kNoStatus;
        return;
      }
      data1 = status;
      status = running_;
    } else {
      running_ = status;
      if (!in_.u8(data1)) {
        stop_ = TrackStop::kCutEvent;
        return;
      }
    }
    uint8_t data2 = 0;
    if (data1 < 0x80 && hasTwoDataBytes(status) && !in_.u8(data2)) {
      stop_ = TrackStop::kCutEvent;
      return;
    }
    if (data1 >= 0x80 || data2 >= 0x80) {
      stop_ = TrackStop::kStatusInData;
      return;
    }
    if (full()) return;
    const uint32_t message = status | (uint32_t{data1} << 8) | (uint32_t{data2} << 16);
    into_.events.push_back(MidiFileEvent{tick_, 0, message, index_});
  }

  bool full() {
    if (into_.count() < kMaxMidiFileEvents) return false;
    stop_ = TrackStop::kTooMany;
    return true;
  }

  Cursor in_;
  uint16_t index_;
  Collected& into_;
  Warnings& warnings_;
  uint64_t tick_ = 0;
  uint64_t lastTick_ = 0;
  uint8_t running_ = 0;
  bool systemWarned_ = false;
  std::optional<TrackStop> stop_;
};

void warnAboutStop(TrackStop stop, bool fileEndsInChunk, uint16_t index, Warnings& warnings) {
  const std::string track = trackName(index);
  const bool ranOut = stop == TrackStop::kNoEndMarker || stop == TrackStop::kCutEvent;
  if (ranOut && fileEndsInChunk) {
    warnings.add(track + " ends early: the file stops inside it");
    return;
  }
  switch (stop) {
    case TrackStop::kEndMarker:
    case TrackStop::kTooMany:
      return;
    case TrackStop::kNoEndMarker:
      warnings.add(track + " has no end-of-track marker");
      return;
    case TrackStop::kCutEvent:
      warnings.add(track + " ends inside an event");
      return;
    case TrackStop::kLongVlq:
      warnings.add(track + " has a number longer than 4 bytes; the rest of the track was skipped");
      return;
    case TrackStop::kNoStatus:
      warnings.add(track + " has a data byte with no status before it; the rest of the track was skipped");
      return;
    case TrackStop::kStatusInData:
      warnings.add(track + " has a message cut short by a status byte; the rest of the track was skipped");
      return;
    case TrackStop::kTooLate:
      warnings.add(track + " runs past the longest song that can be played; the rest of it was skipped");
      return;
  }
}

// Exact times of ticks under a global tempo map: the sum of tempo × ticks over the segments
// before a tick, in µs × ticks per quarter, so nothing is ever divided or rounded.
class TempoMap {
 public:
  explicit TempoMap(std::vector<TempoChange>& changes) {
    // Changes were collected track by track; at one tick the last one in that order wins.
    std::stable_sort(changes.begin(), changes.end(),
                     [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
    segments_.push_back(Segment{0, 0, kDefaultMidiTempo});
    for (const TempoChange& c : changes) {
      Segment& last = segments_.back();
      if (c.tick == last.tick) {
        last.tempo = c.tempo;
      } else {
        segments_.push_back(Segment{c.tick, timeIn(last, c.tick), c.tempo});
      }
    }
  }

  uint64_t timeAt(uint64_t tick) const {
    const auto after = std::upper_bound(segments_.begin(), segments_.end(), tick,
                                        [](uint64_t t, const Segment& s) { return t < s.tick; });
    return timeIn(*(after - 1), tick);
  }

 private:
  struct Segment {
    uint64_t tick;
    uint64_t time;
    uint32_t tempo;
  };
  // Below 2^24 × 2^40 in total, since every tick is below kMaxMidiFileTick.
  static uint64_t timeIn(const Segment& s, uint64_t tick) { return s.time + uint64_t{s.tempo} * (tick - s.tick); }

  std::vector<Segment> segments_;
};

void assignTimes(MidiSong& song, Collected& collected) {
  if (song.ticksPerQuarter != 0) {
    const TempoMap map(collected.tempos);
    for (MidiFileEvent& e : collected.events) e.time = map.timeAt(e.tick);
    song.endTime = map.timeAt(collected.endTick);
  } else {
    const uint64_t scale = song.smpteRate == kDropFrameRate ? kDropFrameScale : 1;
    for (MidiFileEvent& e : collected.events) e.time = e.tick * scale;
    song.endTime = collected.endTick * scale;
  }
  song.endTick = collected.endTick;
  // Each track is in time order already and the tracks were appended in file order, so a stable
  // sort by time alone keeps ties in track order, then file order. A single track needs none, nor
  // the sort's buffer as large as the events.
  const auto earlier = [](const MidiFileEvent& a, const MidiFileEvent& b) { return a.time < b.time; };
  if (!std::is_sorted(collected.events.begin(), collected.events.end(), earlier)) {
    std::stable_sort(collected.events.begin(), collected.events.end(), earlier);
  }
  song.events = std::move(collected.events);
}

// Fills the division fields of `song`; false when the division is unusable.
bool setDivision(uint16_t division, MidiSong& song) {
  if ((division & 0x8000) == 0) {
    song.ticksPerQuarter = division;
    song.timeUnitsPerSecond = uint64_t{1000000} * division;
    return division != 0;
  }
  // The high byte is minus the frame rate, the low byte the ticks in one frame.
  const int rate = -static_cast<int8_t>(division >> 8);
  song.smpteRate = static_cast<uint8_t>(rate);
  song.ticksPerFrame = static_cast<uint8_t>(division & 0xFF);
  const uint64_t ticksPerFrame = song.ticksPerFrame;
  song.timeUnitsPerSecond = rate == kDropFrameRate ? kDropFrameNominal * ticksPerFrame : rate * ticksPerFrame;
  return ticksPerFrame != 0 && (rate == 24 || rate == 25 || rate == kDropFrameRate || rate == 30);
}

MidiFileResult failure(MidiFileError error) { return MidiFileResult{error, {}}; }

}  // namespace

int64_t MidiSong::frameAtTime(uint64_t time, int sampleRate) const {
  if (sampleRate <= 0 || timeUnitsPerSecond == 0) return 0;
  const U128 units = timeUnitsPerSecond;
  const U128 frames = (U128{time} * static_cast<unsigned>(sampleRate) * 2 + units) / (units * 2);
  constexpr int64_t kLast = std::numeric_limits<int64_t>::max();
  return frames > static_cast<U128>(kLast) ? kLast : static_cast<int64_t>(frames);
}

MidiFileResult parseMidiFile(std::span<const uint8_t> bytes) {
  if (bytes.size() > kMaxMidiFileBytes) return failure(MidiFileError::kTooLarge);
  Cursor file(bytes);
  if (!sameId(file.take(kIdBytes), kHeaderId)) return failure(MidiFileError::kNotMidi);
  uint32_t headerLength;
  if (!file.be32(headerLength)) return failure(MidiFileError::kTruncated);
  if (headerLength < kHeaderFieldBytes) return failure(MidiFileError::kNotMidi);
  if (headerLength > file.remaining()) return failure(MidiFileError::kTruncated);
  Cursor header(file.take(headerLength));
  uint16_t format = 0, declaredTracks = 0, division = 0;
  header.be16(format);
  header.be16(declaredTracks);
  header.be16(division);

  MidiFileResult result;
  MidiSong& song = result.song;
  song.format = format;
  if (format > 1) return failure(MidiFileError::kUnsupportedFormat);
  if (!setDivision(division, song)) return failure(MidiFileError::kBadDivision);

  Warnings warnings(song.warnings);
  Collected collected;
  uint16_t index = 0;
  while (index < declaredTracks && file.remaining() >= kChunkHeaderBytes) {
    const std::span<const uint8_t> id = file.take(kIdBytes);
    uint32_t length = 0;
    file.be32(length);
    const bool fileEndsInChunk = length > file.remaining();
    const std::span<const uint8_t> chunk = file.take(length);
    if (!sameId(id, kTrackId)) continue;  // other chunk types are for other programs

    TrackReader reader(chunk, index, collected, warnings);
    const TrackStop stop = reader.run();
    if (stop == TrackStop::kTooMany) return failure(MidiFileError::kTooLarge);
    warnAboutStop(stop, fileEndsInChunk, index, warnings);
    collected.endTick = std::max(collected.endTick, reader.lastTick());
    ++index;
  }
  if (index < declaredTracks) {
    warnings.add("the header promises " + std::to_string(declaredTracks) + " tracks but the file holds " +
                 std::to_string(index));
  }
  song.trackCount = index;
  assignTimes(song, collected);
  warnings.finish();
  return result;
}

MidiFileResult loadMidiFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      static_cast<uint64_t>(st.st_size) > kMaxMidiFileBytes) {
    return failure(MidiFileError::kTooLarge);
  }
  std::vector<uint8_t> bytes;
  if (readWholeFile(path, bytes) != FileError::None) return failure(MidiFileError::kCannotOpen);
  return parseMidiFile(bytes);  // refuses a file that grew past the limit since the check
}

std::string midiFileErrorText(MidiFileError error) {
  switch (error) {
    case MidiFileError::kOk:
      return {};
    case MidiFileError::kCannotOpen:
      return "The MIDI file could not be opened.";
    case MidiFileError::kNotMidi:
      return "This is not a Standard MIDI File.";
    case MidiFileError::kUnsupportedFormat:
      return "Only MIDI files of format 0 or 1 can be played; format 2 (separate patterns) cannot.";
    case MidiFileError::kBadDivision:
      return "The MIDI file's time division is invalid.";
    case MidiFileError::kTruncated:
      return "The MIDI file ends inside its header.";
    case MidiFileError::kTooLarge:
      return "The MIDI file is too large: at most " + std::to_string(kMaxMidiFileBytes >> 20) + " MiB and " +
             std::to_string(kMaxMidiFileEvents) + " events can be played.";
  }
  return "The MIDI file could not be read.";
}

}  // namespace zumbel
