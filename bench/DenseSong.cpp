#include "DenseSong.h"

#include <algorithm>
#include <span>
#include <string_view>

#include "demo/DrumNotes.h"
#include "demo/MidiWriter.h"
#include "demo/Prng.h"

namespace zumbel::bench {

namespace {

using demo::MidiTrack;
using demo::Prng;

using namespace demo::gm;  // the General MIDI drum notes

constexpr int kStepsPerBar = 16;
constexpr uint32_t kStepTicks = kDenseTicksPerQuarter / 4;  // sixteenths
constexpr uint32_t kBarTicks = kStepTicks * kStepsPerBar;
constexpr uint32_t kRollTicks = kStepTicks / 2;  // thirty-seconds
// Note-offs follow after a sixty-fourth; drum sounds mostly ignore them anyway.
constexpr uint32_t kGateTicks = kStepTicks / 4;

// The opening roll: one thirty-second per velocity step, 1 up to 127, over four bars.
constexpr int kRollBars = 4;
constexpr int kRollHits = kRollBars * kStepsPerBar * 2;
constexpr int kPhraseBars = 8;  // a crash opens each phrase; its 4th and 8th bars end in fills
constexpr int kShortFillBar = 3;  // of a phrase; its last bar has the long fill
constexpr int kFillStep = 8;      // fills take the second half of their bar

constexpr uint64_t kSeed = 0xDE45'E50A'6001'0001ULL;

// One part's bar: a character per sixteenth, '.' a rest, the others a dynamic.
struct Part {
  int note;
  std::string_view steps;
};

struct Dynamic {
  char symbol;
  int lowest;
  int highest;
};

constexpr Dynamic kDynamics[] = {
    {'g', 8, 35}, {'s', 45, 70}, {'m', 75, 95}, {'h', 100, 115}, {'A', 118, 127},
};

using Parts = std::span<const Part>;

consteval bool wellFormed(Parts parts) {
  for (const Part& p : parts) {
    if (p.steps.size() != kStepsPerBar) return false;
    for (char c : p.steps) {
      if (c != '.' && c != 'g' && c != 's' && c != 'm' && c != 'h' && c != 'A') return false;
    }
  }
  return true;
}

// Four grooves, a phrase each in turn, about forty hits a bar.
constexpr Part kHatGroove[] = {{kClosedHat, "hgmghgmghgmghg.g"},
                               {kOpenHat, "..............m."},
                               {kKick, "h.....m.h..m...."},
                               {kSnare, "....A..g.g..A..g"},
                               {kRide, "m.s.m.s.m.s.m.s."},
                               {kPedalHat, "....s.......s..."},
                               {kCowbell, "m...m...m...m..."}};
static_assert(wellFormed(kHatGroove), "a pattern has 16 steps of .gsmhA");
constexpr Part kRideGroove[] = {{kRide, "hgmghgmghgmghgmg"},
                                {kRideBell, "..m...m...m...m."},
                                {kClosedHat, "s.s.s.s.s.s.s.s."},
                                {kAcousticKick, "h..m....h.m....."},
                                {kSnare, "....h.......h..."},
                                {kSideStick, "..g...g...g..g.g"},
                                {kPedalHat, "....m.......m..."}};
static_assert(wellFormed(kRideGroove), "a pattern has 16 steps of .gsmhA");
constexpr Part kFloorGroove[] = {{kClosedHat, "mgsgmgsgmgsgmgsg"},
                                 {kKick, "h...h...h...h.m."},
                                 {kSnare, "....h.......h..."},
                                 {kClap, "....m.......m..."},
                                 {kRimSnare, "..........s....g"},
                                 {kCowbell, "..m...m...m...m."},
                                 {kRide2, "s.m.s.m.s.m.s.m."}};
static_assert(wellFormed(kFloorGroove), "a pattern has 16 steps of .gsmhA");
constexpr Part kBrokenGroove[] = {{kClosedHat, "hg.gmg.ghg.gmg.g"},
                                  {kOpenHat, "..m...m...m...m."},
                                  {kKick, "h.m....mh.m....m"},
                                  {kSnare, "....A..g.g..A.gg"},
                                  {kChina, "m.......m......."},
                                  {kSplash, "............s..."},
                                  {kRide, "..s...s...s...s."},
                                  {kLowFloorTom, "...........g...."}};
static_assert(wellFormed(kBrokenGroove), "a pattern has 16 steps of .gsmhA");
// Down the toms in the second half of the bar.
constexpr Part kShortFill[] = {{kHighTom, "........mh......"},
                               {kHighMidTom, "..........mh...."},
                               {kMidTom, "............hh.."},
                               {kLowTom, "..............hA"},
                               {kKick, "........h...h..."}};
static_assert(wellFormed(kShortFill), "a pattern has 16 steps of .gsmhA");
constexpr Part kLongFill[] = {{kHighTom, "........hh......"},
                              {kHighMidTom, "..........hh...."},
                              {kMidTom, "............h..."},
                              {kLowTom, ".............h.."},
                              {kHighFloorTom, "..............h."},
                              {kLowFloorTom, "...............A"},
                              {kKick, "........h.h.h.h."}};
static_assert(wellFormed(kLongFill), "a pattern has 16 steps of .gsmhA");
constexpr Part kEnding[] = {{kCrash, "A..............."},
                            {kCrash2, "A..............."},
                            {kKick, "A..............."},
                            {kSplash, "h..............."}};
static_assert(wellFormed(kEnding), "a pattern has 16 steps of .gsmhA");

constexpr Parts kGrooves[] = {kHatGroove, kRideGroove, kFloorGroove, kBrokenGroove};

class Drummer {
 public:
  explicit Drummer(MidiTrack& track) : track_(track), rng_(kSeed) {}

