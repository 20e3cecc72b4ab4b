#include "DemoSong.h"

#include <initializer_list>
#include <string_view>

#include "DemoConfig.h"
#include "DrumNotes.h"
#include "MidiWriter.h"
#include "Prng.h"

namespace zumbel::demo {

namespace {

constexpr uint32_t kStepTicks = kTicksPerQuarter / 4;  // patterns are written in sixteenths
constexpr int kStepsPerBar = 16;
constexpr uint32_t kBarTicks = kStepTicks * kStepsPerBar;

// Where the tempo changes, in bars.
constexpr int kMainBar = 8;
constexpr int kOutroBar = 24;
constexpr int kBarCount = 26;

// One instrument's part in one bar: a character per sixteenth. '.' rests; the others name a
// dynamic, each within one band of the default velocity scheme, so the song reaches every layer:
// 'g' ghost, 's' soft, 'm' medium, 'h' hard, 'A' accent.
constexpr std::string_view kSymbols = ".gsmhA";

// A bar's pattern, checked while compiling: a typo cannot shift or drop a hit unnoticed.
class Steps {
 public:
  // Implicit, so a part reads as plain text.
  consteval Steps(const char* text) : text_(text) {
    if (text_.size() != kStepsPerBar) throw "a pattern has one character per sixteenth";
    for (char c : text_) {
      if (kSymbols.find(c) == std::string_view::npos) throw "unknown dynamic in a pattern";
    }
  }
  char operator[](int step) const { return text_[static_cast<std::size_t>(step)]; }

 private:
  std::string_view text_;
};

constexpr Steps kRest = "................";

struct Line {
  int note;
  Steps steps;
};

struct Dynamic {
  char symbol;
  int lowest;
  int highest;
};

constexpr Dynamic kDynamics[] = {
    {'g', 24, 38}, {'s', 48, 70}, {'m', 80, 100}, {'h', 107, 118}, {'A', 122, 127},
};

class Drummer {
 public:
  explicit Drummer(MidiTrack& track) : track_(track), rng_(kSongSeed) {}

  void bar(int index, std::initializer_list<Line> lines) {
    for (const Line& line : lines) {
      for (int step = 0; step < kStepsPerBar; ++step) {
        const char symbol = line.steps[step];
        if (symbol == '.') continue;
        hit(static_cast<uint32_t>(index) * kBarTicks + static_cast<uint32_t>(step) * kStepTicks, line.note,
            symbol);
      }
    }
  }

 private:
  void hit(uint32_t tick, int note, char symbol) {
    for (const Dynamic& d : kDynamics) {
      if (d.symbol != symbol) continue;
      // A drummer never plays two hits alike: each velocity wanders inside its band.
      track_.noteOn(tick, kSongChannel, note, rng_.between(d.lowest, d.highest));
      track_.noteOff(tick + kNoteOffTicks, kSongChannel, note);
    }
  }

