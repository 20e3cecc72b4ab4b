#include "DrumNames.h"

#include <algorithm>
#include <array>
#include <tuple>
#include <utility>

#include "Limits.h"

namespace zumbel::import {

namespace {

constexpr int kLowestNote = kFirstNote;
constexpr int kHighestNote = 127;

// A name's words: lower case, split at anything but letters and digits and wherever letters and
// digits meet ("Snare1" is "snare 1", "crash16inch" is "crash 16 inch"). Bytes beyond ASCII count
// as letters, so a word in another script stays one word.
class Words {
 public:
  explicit Words(std::string_view name) {
    // "Kick (Tama Superstar 22\")": the details in brackets name no drum.
    if (const std::size_t open = name.find(" ("); open != std::string_view::npos && open > 0 && name.back() == ')') {
      name = name.substr(0, open);
    }
    std::string word;
    auto flush = [&] {
      if (!word.empty()) tokens_.push_back(std::move(word));
      word.clear();
    };
    bool digits = false;
    for (const char c : name) {
      const auto u = static_cast<unsigned char>(c);
      const bool digit = u >= '0' && u <= '9';
      const bool letter = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u >= 0x80;
      if (!digit && !letter) {
        flush();
        continue;
      }
      if (!word.empty() && digit != digits) flush();
      digits = digit;
      word += (u >= 'A' && u <= 'Z') ? static_cast<char>(u - 'A' + 'a') : c;
    }
    flush();
    spaced_ = " ";
    for (const std::string& t : tokens_) spaced_ += t + " ";
  }

  // A word exactly.
  bool is(std::string_view w) const {
    return std::any_of(tokens_.begin(), tokens_.end(), [&](const std::string& t) { return t == w; });
  }
  // Within a word ("bassdrum" in "bassdrum"), or words in a row when `w` has spaces ("bass drum").
  bool in(std::string_view w) const {
    if (w.find(' ') != std::string_view::npos) return spaced_.find(w) != std::string::npos;
    return std::any_of(tokens_.begin(), tokens_.end(), [&](const std::string& t) { return t.find(w) != std::string::npos; });
  }
  bool starts(std::string_view w) const {
    return std::any_of(tokens_.begin(), tokens_.end(), [&](const std::string& t) { return t.starts_with(w); });
  }
  // A word that ends with `w` and is longer than it: "tomhi", "woodblocklo".
  bool endsLonger(std::string_view w) const {
    return std::any_of(tokens_.begin(), tokens_.end(), [&](const std::string& t) { return t.size() > w.size() && t.ends_with(w); });
  }
  // The position of the first word holding `w`, or the number of words.
  std::size_t wordWith(std::string_view w) const {
    for (std::size_t i = 0; i < tokens_.size(); ++i) {
      if (tokens_[i].find(w) != std::string::npos) return i;
    }
    return tokens_.size();
  }
  // The last number among the words, 0 without one.
  long lastNumber() const {
    for (auto t = tokens_.rbegin(); t != tokens_.rend(); ++t) {
      if (!t->empty() && (*t)[0] >= '0' && (*t)[0] <= '9') return t->size() > 9 ? 999999999L : std::stol(*t);
    }
    return 0;
  }

  bool high() const { return is("hi") || is("high") || endsLonger("hi") || endsLonger("high"); }
  bool low() const { return is("lo") || is("low") || endsLonger("lo") || endsLonger("low"); }
  bool muted() const { return in("mute") || in("damp"); }
  bool open() const { return in("open") || is("op"); }

