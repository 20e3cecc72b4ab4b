#pragma once
// Standard MIDI files (formats 0 and 1) read into one list of channel messages in playing order.
// Every event carries an exact integer time, so offline rendering puts each note on the same
// sample frame on every run and every machine; no floating point is involved anywhere.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "EngineConfig.h"

namespace zumbel {

// Microseconds per quarter note until the first tempo change (120 beats per minute).
inline constexpr uint32_t kDefaultMidiTempo = 500000;

struct MidiFileEvent {
  uint64_t tick = 0;     // absolute tick in its track
  uint64_t time = 0;     // exact time, in units of 1 / MidiSong::timeUnitsPerSecond seconds
  uint32_t message = 0;  // status | data1 << 8 | data2 << 16; channel voice messages 0x80..0xEF
  uint16_t track = 0;    // index among the file's track chunks, from 0

  friend bool operator==(const MidiFileEvent&, const MidiFileEvent&) = default;
};

struct MidiSong {
  uint16_t format = 0;
  uint16_t trackCount = 0;       // track chunks read; the header may have promised more
  uint16_t ticksPerQuarter = 0;  // 0 when the division counts SMPTE frames instead
  uint8_t smpteRate = 0;         // 24, 25, 29 (30 drop-frame: 29.97 per second) or 30; else 0
  uint8_t ticksPerFrame = 0;

  // The unit of `time`: a metrical song counts microseconds × ticksPerQuarter (tempo × ticks,
  // never divided), a SMPTE song counts ticks, or ticks × 1001 at 29.97 frames per second.
  uint64_t timeUnitsPerSecond = 1000000;

  // All tracks merged, ordered by time; equal times keep track order, then file order.
  std::vector<MidiFileEvent> events;
  // The later of the last event and the last end-of-track marker, in any track.
  uint64_t endTick = 0;
  uint64_t endTime = 0;

  // What was wrong but could be read around; tracks are numbered from 1, as people count them.
  std::vector<std::string> warnings;

  // The sample frame of an exact time: time × rate / timeUnitsPerSecond, halves rounded up.
  // Saturates at INT64_MAX; a rate of 0 or less gives 0.
  int64_t frameAtTime(uint64_t time, int sampleRate) const;
  int64_t frameAt(const MidiFileEvent& event, int sampleRate) const {
    return frameAtTime(event.time, sampleRate);
  }
  int64_t endFrame(int sampleRate) const { return frameAtTime(endTime, sampleRate); }
};

enum class MidiFileError {
  kOk,
  kCannotOpen,         // missing, unreadable or not a regular file
  kNotMidi,            // no "MThd" header, or one too short to hold its fields
  kUnsupportedFormat,  // format 2 (independent patterns) or an unknown format
  kBadDivision,        // zero ticks per quarter, or an unknown SMPTE frame rate
  kTruncated,          // the file ends inside its header
  kTooLarge,           // more than kMaxMidiFileBytes or kMaxMidiFileEvents
};

struct MidiFileResult {
  MidiFileError error = MidiFileError::kOk;
  MidiSong song;  // empty unless error is kOk
  bool ok() const { return error == MidiFileError::kOk; }
};

MidiFileResult parseMidiFile(std::span<const uint8_t> bytes);
// Checks the size before reading, so a huge file is refused without being loaded.
MidiFileResult loadMidiFile(const std::string& path);

std::string midiFileErrorText(MidiFileError error);

}  // namespace zumbel