  MidiTrack& track_;
  Prng rng_;
};

uint32_t barTick(int bar) { return static_cast<uint32_t>(bar) * kBarTicks; }

MidiTrack tempoTrack() {
  MidiTrack t;
  t.name(0, "Demo Song");
  t.timeSignature(0, 4, 2);
  t.tempo(0, kIntroTempo);
  t.tempo(barTick(kMainBar), kMainTempo);
  t.tempo(barTick(kOutroBar), kOutroTempo);
  t.endAt(barTick(kBarCount));
  return t;
}

using namespace gm;

// Two bars of side stick and hats, then a groove with ghost notes and an open hat every other
// bar that the next downbeat chokes; a tom fill leads into the ride section.
void intro(Drummer& d) {
  d.bar(0, {{kCrash, "h..............."},
            {kKick, "h.......m......."},
            {kSideStick, "....m.......h..."},
            {kClosedHat, "..s.m.s.m.s.m.s."}});
  d.bar(1, {{kKick, "h.......m.s....."},
            {kSideStick, "....m.......h..s"},
            {kClosedHat, "m.s.m.s.m.s.m.s."}});
  for (int b = 2; b < 7; ++b) {
    const bool open = b % 2 == 1;
    d.bar(b, {{kKick, "h.....m.h..s...."},
              {kSnare, "....h..g.g..h..g"},
              {kClosedHat, open ? Steps("h.s.m.s.h.s.m...") : Steps("m.s.m.s.m.s.m.s.")},
              {kOpenHat, open ? Steps("..............m.") : kRest}});
  }
  d.bar(7, {{kKick, "h.....m........."},
            {kSnare, "....h..g........"},
            {kClosedHat, "m.s.m.s........."},
            {kHighTom, "........smh....."},
            {kMidTom, "...........mh..."},
            {kLowTom, ".............hhA"}});
}

// Ride over pedal hats at the faster tempo; claps join the backbeat halfway, and a snare roll
// that grows from ghost notes to accents leads out.
void rideSection(Drummer& d) {
  for (int b = kMainBar; b < 15; ++b) {
    const bool clap = b >= 12;
    const bool firstOfFour = (b - kMainBar) % 4 == 0;
    d.bar(b, {{kCrash, firstOfFour ? Steps("A...............") : kRest},
              {kRide, firstOfFour ? Steps("..m.h.m.h.m.h.m.") : Steps("h.m.h.m.h.m.h.m.")},
              {kPedalHat, "....m.......m..."},
              {kKick, b == 11 ? Steps("h......mh.......") : Steps("h......mh.m.....")},
              {kSnare, b == 11 ? Steps("....h.g.....gsmh") : Steps("....h..g.g..h..g")},
              {kClap, clap ? Steps("............m...") : kRest},
              {kOpenHat, b == 13 ? Steps("..........m.....") : kRest}});
  }
  d.bar(15, {{kKick, "h..............."},
             {kSnare, "ggggssssmmmmhhAA"},
             {kLowTom, "..............A."}});
}

// Busier sixteenth hats with claps on the backbeat, open hats choked by the next closed hit,
// rim clicks in the gaps, and a big fill around the toms into the ending.
void groove(Drummer& d) {
  for (int b = 16; b < 23; ++b) {
    const bool crash = b == 16 || b == 20;
    d.bar(b, {{kCrash, crash ? Steps("A...............") : kRest},
              {kKick, b == 19 ? Steps("h..m..h...h.....") : Steps("h..m..h...h..m..")},
              {kSnare, "....h..g.g..h..g"},
              {kClap, "....m.......h..."},
              {kClosedHat, crash ? Steps("..gsmgsgm.gsmgsg") : Steps("hgsgmgs...gsmgsg")},
              {kOpenHat, crash ? kRest : Steps(".......m........")},
              {kSideStick, b % 2 == 1 ? Steps("...........s....") : kRest}});
  }
  d.bar(19, {{kHighTom, "............mh.."}, {kMidTom, "..............hA"}});
  d.bar(23, {{kKick, "h..............."},
             {kSnare, "h.sm............"},
             {kHighTom, "....mhmh........"},
             {kMidTom, "........hmhh...."},
             {kLowTom, "............hhAA"}});
}

// A half-time bar on the ride, then one last accent left to ring.
void outro(Drummer& d) {
  d.bar(kOutroBar, {{kCrash, "A..............."},
                    {kKick, "A.......m.s....."},
                    {kSnare, "........h......."},
                    {kRide, "..s.m.s.m.s.m.s."},
                    {kPedalHat, "....s.......s..."}});
  d.bar(kOutroBar + 1, {{kCrash, "A..............."},
                        {kKick, "A..............."},
                        {kClap, "h..............."}});
}

}  // namespace

std::vector<uint8_t> demoSongImage() {
  MidiTrack drums;
  drums.name(0, "Drums");
  Drummer d(drums);
  intro(d);
  rideSection(d);
  groove(d);
  outro(d);
  drums.endAt(barTick(kBarCount));
  return smfImage(kTicksPerQuarter, {tempoTrack(), drums});
}

}  // namespace zumbel::demo