 private:
  std::vector<std::string> tokens_;
  std::string spaced_;
};

// High, low or either, for the percussion General MIDI has in pairs.
DrumKind pick(const Words& w, DrumKind high, DrumKind low, DrumKind either) {
  if (w.high()) return high;
  if (w.low()) return low;
  return either;
}

DrumKind hatKind(const Words& w) {
  if (w.in("pedal") || w.is("pd") || w.is("ped") || w.in("foot") || w.is("phh") || w.is("hhp") || w.in("chick")) {
    return DrumKind::kPedalHat;
  }
  if (w.open() || w.is("oh") || w.is("ohh") || w.is("hho") || w.in("semi") || w.in("half")) return DrumKind::kOpenHat;
  if (w.in("close") || w.is("cl") || w.is("ch") || w.is("chh") || w.is("hhc") || w.in("tight") || w.in("shut")) {
    return DrumKind::kClosedHat;
  }
  return DrumKind::kNone;  // "Hi Hat Free", "Hat Swish": no General MIDI note says which
}

bool isHat(const Words& w) {
  return w.starts("hat") || w.endsLonger("hat") || w.endsLonger("hats") || w.starts("hh") || w.is("chh") || w.is("ohh") ||
         w.is("phh");
}

bool isTom(const Words& w) {
  if (w.starts("tom")) return true;
  for (const char* glued : {"floortom", "racktom", "hitom", "hightom", "midtom", "lotom", "lowtom", "fltom"}) {
    if (w.in(glued)) return true;
  }
  return false;
}

// Where a tom sits, highest 0 to floor 3; a name that says nothing sits between high and low.
double tomPitchRank(const Words& w) {
  if (w.in("floor") || w.is("fl") || w.in("flr")) return 3.0;
  // "Hi-Mid Tom" sits between the two it names.
  double sum = 0.0;
  int said = 0;
  for (const auto& [says, rank] : {std::pair{w.high() || w.in("rack"), 0.0}, std::pair{w.in("mid") || w.in("med"), 1.0},
                                   std::pair{w.low(), 2.0}}) {
    if (!says) continue;
    sum += rank;
    ++said;
  }
  return said == 0 ? 1.0 : sum / said;
}

// Words that make an instrument a variant of its kind: a kind's plain instrument takes its first
// note before a semi-open hat, a choked crash or a snare's rimshot does.
int variantWords(const Words& w, DrumKind kind) {
  int n = 0;
  for (const char* v : {"semi", "half", "choke", "swish", "roll", "flam", "ghost", "buzz", "drag", "edge", "bow", "stop", "grab"}) {
    n += w.in(v) ? 1 : 0;
  }
  if (kind != DrumKind::kSideStick && (w.is("rim") || w.in("rimshot") || w.in("stick"))) ++n;
  if (kind != DrumKind::kCongaMute && kind != DrumKind::kCuicaMute && kind != DrumKind::kTriangleMute && w.muted()) ++n;
  if (w.in("crash") && w.in("ride")) ++n;  // "Crash/Ride": after the plain crash and ride
  return n;
}

struct KindNotes {
  DrumKind kind;
  const char* noun;  // "another kick"
  std::array<int, 3> notes;  // in the order a first, second and third instrument take them; 0 ends
  bool generic;      // either of a pair: after the instruments that say which
};

constexpr KindNotes kKindNotes[] = {
    {DrumKind::kKick, "kick", {36}, false},
    {DrumKind::kSideStick, "side stick", {37}, false},
    {DrumKind::kSnare, "snare", {38, 40}, false},
    {DrumKind::kClap, "clap", {39}, false},
    {DrumKind::kClosedHat, "closed hi-hat", {42}, false},
    {DrumKind::kPedalHat, "pedal hi-hat", {44}, false},
    {DrumKind::kOpenHat, "open hi-hat", {46}, false},
    {DrumKind::kCrash, "crash", {49, 57}, false},
    {DrumKind::kRide, "ride", {51, 59}, false},
    {DrumKind::kRideBell, "ride bell", {53}, false},
    {DrumKind::kChina, "china", {52}, false},
    {DrumKind::kSplash, "splash", {55}, false},
    {DrumKind::kTambourine, "tambourine", {54}, false},
    {DrumKind::kCowbell, "cowbell", {56}, false},
    {DrumKind::kVibraslap, "vibraslap", {58}, false},
    {DrumKind::kBongoHigh, "high bongo", {60}, false},
    {DrumKind::kBongoLow, "low bongo", {61}, false},
    {DrumKind::kBongo, "bongo", {60, 61}, true},
    {DrumKind::kCongaMute, "muted conga", {62}, false},
    {DrumKind::kCongaOpen, "open conga", {63}, false},
    {DrumKind::kCongaLow, "low conga", {64}, false},
    {DrumKind::kConga, "conga", {63, 62, 64}, true},
    {DrumKind::kTimbaleHigh, "high timbale", {65}, false},
    {DrumKind::kTimbaleLow, "low timbale", {66}, false},
    {DrumKind::kTimbale, "timbale", {65, 66}, true},
    {DrumKind::kAgogoHigh, "high agogo", {67}, false},
    {DrumKind::kAgogoLow, "low agogo", {68}, false},
    {DrumKind::kAgogo, "agogo", {67, 68}, true},
    {DrumKind::kCabasa, "cabasa", {69}, false},
    {DrumKind::kMaracas, "maracas", {70}, false},
    {DrumKind::kWhistle, "whistle", {71, 72}, false},
    {DrumKind::kGuiro, "guiro", {73, 74}, false},
    {DrumKind::kClaves, "claves", {75}, false},
    {DrumKind::kWoodBlockHigh, "high wood block", {76}, false},
    {DrumKind::kWoodBlockLow, "low wood block", {77}, false},
    {DrumKind::kWoodBlock, "wood block", {76, 77}, true},
    {DrumKind::kCuicaMute, "muted cuica", {78}, false},
    {DrumKind::kCuicaOpen, "open cuica", {79}, false},
    {DrumKind::kCuica, "cuica", {78, 79}, true},
    {DrumKind::kTriangleMute, "muted triangle", {80}, false},
    {DrumKind::kTriangleOpen, "open triangle", {81}, false},
    {DrumKind::kTriangle, "triangle", {81, 80}, true},
};

const KindNotes* notesOf(DrumKind kind) {
  for (const KindNotes& k : kKindNotes) {
    if (k.kind == kind) return &k;
  }
  return nullptr;
}

// Toms from the highest down, as many as there are: General MIDI's six toms are 50, 48, 47, 45,
// 43 and 41; fewer keep the outer ones apart and leave the low floor tom to a sixth.
constexpr int kTomNotes[6][6] = {
    {47}, {48, 43}, {50, 47, 43}, {50, 48, 45, 43}, {50, 48, 47, 45, 43}, {50, 48, 47, 45, 43, 41},
};

DrumKind kindOf(const Words& w, bool kitHasRide) {
  if (w.in("cowbell") || w.in("cow bell") || w.is("cow")) return DrumKind::kCowbell;
  if (w.in("agogo")) return pick(w, DrumKind::kAgogoHigh, DrumKind::kAgogoLow, DrumKind::kAgogo);
  if (isHat(w) || w.in("hi hat") || w.in("hihat")) return hatKind(w);
  const bool ride = w.in("ride"), crash = w.in("crash");
  if ((w.in("bell") || w.is("cup")) && (ride || w.is("cup") || kitHasRide)) return DrumKind::kRideBell;
  if (w.in("china") || w.in("chinese")) return DrumKind::kChina;  // a "China Crash" is a china
  if (crash && ride) return w.wordWith("crash") <= w.wordWith("ride") ? DrumKind::kCrash : DrumKind::kRide;
  if (crash) return DrumKind::kCrash;
  if (ride) return DrumKind::kRide;
  if (w.in("splash")) return DrumKind::kSplash;
  if (isTom(w)) return DrumKind::kTom;
  if (w.in("kick") || w.in("bassdrum") || w.in("bass drum") || w.is("bd") || w.is("kik")) return DrumKind::kKick;
  if (w.in("snare") || w.is("sd") || w.is("snr")) return DrumKind::kSnare;
  if (w.in("stick") || w.is("rim") || w.in("rimshot") || w.in("rimclick") || w.in("rim shot") || w.in("rim click")) {
    return DrumKind::kSideStick;
  }
  if (w.in("clap")) return DrumKind::kClap;
  if (w.in("tamb")) return DrumKind::kTambourine;
  if (w.in("vibraslap") || w.in("vibra slap")) return DrumKind::kVibraslap;
  if (w.in("bongo")) return pick(w, DrumKind::kBongoHigh, DrumKind::kBongoLow, DrumKind::kBongo);
  if (w.in("conga")) {
    if (w.muted()) return DrumKind::kCongaMute;
    if (w.low()) return DrumKind::kCongaLow;
    return w.open() || w.high() ? DrumKind::kCongaOpen : DrumKind::kConga;
  }
  if (w.in("timbal")) return pick(w, DrumKind::kTimbaleHigh, DrumKind::kTimbaleLow, DrumKind::kTimbale);
  if (w.in("cabasa")) return DrumKind::kCabasa;
  if (w.in("maraca") || w.in("shaker")) return DrumKind::kMaracas;
  if (w.in("whistle")) return DrumKind::kWhistle;
  if (w.in("guiro") || w.in("g\xC3\xBCiro")) return DrumKind::kGuiro;
  if (w.in("clave")) return DrumKind::kClaves;
  if (w.in("woodblock") || w.in("wood block") || w.is("block") || w.is("blocks")) {
    return pick(w, DrumKind::kWoodBlockHigh, DrumKind::kWoodBlockLow, DrumKind::kWoodBlock);
  }
  if (w.in("cuica") || w.in("cu\xC3\xAD" "ca")) {
    return w.muted() ? DrumKind::kCuicaMute : (w.open() ? DrumKind::kCuicaOpen : DrumKind::kCuica);
  }
  if (w.in("triangle")) return w.muted() ? DrumKind::kTriangleMute : (w.open() ? DrumKind::kTriangleOpen : DrumKind::kTriangle);
  return DrumKind::kNone;
}

constexpr std::string_view kGeneralMidiNames[] = {
    "acoustic bass drum", "bass drum 1", "side stick", "acoustic snare", "hand clap", "electric snare", "low floor tom",
    "closed hi-hat", "high floor tom", "pedal hi-hat", "low tom", "open hi-hat", "low-mid tom", "hi-mid tom",
    "crash cymbal 1", "high tom", "ride cymbal 1", "chinese cymbal", "ride bell", "tambourine", "splash cymbal",
    "cowbell", "crash cymbal 2", "vibraslap", "ride cymbal 2", "hi bongo", "low bongo", "mute hi conga",
    "open hi conga", "low conga", "high timbale", "low timbale", "high agogo", "low agogo", "cabasa", "maracas",
    "short whistle", "long whistle", "short guiro", "long guiro", "claves", "hi wood block", "low wood block",
    "mute cuica", "open cuica", "mute triangle", "open triangle",
};
constexpr int kFirstGeneralMidiNote = 35;

}  // namespace

DrumKind drumKindOf(std::string_view name, bool kitHasRide) { return kindOf(Words(name), kitHasRide); }

std::string_view generalMidiName(int note) {
  const int i = note - kFirstGeneralMidiNote;
  if (i < 0 || i >= static_cast<int>(std::size(kGeneralMidiNames))) return {};
  return kGeneralMidiNames[static_cast<std::size_t>(i)];
}

std::vector<int> placeGeneralMidi(const std::vector<NamedInstrument>& instruments, std::vector<std::string>& report) {
  const std::size_t n = instruments.size();
  std::vector<Words> words;
  words.reserve(n);
  bool kitHasRide = false;
  for (const NamedInstrument& inst : instruments) {
    words.emplace_back(inst.name);
    kitHasRide |= inst.sounding && words.back().in("ride");
  }
  std::vector<DrumKind> kinds(n, DrumKind::kNone);
  for (std::size_t i = 0; i < n; ++i) {
    if (instruments[i].sounding) kinds[i] = kindOf(words[i], kitHasRide);
  }
  std::vector<int> notes(n, kNoNote);
  std::vector<std::string> why(n);  // what placed an instrument, or why its name did not
  std::array<bool, kHighestNote + 1> taken{};
  auto place = [&](std::size_t i, int note, std::string reason) {
    notes[i] = note;
    taken[static_cast<std::size_t>(note)] = true;
    why[i] = std::move(reason);
  };

  // Toms from the highest down by what their names say, then their numbers ("Tom 1" is the
  // highest), then the kit's order.
  std::vector<std::size_t> toms;
  for (std::size_t i = 0; i < n; ++i) {
    if (kinds[i] == DrumKind::kTom) toms.push_back(i);
  }
  std::stable_sort(toms.begin(), toms.end(), [&](std::size_t a, std::size_t b) {
    return std::make_tuple(tomPitchRank(words[a]), words[a].lastNumber()) < std::make_tuple(tomPitchRank(words[b]), words[b].lastNumber());
  });
  const std::size_t spread = std::min<std::size_t>(toms.size(), 6);
  for (std::size_t r = 0; r < toms.size(); ++r) {
    if (r < spread) {
      const int note = kTomNotes[spread - 1][r];
      place(toms[r], note, std::string(generalMidiName(note)));
    } else {
      why[toms[r]] = "no General MIDI note left for a seventh tom";
    }
  }

  // Every other kind: the instruments that say which of a pair before those that do not, plain
  // ones before variants, then the kit's order; each takes its kind's first free note.
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < n; ++i) {
    if (kinds[i] != DrumKind::kNone && kinds[i] != DrumKind::kTom) order.push_back(i);
  }
  auto key = [&](std::size_t i) { return std::make_pair(notesOf(kinds[i])->generic, variantWords(words[i], kinds[i])); };
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
  for (const std::size_t i : order) {
    const KindNotes& kind = *notesOf(kinds[i]);
    for (const int note : kind.notes) {
      if (note == 0) break;
      if (taken[static_cast<std::size_t>(note)]) continue;
      place(i, note, std::string(generalMidiName(note)));
      break;
    }
    if (notes[i] == kNoNote) why[i] = std::string("no General MIDI note left for another ") + kind.noun;
  }

