#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <limits>
#include <string>

#include "MidiFile.h"
#include "TestSupport.h"

namespace zumbel {
namespace {

using Bytes = std::vector<uint8_t>;

void appendBe32(Bytes& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

Bytes vlq(uint32_t v) {
  Bytes out{static_cast<uint8_t>(v & 0x7F)};
  while ((v >>= 7) != 0) out.insert(out.begin(), static_cast<uint8_t>(0x80 | (v & 0x7F)));
  return out;
}

// One track's bytes, written event by event.
class Track {
 public:
  Track& at(uint32_t delta, std::initializer_list<uint8_t> event) {
    const Bytes d = vlq(delta);
    body_.insert(body_.end(), d.begin(), d.end());
    body_.insert(body_.end(), event);
    return *this;
  }
  Track& tempo(uint32_t delta, uint32_t usPerQuarter) {
    return at(delta, {0xFF, 0x51, 0x03, static_cast<uint8_t>(usPerQuarter >> 16),
                      static_cast<uint8_t>(usPerQuarter >> 8), static_cast<uint8_t>(usPerQuarter)});
  }
  Track& end(uint32_t delta = 0) { return at(delta, {0xFF, 0x2F, 0x00}); }
  Track& raw(std::initializer_list<uint8_t> bytes) {
    body_.insert(body_.end(), bytes);
    return *this;
  }
  const Bytes& body() const { return body_; }

 private:
  Bytes body_;
};

Bytes chunk(const char (&id)[5], const Bytes& body) {
  Bytes out(id, id + 4);
  appendBe32(out, static_cast<uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes header(uint16_t format, uint16_t tracks, uint16_t division) {
  return chunk("MThd", {static_cast<uint8_t>(format >> 8), static_cast<uint8_t>(format),
                        static_cast<uint8_t>(tracks >> 8), static_cast<uint8_t>(tracks),
                        static_cast<uint8_t>(division >> 8), static_cast<uint8_t>(division)});
}

Bytes midiFile(uint16_t format, uint16_t division, std::initializer_list<Track> tracks) {
  Bytes out = header(format, static_cast<uint16_t>(tracks.size()), division);
  for (const Track& t : tracks) {
    const Bytes c = chunk("MTrk", t.body());
    out.insert(out.end(), c.begin(), c.end());
  }
  return out;
}

uint32_t msg(uint8_t status, uint8_t data1, uint8_t data2 = 0) {
  return status | (uint32_t{data1} << 8) | (uint32_t{data2} << 16);
}

MidiSong parsed(const Bytes& bytes) {
  MidiFileResult r = parseMidiFile(bytes);
  EXPECT_EQ(r.error, MidiFileError::kOk) << midiFileErrorText(r.error);
  return std::move(r.song);
}

bool warns(const MidiSong& song, const std::string& part) {
  return std::any_of(song.warnings.begin(), song.warnings.end(),
                     [&](const std::string& w) { return w.find(part) != std::string::npos; });
}

TEST(MidiFile, ReadsFormatZeroWithRunningStatus) {
  const MidiSong song = parsed(midiFile(0, 96, {Track()
                                                    .at(0, {0x99, 36, 100})
                                                    .at(48, {38, 90})         // running status
                                                    .at(0, {0xC9, 5})         // one data byte
                                                    .at(24, {6})              // ... and running
                                                    .at(0, {0xD9, 70})        // one data byte
                                                    .at(24, {0x89, 36, 0x40})
                                                    .end(96)}));
  EXPECT_EQ(song.format, 0);
  EXPECT_EQ(song.trackCount, 1);
  EXPECT_EQ(song.ticksPerQuarter, 96);
  EXPECT_TRUE(song.warnings.empty());
  ASSERT_EQ(song.events.size(), 6u);
  const uint32_t messages[] = {msg(0x99, 36, 100), msg(0x99, 38, 90), msg(0xC9, 5),
                               msg(0xC9, 6),       msg(0xD9, 70),      msg(0x89, 36, 0x40)};
  const uint64_t ticks[] = {0, 48, 48, 72, 72, 96};
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(song.events[i].message, messages[i]) << i;
    EXPECT_EQ(song.events[i].tick, ticks[i]) << i;
    EXPECT_EQ(song.events[i].track, 0) << i;
  }
  // 120 bpm until told otherwise: 96 ticks are half a second.
  EXPECT_EQ(song.frameAt(song.events[1], 44100), 11025);
  EXPECT_EQ(song.frameAt(song.events[5], 48000), 24000);
  // The end marker comes 96 ticks after the last note.
  EXPECT_EQ(song.endTick, 192u);
  EXPECT_EQ(song.endFrame(44100), 44100);
}

TEST(MidiFile, TempoChangesMoveOnlyTheEventsAfterThem) {
  const MidiSong song = parsed(midiFile(0, 480, {Track()
                                                     .at(480, {0x99, 36, 100})
                                                     .tempo(480, 300000)  // 200 bpm from tick 960
                                                     .at(0, {0x99, 38, 100})
                                                     .at(480, {0x99, 40, 100})
                                                     .at(1, {0x99, 42, 100})
                                                     .end()}));
  ASSERT_EQ(song.events.size(), 4u);
  EXPECT_EQ(song.timeUnitsPerSecond, 480000000u);
  // 480 × 500000, 960 × 500000, then 300000 per quarter from tick 960 on.
  EXPECT_EQ(song.events[0].time, 240000000u);
  EXPECT_EQ(song.events[1].time, 480000000u);
  EXPECT_EQ(song.events[2].time, 624000000u);  // 1.3 s
  EXPECT_EQ(song.events[3].time, 624300000u);  // 1.300625 s
  EXPECT_EQ(song.frameAt(song.events[2], 44100), 57330);
  EXPECT_EQ(song.frameAt(song.events[2], 48000), 62400);
  EXPECT_EQ(song.frameAt(song.events[3], 44100), 57358);  // 57357.5625
  EXPECT_EQ(song.frameAt(song.events[3], 48000), 62430);

  // A tempo no float holds exactly: 333333 µs per quarter at 96 ticks, 1000 quarters in.
  const MidiSong odd = parsed(midiFile(0, 96, {Track().tempo(0, 333333).at(96000, {0x99, 36, 1}).end()}));
  ASSERT_EQ(odd.events.size(), 1u);
  EXPECT_EQ(odd.frameAt(odd.events[0], 44100), 14699985);  // 333.333 s × 44100 = 14699985.3
  EXPECT_EQ(odd.frameAt(odd.events[0], 48000), 15999984);

  // A tempo of 0 or one of fewer than three bytes changes nothing.
  const MidiSong bad = parsed(midiFile(0, 96, {Track()
                                                   .tempo(0, 0)
                                                   .at(0, {0xFF, 0x51, 0x02, 0x01, 0x02})
                                                   .at(96, {0x99, 36, 1})
                                                   .end()}));
  ASSERT_EQ(bad.events.size(), 1u);
  EXPECT_EQ(bad.frameAt(bad.events[0], 44100), 22050);
  EXPECT_TRUE(warns(bad, "track 1 has a tempo of 0"));
  EXPECT_TRUE(warns(bad, "track 1 has a tempo change too short"));
}

TEST(MidiFile, FormatOneSharesOneTempoMapAndMergesTracksStably) {
  const MidiSong song = parsed(midiFile(1, 96, {Track().tempo(0, 250000).tempo(96, 1000000).end(),
                                                Track()
                                                    .at(48, {0x99, 36, 100})
                                                    .at(48, {0x99, 38, 100})
                                                    .at(0, {0x99, 40, 100})
                                                    .at(96, {0x99, 42, 100})
                                                    .at(288, {0x99, 44, 100})  // after track 2's change
                                                    .end(),
                                                Track().at(0, {0x99, 49, 100}).at(96, {0x99, 51, 100})
                                                    .tempo(192, 500000).at(96, {0x99, 53, 100}).end()}));
  EXPECT_EQ(song.trackCount, 3);
  ASSERT_EQ(song.events.size(), 8u);
  struct Expected {
    uint8_t note;
    uint16_t track;
    uint64_t time;
  };
  // Tick 48: 48 × 250000; tick 96: 24000000; tick 192: + 96 × 1000000; tick 288: + 192 × 1000000;
  // ticks 384 and 480: + 96 and + 192 × 500000.
  const Expected expected[] = {{49, 2, 0},        {36, 1, 12000000},  {38, 1, 24000000},  {40, 1, 24000000},
                               {51, 2, 24000000}, {42, 1, 120000000}, {53, 2, 264000000}, {44, 1, 312000000}};
  for (std::size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(song.events[i].message >> 8 & 0x7F, expected[i].note) << i;
    EXPECT_EQ(song.events[i].track, expected[i].track) << i;
    EXPECT_EQ(song.events[i].time, expected[i].time) << i;
  }
  EXPECT_EQ(song.frameAt(song.events[5], 44100), 55125);  // 1.25 s
  EXPECT_EQ(song.endTick, 480u);
  EXPECT_EQ(song.endTime, 312000000u);

  // Many events at one time: track order, then file order, whatever the sort does with ties.
  Track a, b, c;
  for (uint8_t i = 0; i < 20; ++i) {
    c.at(0, {0x92, i, 1});
    b.at(0, {0x91, i, 1});
    a.at(0, {0x90, i, 1});
  }
  a.at(1, {0x80, 0, 0});  // so the tracks must be merged, not just joined
  const MidiSong crowd = parsed(midiFile(1, 96, {a, b, c}));
  ASSERT_EQ(crowd.events.size(), 61u);
  for (std::size_t i = 0; i < 60; ++i) {
    EXPECT_EQ(crowd.events[i].message, msg(static_cast<uint8_t>(0x90 + i / 20), static_cast<uint8_t>(i % 20), 1));
  }
  EXPECT_EQ(crowd.events[60].message, msg(0x80, 0, 0));

  // Two changes at one tick: the later one in track then file order wins.
  const MidiSong tie = parsed(midiFile(1, 1, {Track().tempo(0, 100).tempo(0, 200).end(),
                                              Track().tempo(0, 300).at(1, {0x90, 1, 1}).end()}));
  ASSERT_EQ(tie.events.size(), 1u);
  EXPECT_EQ(tie.events[0].time, 300u);
}

TEST(MidiFile, SmpteDivisionCountsFramesAndIgnoresTempo) {
  // 25 frames of 40 ticks: a millisecond per tick.
  const MidiSong song = parsed(midiFile(0, 0xE728, {Track().tempo(0, 100000).at(1000, {0x99, 36, 9}).end(500)}));
  EXPECT_EQ(song.ticksPerQuarter, 0);
  EXPECT_EQ(song.smpteRate, 25);
  EXPECT_EQ(song.ticksPerFrame, 40);
  ASSERT_EQ(song.events.size(), 1u);
  EXPECT_EQ(song.frameAt(song.events[0], 44100), 44100);
  EXPECT_EQ(song.endFrame(48000), 72000);

  // 29 stands for 30 drop-frame, 29.97 frames a second: 30 frames last 1.001 s.
  const MidiSong drop = parsed(midiFile(0, 0xE301, {Track().at(30, {0x99, 36, 9}).end()}));
  ASSERT_EQ(drop.events.size(), 1u);
  EXPECT_EQ(drop.frameAt(drop.events[0], 48000), 48048);
  EXPECT_EQ(drop.frameAt(drop.events[0], 44100), 44144);  // 44144.1

  for (uint16_t division : {0x0000, 0xE700, 0xE928, 0x8001}) {
    EXPECT_EQ(parseMidiFile(midiFile(0, division, {Track().end()})).error, MidiFileError::kBadDivision)
        << std::hex << division;
  }
}

TEST(MidiFile, KeepsChannelMessagesOnlyAndHonoursRunningStatusRules) {
  const MidiSong song = parsed(midiFile(0, 96, {Track()
                                                    .at(0, {0x99, 36, 100})
                                                    .at(10, {0xF0, 0x03, 0x7E, 0x7F, 0xF7})  // sysex
                                                    .at(0, {0x99, 36, 0})                    // a note-off
                                                    .at(0, {0xF7, 0x02, 0xF3, 0x01})         // escape
                                                    .at(0, {0xFF, 0x01, 0x05, 'h', 'e', 'l', 'l', 'o'})
                                                    .at(0, {0xB0, 7, 127})
                                                    .at(0, {0xF8})  // real time keeps running status
                                                    .at(0, {7, 64})
                                                    .at(5, {0xE0, 0x00, 0x40})
                                                    .at(0, {0xFF, 0x03, 0x00})  // meta ends it
                                                    .at(0, {38, 100})
                                                    .at(0, {0x99, 40, 100})
                                                    .end()}));
  ASSERT_EQ(song.events.size(), 5u);
  EXPECT_EQ(song.events[0].message, msg(0x99, 36, 100));
  EXPECT_EQ(song.events[1].message, msg(0x99, 36, 0));
  EXPECT_EQ(song.events[1].tick, 10u);
  EXPECT_EQ(song.events[2].message, msg(0xB0, 7, 127));
  EXPECT_EQ(song.events[3].message, msg(0xB0, 7, 64));
  EXPECT_EQ(song.events[4].message, msg(0xE0, 0x00, 0x40));
  EXPECT_EQ(song.events[4].tick, 15u);
  EXPECT_TRUE(warns(song, "track 1 holds system messages"));
  EXPECT_TRUE(warns(song, "track 1 has a data byte with no status before it"));
  // The rest of the track is gone, but what came before the bad byte still counts toward the end.
  EXPECT_EQ(song.endTick, 15u);

  // Sysex and system common bytes end running status too.
  for (uint8_t cancel : {0xF0, 0xF7, 0xF6}) {
    Track t;
    t.at(0, {0x90, 1, 1});
    if (cancel == 0xF6) {
      t.at(0, {0xF6});
    } else {
      t.at(0, {cancel, 0x00});
    }
    const MidiSong s = parsed(midiFile(0, 96, {t.at(0, {2, 2}).end()}));
    EXPECT_EQ(s.events.size(), 1u) << int{cancel};
    EXPECT_TRUE(warns(s, "no status before it")) << int{cancel};
  }
  // A status byte where either data byte belongs.
  for (const Track& t : {Track().at(0, {0x90, 1, 1}).at(0, {0x90, 0x90, 1}).end(),
                         Track().at(0, {0x90, 1, 1}).at(0, {0x90, 2, 0xF0}).end()}) {
    const MidiSong cut = parsed(midiFile(0, 96, {t}));
    EXPECT_EQ(cut.events.size(), 1u);
    EXPECT_TRUE(warns(cut, "track 1 has a message cut short by a status byte"));
  }
}

TEST(MidiFile, ReadsAroundDamagedAndMissingChunks) {
  Bytes file = header(1, 4, 96);
  for (const Bytes& c : {chunk("MTrk", Track().at(0, {0x99, 36, 1}).end().body()),
                         chunk("XFIH", {0x00, 0x01, 0x02}),
                         chunk("MTrk", Track().at(3, {0x99, 38, 1}).body())}) {
    file.insert(file.end(), c.begin(), c.end());
  }
  // The fourth track claims 100 bytes and holds one event and half of another.
  const Bytes last = Track().at(7, {0x99, 40, 1}).at(1, {0x99}).body();
  file.insert(file.end(), {'M', 'T', 'r', 'k', 0, 0, 0, 100});
  file.insert(file.end(), last.begin(), last.end());

  const MidiSong song = parsed(file);
  EXPECT_EQ(song.trackCount, 3);
  ASSERT_EQ(song.events.size(), 3u);
  EXPECT_EQ(song.events[1].track, 1);  // the unknown chunk is not a track
  EXPECT_EQ(song.events[2].track, 2);
  EXPECT_EQ(song.events[2].tick, 7u);
  EXPECT_EQ(song.endTick, 7u);
  EXPECT_TRUE(warns(song, "track 2 has no end-of-track marker"));
  EXPECT_TRUE(warns(song, "track 3 ends early: the file stops inside it"));
  EXPECT_TRUE(warns(song, "promises 4 tracks but the file holds 3"));
  EXPECT_EQ(song.warnings.size(), 3u);

  // An event cut short inside an intact chunk.
  const MidiSong inside = parsed(midiFile(0, 96, {Track().at(0, {0x99, 36, 1}).at(4, {0xC0})}));
  EXPECT_EQ(inside.events.size(), 1u);
  EXPECT_TRUE(warns(inside, "track 1 ends inside an event"));
  // Meta and sysex lengths past the chunk's end.
  for (const Track& t : {Track().at(0, {0x99, 36, 1}).at(9, {0xFF, 0x01, 0x05, 'a'}),
                         Track().at(0, {0x99, 36, 1}).at(9, {0xF0, 0x05, 0x7F})}) {
    const MidiSong s = parsed(midiFile(0, 96, {t}));
    EXPECT_EQ(s.events.size(), 1u);
    EXPECT_EQ(s.endTick, 0u);
    EXPECT_TRUE(warns(s, "track 1 ends inside an event"));
  }
}

TEST(MidiFile, NumbersOfMoreThanFourBytesEndOnlyTheirTrack) {
  const MidiSong song = parsed(midiFile(1, 96, {Track().at(0, {0x99, 36, 1}).raw({0x81, 0x80, 0x80, 0x80, 0x00}),
                                                Track().at(0x0FFFFFFF, {0x99, 38, 1}).end()}));
  ASSERT_EQ(song.events.size(), 2u);
  EXPECT_EQ(song.events[1].tick, 0x0FFFFFFFu);  // the longest number there is
  EXPECT_TRUE(warns(song, "track 1 has a number longer than 4 bytes"));
  EXPECT_EQ(song.warnings.size(), 1u);

  const MidiSong sysex = parsed(midiFile(0, 96, {Track().at(0, {0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}).end()}));
  EXPECT_TRUE(warns(sysex, "longer than 4 bytes"));
}

TEST(MidiFile, RefusesWhatIsNotAPlayableMidiFile) {
  auto errorOf = [](const Bytes& b) { return parseMidiFile(b).error; };
  EXPECT_EQ(errorOf({}), MidiFileError::kNotMidi);
  EXPECT_EQ(errorOf({'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96}), MidiFileError::kNotMidi);
  EXPECT_EQ(errorOf({'M', 'T', 'h', 'd', 0, 0}), MidiFileError::kTruncated);
  EXPECT_EQ(errorOf({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0}), MidiFileError::kTruncated);
  EXPECT_EQ(errorOf({'M', 'T', 'h', 'd', 0, 0, 0, 5, 0, 0, 0, 1, 0}), MidiFileError::kNotMidi);
  EXPECT_EQ(errorOf(midiFile(2, 96, {Track().end()})), MidiFileError::kUnsupportedFormat);
  EXPECT_EQ(errorOf(midiFile(0x0100, 96, {Track().end()})), MidiFileError::kUnsupportedFormat);

  // A longer header is read for its first six bytes.
  Bytes longer = {'M', 'T', 'h', 'd', 0, 0, 0, 9, 0, 0, 0, 1, 0, 96, 0xAA, 0xBB, 0xCC};
  const Bytes track = chunk("MTrk", Track().at(0, {0x90, 60, 1}).end().body());
  longer.insert(longer.end(), track.begin(), track.end());
  const MidiSong song = parsed(longer);
  EXPECT_EQ(song.events.size(), 1u);
  EXPECT_TRUE(song.warnings.empty());

  // Every error explains itself differently; success says nothing.
  EXPECT_TRUE(midiFileErrorText(MidiFileError::kOk).empty());
  std::vector<std::string> texts;
  for (MidiFileError e : {MidiFileError::kCannotOpen, MidiFileError::kNotMidi, MidiFileError::kUnsupportedFormat,
                          MidiFileError::kBadDivision, MidiFileError::kTruncated, MidiFileError::kTooLarge}) {
    texts.push_back(midiFileErrorText(e));
  }
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(std::unique(texts.begin(), texts.end()), texts.end());
  EXPECT_FALSE(texts.front().empty());
}

TEST(MidiFile, HugeDeclaredSizesAreCheckedAgainstTheBytesThere) {
  // 22 bytes claiming 65535 tracks, the first 4 GiB long.
  Bytes file = header(1, 0xFFFF, 96);
  file.insert(file.end(), {'M', 'T', 'r', 'k', 0xFF, 0xFF, 0xFF, 0xFF});
  ASSERT_EQ(file.size(), 22u);
  const MidiSong song = parsed(file);
  EXPECT_EQ(song.trackCount, 1);
  EXPECT_TRUE(song.events.empty());
  EXPECT_TRUE(warns(song, "promises 65535 tracks but the file holds 1"));

  // Thousands of broken tracks: the warnings stop at a fixed number and count the rest.
  Bytes many = header(1, 3000, 96);
  for (int i = 0; i < 3000; ++i) {
    const Bytes c = chunk("MTrk", Track().at(0, {0x40}).body());
    many.insert(many.end(), c.begin(), c.end());
  }
  const MidiSong noisy = parsed(many);
  ASSERT_EQ(noisy.warnings.size(), kMaxMidiFileWarnings + 1);
  EXPECT_EQ(noisy.warnings.back(), "and 2900 more warnings");

  // Ticks stop short of the cap, where the slowest tempo times the tick still fits 64 bits.
  Track slow;
  slow.tempo(0, 0xFFFFFF);
  for (int i = 0; i < 4200; ++i) slow.at(0x0FFFFFFF, {0x99, 36, 1});
  const MidiSong longest = parsed(midiFile(0, 1, {slow.end()}));
  ASSERT_EQ(longest.events.size(), 4096u);  // 4097 × (2^28 - 1) ≥ 2^40
  EXPECT_TRUE(warns(longest, "runs past the longest song"));
  EXPECT_EQ(longest.endTick, uint64_t{4096} * 0x0FFFFFFF);
  EXPECT_EQ(longest.endTime, longest.endTick * 0xFFFFFF);
  EXPECT_EQ(longest.endFrame(44100), 813501362131599698);
}

TEST(MidiFile, LoadRefusesOversizedAndMissingFiles) {
  test::TempDir dir;
  const Bytes song = midiFile(0, 96, {Track().at(0, {0x99, 36, 100}).end()});
  test::writeBytes(dir / "song.mid", song);
  MidiFileResult r = loadMidiFile(dir / "song.mid");
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.song.events.size(), 1u);

  // Sparse, so the test writes nothing; a read would take 64 MiB.
  test::writeBytes(dir / "huge.mid", song);
  std::filesystem::resize_file(dir / "huge.mid", kMaxMidiFileBytes + 1);
  EXPECT_EQ(loadMidiFile(dir / "huge.mid").error, MidiFileError::kTooLarge);
  EXPECT_EQ(loadMidiFile(dir / "none.mid").error, MidiFileError::kCannotOpen);
  EXPECT_EQ(loadMidiFile(dir.path()).error, MidiFileError::kCannotOpen);
}

TEST(MidiSong, FrameAtRoundsHalvesUpAndSaturates) {
  MidiSong song;
  song.timeUnitsPerSecond = 4;
  EXPECT_EQ(song.frameAtTime(1, 1), 0);  // 0.25
  EXPECT_EQ(song.frameAtTime(2, 1), 1);  // 0.5
  EXPECT_EQ(song.frameAtTime(3, 1), 1);  // 0.75
  EXPECT_EQ(song.frameAtTime(6, 1), 2);  // 1.5
  EXPECT_EQ(song.frameAtTime(5, 1), 1);  // 1.25
  EXPECT_EQ(song.frameAtTime(1, 2), 1);  // 0.5
  EXPECT_EQ(song.frameAtTime(7, 0), 0);
  EXPECT_EQ(song.frameAtTime(7, -44100), 0);
  song.timeUnitsPerSecond = 24;
  EXPECT_EQ(song.frameAtTime(std::numeric_limits<uint64_t>::max(), 192000), std::numeric_limits<int64_t>::max());
  song.timeUnitsPerSecond = 1000000ull * 480;
  EXPECT_EQ(song.frameAtTime(240000000, 44100), 22050);
}

}  // namespace
}  // namespace zumbel