  void hit(uint32_t tick, int note, int velocity) {
    track_.noteOn(tick, kDenseChannel, note, std::clamp(velocity, 1, 127));
    track_.noteOff(tick + kGateTicks, kDenseChannel, note);
  }

  // Steps from `fromStep` up to (not including) `toStep` of each part.
  void play(int bar, Parts parts, int fromStep = 0, int toStep = kStepsPerBar) {
    for (const Part& part : parts) {
      for (int step = fromStep; step < toStep; ++step) {
        const char symbol = part.steps[static_cast<std::size_t>(step)];
        if (symbol == '.') continue;
        hit(barTick(bar) + static_cast<uint32_t>(step) * kStepTicks, part.note, velocityFor(symbol));
      }
    }
  }

  static uint32_t barTick(int bar) { return static_cast<uint32_t>(bar) * kBarTicks; }

 private:
  // Each hit wanders inside its band, as a drummer's would.
  int velocityFor(char symbol) {
    for (const Dynamic& d : kDynamics) {
      if (d.symbol == symbol) return rng_.between(d.lowest, d.highest);
    }
    return 1;
  }

  MidiTrack& track_;
  Prng rng_;
};

// A snare roll in thirty-seconds from velocity 1 to 127 over quarter-note hats: every velocity
// the song can send, in order.
void openingRoll(Drummer& d) {
  for (int i = 0; i < kRollHits; ++i) {
    // 128 hits over 127 values: each step is 0 or 1, so none is skipped.
    d.hit(static_cast<uint32_t>(i) * kRollTicks, kSnare, 1 + i * 126 / (kRollHits - 1));
  }
  const Part underneath[] = {{kClosedHat, "m...m...m...m..."}, {kKick, "h..............."}};
  for (int bar = 0; bar < kRollBars; ++bar) d.play(bar, underneath);
}

void groove(Drummer& d, int bar) {
  const int phraseBar = (bar - kRollBars) % kPhraseBars;
  const int phrase = (bar - kRollBars) / kPhraseBars;
  const Parts parts = kGrooves[static_cast<std::size_t>(phrase) % std::size(kGrooves)];
  if (phraseBar == 0) {
    const Part crash[] = {{phrase % 2 == 0 ? kCrash : kCrash2, "A..............."}};
    d.play(bar, crash);
  }
  if (phraseBar == kShortFillBar || phraseBar == kPhraseBars - 1) {
    d.play(bar, parts, 0, kFillStep);
    d.play(bar, phraseBar == kShortFillBar ? Parts(kShortFill) : Parts(kLongFill));
  } else {
    d.play(bar, parts);
  }
}

}  // namespace

std::vector<uint8_t> denseSongImage() {
  MidiTrack tempo;
  tempo.name(0, "Dense Song");
  tempo.timeSignature(0, 4, 2);
  tempo.tempo(0, kDenseTempo);
  tempo.endAt(Drummer::barTick(kDenseBars));

  MidiTrack drums;
  drums.name(0, "Drums");
  Drummer d(drums);
  openingRoll(d);
  for (int bar = kRollBars; bar < kDenseBars - 1; ++bar) groove(d, bar);
  d.play(kDenseBars - 1, kEnding);
  drums.endAt(Drummer::barTick(kDenseBars));
  return demo::smfImage(kDenseTicksPerQuarter, {tempo, drums});
}

}  // namespace zumbel::bench