  // The rest keep the kit's order, on the first free note from where it puts them.
  for (std::size_t i = 0; i < n; ++i) {
    if (!instruments[i].sounding || notes[i] != kNoNote) continue;
    const int from = instruments[i].kitNote;
    const int start = from >= kLowestNote && from <= kHighestNote ? from : kLowestNote;
    int note = kNoNote;
    for (int k = 0; k <= kHighestNote - kLowestNote && note == kNoNote; ++k) {
      const int candidate = kLowestNote + (start - kLowestNote + k) % (kHighestNote - kLowestNote + 1);
      if (!taken[static_cast<std::size_t>(candidate)]) note = candidate;
    }
    const std::string reason = why[i].empty() ? "no General MIDI drum by that name" : why[i];
    if (note == kNoNote) {
      why[i] = reason;
      continue;
    }
    const bool moved = note != from && from >= 0 && from <= kHighestNote;
    place(i, note, "kit order" + (moved ? " from note " + std::to_string(from) : std::string()) + ": " + reason);
  }

  for (std::size_t i = 0; i < n; ++i) {
    if (!instruments[i].sounding) continue;
    if (notes[i] == kNoNote) {
      report.push_back(instruments[i].label + ": every note is taken (" + why[i] + "); left out.");
    } else {
      report.push_back(instruments[i].label + " -> note " + std::to_string(notes[i]) + " (" + why[i] + ")");
    }
  }
  return notes;
}

}  // namespace zumbel::import
