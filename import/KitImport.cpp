#include "KitImport.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "DrumNames.h"
#include "ExtrasFile.h"
#include "HydrogenKit.h"
#include "ImportLimits.h"
#include "SampleFile.h"
#include "SetExtras.h"
#include "TextEncoding.h"

namespace zumbel::import {

namespace {

namespace fs = std::filesystem;

constexpr int kLowestNote = kFirstNote;                // note 36 plays sound 0
constexpr int kHighestNote = 127;
constexpr std::size_t kMaxGroupName = kMaxGroupNameLength;

// ---- Samples --------------------------------------------------------------------------------

struct SampleInfo {
  enum class State { kFound, kMissing, kUnreadable, kRefused } state = State::kMissing;
  int rate = 0;
  double seconds = 0.0;
};

// What libsndfile says of a file, opened the way every sample is: only a regular file, its chunks
// walked first, so a pipe in a kit is never waited on and a damaged file is never looped over.
SampleInfo probeSample(const std::string& path) {
  SampleInfo info;
  const SampleFile file = openSampleFile(path);
  if (file.status() != SampleFile::Status::kOpen) {
    const bool missing = file.status() == SampleFile::Status::kCannotOpen && file.openError() != 0;
    info.state = missing ? SampleInfo::State::kMissing : SampleInfo::State::kUnreadable;
    return info;
  }
  info.state = SampleInfo::State::kFound;
  info.rate = file.info().samplerate;
  info.seconds = file.info().frames > 0 ? static_cast<double>(file.info().frames) / info.rate : 0.0;
  return info;
}

// A kit names its files relative to its folder. Names that are absolute or climb out of it are
// not followed: a kit from elsewhere must not point the set at files outside it.
std::optional<std::string> samplePath(const std::string& folder, std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  if (name.empty() || name.front() == '/') return std::nullopt;
  const fs::path rel(name);
  for (const fs::path& part : rel) {
    if (part == "..") return std::nullopt;
  }
  return (fs::path(folder) / rel).lexically_normal().string();
}

std::string fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

std::string inQuotes(const std::string& name) { return "\"" + name + "\""; }

// "1 sound", "2 sounds".
std::string count(std::size_t n, const std::string& noun) { return std::to_string(n) + " " + noun + (n == 1 ? "" : "s"); }

// ---- Names ----------------------------------------------------------------------------------

// Cuts valid UTF-8 to at most `limit` bytes at a character boundary.
void cutAtCharacter(std::string& s, std::size_t limit) {
  if (s.size() <= limit) return;
  std::size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
  s.resize(cut);
}

// A name from the kit as the set shows it, in tooltips and terminal lines alike: every control
// character (C0, DEL, C1) a space, a byte that is no UTF-8 the replacement character, no spaces at
// either end, at most `limit` bytes. `cleaned` and `cut` say what had to be done.
std::string cleanName(std::string_view raw, std::size_t limit, bool& cleaned, bool& cut) {
  std::string name;
  cleaned = cut = false;
  for (std::size_t pos = 0; pos < raw.size();) {
    char32_t cp = 0;
    const std::size_t at = pos;
    if (!decodeUtf8(raw, pos, cp)) {
      pos = at + 1;
      cp = 0xFFFD;
      cleaned = true;
    } else if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
      cp = ' ';
      cleaned = true;
    }
    appendUtf8(name, cp);
  }
  const std::size_t first = name.find_first_not_of(' ');
  name = first == std::string::npos ? std::string() : name.substr(first, name.find_last_not_of(' ') - first + 1);
  if (name.size() > limit) {
    cutAtCharacter(name, limit);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    cut = true;
  }
  return name;
}

// Text from the kit quoted in a report line, kept short.
std::string quotedValue(const std::string& text) {
  constexpr std::size_t kShown = 24;
  std::string shown = text;
  cutAtCharacter(shown, kShown);
  return inQuotes(shown + (shown.size() < text.size() ? "..." : ""));
}

// "Kick (Tama Superstar 22\")" -> "Kick": a name without the details kits give in brackets.
std::string withoutDetails(const std::string& name) {
  const std::size_t open = name.find(" (");
  if (open == std::string::npos || open == 0 || name.back() != ')') return name;
  return name.substr(0, open);
}

// As many whole names as fit a group name, then how many more there are ("Kick, Snare and 3
// more"); a first name too long even for that is cut at a word, with an ellipsis. `whole` is how
// many names went in whole.
std::string listedNames(const std::vector<std::string>& names, std::size_t& whole) {
  auto more = [](std::size_t rest) { return rest == 0 ? std::string() : " and " + std::to_string(rest) + " more"; };
  std::string name;
  for (whole = 0; whole < names.size(); ++whole) {
    const std::string longer = name.empty() ? names[whole] : name + ", " + names[whole];
    if (longer.size() + more(names.size() - whole - 1).size() > kMaxGroupName) break;
    name = longer;
  }
  if (whole == names.size()) return name;
  if (whole > 0) return name + more(names.size() - whole);  // it fits: it was checked with this many left over
  const std::string ellipsis = "\u2026";
  name = names[0];
  cutAtCharacter(name, kMaxGroupName - more(names.size() - 1).size() - ellipsis.size());
  if (const std::size_t space = name.rfind(' '); space != std::string::npos && space >= name.size() / 2) name.resize(space);
  while (!name.empty() && (name.back() == ' ' || name.back() == ',' || name.back() == '(')) name.pop_back();
  return name + ellipsis + more(names.size() - 1);
}

// A pool group named after its sounds. When their full names do not all fit, the names without
// their bracketed details are used if that shows more of them.
std::string groupNameOf(const std::vector<std::string>& names) {
  std::size_t whole = 0, wholeShort = 0;
  const std::string full = listedNames(names, whole);
  if (whole == names.size()) return full;
  std::vector<std::string> shorter;
  for (const std::string& n : names) shorter.push_back(withoutDetails(n));
  const std::string brief = listedNames(shorter, wholeShort);
  return wholeShort > whole ? brief : full;
}

// Group names tell the groups apart in the window's list: a name already taken gets a number.
std::string uniqueName(const std::string& name, const std::set<std::string>& taken) {
  if (!taken.count(name)) return name;
  for (std::size_t n = 2;; ++n) {
    const std::string tail = " (" + std::to_string(n) + ")";
    std::string base = name;
    cutAtCharacter(base, kMaxGroupName - tail.size());
    if (!taken.count(base + tail)) return base + tail;
  }
}

// ---- Levels ---------------------------------------------------------------------------------

// Hundredths of a dB as the report shows them: "-3.28", "+1.2", "0".
std::string dbNumber(int32_t centi) {
  std::string s = fixed(std::abs(centi) / 100.0, 2);
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return centi == 0 ? s : (centi < 0 ? "-" : "+") + s;
}

// A factor's part of a level, added to `log10Sum`. A value that is no level (not a number, below
// zero) counts as x1, Hydrogen's default, and says so in `notes`. False when it is 0: silence.
bool addFactor(const KitFactor& f, const std::string& what, double& log10Sum, std::vector<std::string>& notes) {
  if (f.state == KitFactor::State::kMissing) return true;
  if (f.state == KitFactor::State::kUnreadable) {
    notes.push_back(what + " " + quotedValue(f.text) + " is not a number; taken as x1");
    return true;
  }
  if (f.value < 0.0) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", f.value);
    notes.push_back(what + " " + buf + " is not a level; taken as x1");
    return true;
  }
  if (f.value == 0.0) return false;
  log10Sum += std::log10(f.value);
  return true;
}

// Hundredths of a dB of a factor given as its log10, within lo..hi; says so when it was limited.
int32_t centiDbOf(double log10Sum, int32_t lo, int32_t hi, const std::string& what, std::vector<std::string>& notes) {
  const double centi = std::round(2000.0 * log10Sum);
  if (centi >= lo && centi <= hi) return static_cast<int32_t>(centi);
  const int32_t limit = centi > hi ? hi : lo;
  std::string shown = (centi > 0 ? "+" : "") + fixed(centi / 100.0, 2) + " dB";
  if (const double factor = std::pow(10.0, log10Sum); std::isfinite(factor)) {
    char buf[32];
    std::snprintf(buf, sizeof buf, " (x%.3g)", factor);
    shown += buf;
  }
  notes.push_back(what + " " + shown + " is beyond " + dbNumber(limit) + " dB; limited to it");
  return limit;
}

// ---- Notes ----------------------------------------------------------------------------------

bool hasLayers(const KitInstrument& inst) {
  for (const KitComponent& c : inst.components) {
    for (const KitLayer& l : c.layers) {
      if (!l.filename.empty()) return true;
    }
  }
  return false;
}

std::optional<int> fileNote(const KitInstrument& inst) { return inst.midiInNote ? inst.midiInNote : inst.midiOutNote; }

// The note each instrument is played on, as Hydrogen plays the kit: the kit's own notes where it
// gives distinct ones, else the instrument's position from note 36. Older Hydrogen wrote note 60
// into every instrument, which says nothing about which instrument a note should play.
std::vector<int> chooseNotes(const HydrogenKit& kit, std::vector<std::string>& report) {
  std::set<int> distinct;
  int withNote = 0, sounding = 0;
  for (const KitInstrument& inst : kit.instruments) {
    if (!hasLayers(inst)) continue;
    ++sounding;
    if (const auto n = fileNote(inst)) {
      ++withNote;
      distinct.insert(*n);
    }
  }
  const bool useFile = withNote > 0 && (distinct.size() > 1 || sounding == 1);
  if (withNote > 0 && !useFile) {
    report.push_back("Every instrument names note " + std::to_string(*distinct.begin()) +
                     " (Hydrogen's old default), so the instruments follow Hydrogen's order from note 36.");
  } else if (useFile) {
    report.push_back("Notes: the kit's own MIDI notes" +
                     std::string(withNote < sounding ? "; instruments without one by their position from note 36." : "."));
  } else {
    report.push_back("Notes: Hydrogen's order, instrument i on note 36 + i.");
  }
  std::vector<int> notes;
  for (std::size_t i = 0; i < kit.instruments.size(); ++i) {
    const auto own = useFile ? fileNote(kit.instruments[i]) : std::nullopt;
    notes.push_back(own ? *own : kLowestNote + static_cast<int>(std::min<std::size_t>(i, 1000)));
  }
  return notes;
}

// ---- Velocity layers ------------------------------------------------------------------------

// Loudest first: the higher top, then the higher bottom, then file order.
std::vector<int> loudestFirst(const std::vector<std::pair<double, double>>& ranges) {
  std::vector<int> order(ranges.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    if (ranges[a].second != ranges[b].second) return ranges[a].second > ranges[b].second;
    return ranges[a].first > ranges[b].first;
  });
  return order;
}

}  // namespace

LayerFit fitLayers(const std::vector<std::pair<double, double>>& ranges, const CKitbeatDoc& doc) {
  LayerFit fit;
  const int n = static_cast<int>(ranges.size());
  if (n <= 1) return fit;
  const std::vector<int> order = loudestFirst(ranges);
  std::vector<int> rankOf(static_cast<std::size_t>(n));
  for (int r = 0; r < n; ++r) rankOf[static_cast<std::size_t>(order[static_cast<std::size_t>(r)])] = r;
  // The layer Hydrogen plays for each velocity: the first in the file whose range holds it.
  std::vector<int> played(128, -1);
  for (int v = 1; v <= 127; ++v) {
    const double x = v / 127.0;
    for (int i = 0; i < n; ++i) {
      if (ranges[static_cast<std::size_t>(i)].first <= x + 1e-9 && x <= ranges[static_cast<std::size_t>(i)].second + 1e-9) {
        played[static_cast<std::size_t>(v)] = rankOf[static_cast<std::size_t>(i)];
        break;
      }
    }
  }
  // For each scheme, the bands' layers by loudness rank, loudest band first: the loudest layer on
  // band 1 and the softest on band 5; with up to five layers every layer gets a band of its own
  // (the next band plays the same layer or the next softer one), with more each band gets another
  // layer. Among those, the one that puts every velocity nearest the layer Hydrogen plays for it:
  // the sum over all velocities of how many layers apart the two are. Ties keep the default
  // scheme, then the lower.
  const bool spread = n > kLayerCount;
  constexpr long kNever = std::numeric_limits<long>::max() / 4;
  long best = kNever;
  for (int scheme : {kDefaultScheme, 0, 1, 2, 3}) {
    std::vector<std::vector<long>> cost(kLayerCount, std::vector<long>(static_cast<std::size_t>(n), 0));
    for (int v = 1; v <= 127; ++v) {
      const int h = played[static_cast<std::size_t>(v)];
      if (h < 0) continue;  // Hydrogen plays nothing there; any layer will do
      const int band = doc.velocityBand(scheme, v);
      for (int l = 0; l < n; ++l) cost[static_cast<std::size_t>(band)][static_cast<std::size_t>(l)] += std::abs(l - h);
    }
    // total[k][l]: the best cost of bands 0..k with band k on rank l; from[k][l] the rank of k-1.
    std::vector<std::vector<long>> total(kLayerCount, std::vector<long>(static_cast<std::size_t>(n), kNever));
    std::vector<std::vector<int>> from(kLayerCount, std::vector<int>(static_cast<std::size_t>(n), 0));
    total[0][0] = cost[0][0];
    for (std::size_t k = 1; k < kLayerCount; ++k) {
      for (int l = 0; l < n; ++l) {
        const int lowest = spread ? 0 : std::max(0, l - 1);
        const int highest = spread ? l - 1 : l;
        for (int p = lowest; p <= highest; ++p) {
          const long t = total[k - 1][static_cast<std::size_t>(p)];
          if (t >= kNever || t + cost[k][static_cast<std::size_t>(l)] >= total[k][static_cast<std::size_t>(l)]) continue;
          total[k][static_cast<std::size_t>(l)] = t + cost[k][static_cast<std::size_t>(l)];
          from[k][static_cast<std::size_t>(l)] = p;
        }
      }
    }
    int last = n - 1;
    if (total[kLayerCount - 1][static_cast<std::size_t>(last)] >= best) continue;
    best = total[kLayerCount - 1][static_cast<std::size_t>(last)];
    fit.scheme = scheme;
    for (int k = kLayerCount - 1; k >= 0; --k) {
      fit.band[k] = order[static_cast<std::size_t>(last)];
      last = from[static_cast<std::size_t>(k)][static_cast<std::size_t>(last)];
    }
  }
  return fit;
}

namespace {

// ---- One instrument ---------------------------------------------------------------------------

// How Hydrogen picks among the layers a velocity falls in: the component says so in newer kits,
// the instrument in older ones. A word Hydrogen does not know means by velocity there, as here.
enum class Selection { kVelocity, kRoundRobin, kRandom };

Selection selectionOf(const KitInstrument& inst, const KitComponent& comp, std::string& unknown) {
  const std::string& text = comp.selection.empty() ? inst.selection : comp.selection;
  if (text == "ROUND_ROBIN") return Selection::kRoundRobin;
  if (text == "RANDOM") return Selection::kRandom;
  if (!text.empty() && text != "VELOCITY") unknown = text;
  return Selection::kVelocity;
}

struct PlannedSound {
  int instrument = -1;
  int sound = -1;
  const KitComponent* component = nullptr;
  LayerFit fit;
  std::vector<int> used;              // layer indices in band order, without repeats
  std::vector<std::string> paths;     // per layer index of the component ("" = refused)
  // Layers that share a velocity range with an earlier one are further takes of it: by the first
  // layer's index, the others in file order, at most kMaxAlternates; how many more there were.
  std::map<int, std::vector<int>> takes;
  std::map<int, std::size_t> droppedTakes;
  std::size_t unkeptTakes = 0;        // takes whose path an alternate cannot hold
  int rangesWithFile = 0;             // distinct velocity ranges among the layers with a file
  bool overlapping = false;           // two of those ranges overlap without being the same
  Selection selection = Selection::kVelocity;
  std::string unknownSelection;
  double seconds = 0.0;               // how long the loudest layer rings
  std::string name;                   // the instrument's, cleaned; empty when it has none
  bool nameCleaned = false, nameCut = false;
};

// The instrument as the report names it: by its name as the set keeps it.
std::string instrumentLabel(const KitInstrument& inst, int position) {
  bool cleaned = false, cut = false;
  const std::string name = cleanName(inst.name, kMaxSoundNameBytes, cleaned, cut);
  return name.empty() ? "instrument " + std::to_string(position + 1) : inQuotes(name);
}

// Channel gains as the set's pan: hundredths of a decibel by which the far side is lowered.
int32_t panOf(double left, double right) {
  left = std::max(left, 0.0);
  right = std::max(right, 0.0);
  if (left == right) return 0;
  const double nearGain = std::max(left, right), farGain = std::min(left, right);
  const double db = farGain <= 0.0 ? 10000.0 : std::min(10000.0, -2000.0 * std::log10(farGain / nearGain));
  const auto hundredths = static_cast<int32_t>(std::lround(db));
  return left > right ? -hundredths : hundredths;
}

// What the instrument does in Hydrogen that a sound cannot: one line, empty when nothing.
std::string notHeld(const KitInstrument& inst) {
  std::vector<std::string> parts;
  if (inst.randomPitch > 0.0) parts.push_back("random pitch");
  if (inst.filterActive && inst.filterCutoff < 1.0) parts.push_back("filter");
  if (inst.attack > 0.0 || inst.decay > 0.0 || inst.sustain < 1.0 || std::abs(inst.release - 1000.0) > 1e-6) {
    parts.push_back("envelope");
  }
  if (inst.fxSends) parts.push_back("effect sends");
  if (!inst.excludes.empty()) parts.push_back("exclude list");
  if (inst.components.size() > 1 || inst.droppedComponents > 0) {
    parts.push_back(std::to_string(inst.components.size() + inst.droppedComponents - 1) + " further component(s)");
  }
  if (inst.droppedLayers > 0) parts.push_back(std::to_string(inst.droppedLayers) + " layers beyond the bound");
  std::string line;
  for (const std::string& p : parts) line += (line.empty() ? "" : ", ") + p;
  return line;
}

// The sound's level: the instrument's volume and gain, its component's gain and its louder
// channel's (the set's pan lowers only the far side), in hundredths of a dB, or kLevelOff when
// one of them silences it in the kit. `off` names what silences it.
int32_t soundLevel(const KitInstrument& inst, const KitComponent& comp, std::string& off, std::vector<std::string>& notes) {
  double log10Sum = 0.0;
  if (!addFactor(inst.volume, "volume", log10Sum, notes)) off = "volume 0";
  if (!addFactor(inst.gain, "gain", log10Sum, notes) && off.empty()) off = "gain 0";
  if (!addFactor(comp.gain, "component gain", log10Sum, notes) && off.empty()) off = "component gain 0";
  const double nearPan = std::max(inst.panL, inst.panR);
  if (!(nearPan > 0.0) && off.empty()) off = "both channels at 0";
  if (nearPan > 0.0) log10Sum += std::log10(nearPan);
  if (!off.empty()) return kLevelOff;
  return centiDbOf(log10Sum, kMinLevel, kMaxLevel, "level", notes);
}

// The gain of one layer in hundredths of a dB. A layer has no "off": one the kit silences plays
// as softly as a layer can, and says so.
int32_t layerGainOf(const KitLayer& layer, std::vector<std::string>& notes) {
  const std::string what = "layer " + inQuotes(layer.filename) + ": gain";
  double log10Sum = 0.0;
  if (!addFactor(layer.gain, what, log10Sum, notes)) {
    notes.push_back(what + " 0 silences it in the kit; " + dbNumber(kMinLayerGain) + " dB, the lowest a layer takes");
    return kMinLayerGain;
  }
  return centiDbOf(log10Sum, kMinLayerGain, kMaxLayerGain, what, notes);
}

// The set's layer that plays kit layer `layer`: the first band it covers.
int firstBand(const LayerFit& fit, int layer) {
  return static_cast<int>(std::find(fit.band, fit.band + kLayerCount, layer) - fit.band);
}

// The bands the layer covers: "bands 1-2", "band 3".
std::string bandsOf(const LayerFit& fit, int layer) {
  const int first = firstBand(fit, layer);
  int last = first;
  while (last + 1 < kLayerCount && fit.band[last + 1] == layer) ++last;
  if (last == first) return "band " + std::to_string(first + 1);
  return "bands " + std::to_string(first + 1) + "-" + std::to_string(last + 1);
}

std::string rangeText(const KitLayer& layer) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g..%g", layer.min, layer.max);
  return buf;
}

std::string bandsText(const LayerFit& fit) {
  // "1-2 3 4-5": which bands each used layer covers, loudest first.
  std::string out;
  int start = 0;
  for (int k = 1; k <= kLayerCount; ++k) {
    if (k < kLayerCount && fit.band[k] == fit.band[start]) continue;
    if (!out.empty()) out += " ";
    out += std::to_string(start + 1);
    if (k - 1 > start) out += "-" + std::to_string(k);
    start = k;
  }
  return out;
}

}  // namespace

ImportResult importHydrogenFolder(const std::string& folderIn, CKitbeatDoc& doc, const ImportOptions& options) {
  ImportResult result;
  std::error_code ec;
  const std::string folder = fs::absolute(fs::path(folderIn), ec).lexically_normal().string();
  const std::string xmlPath = (fs::path(folder) / "drumkit.xml").string();
  HydrogenKit kit;
  if (!readHydrogenKit(xmlPath, kit, result.error)) return result;
  std::string folderName = fs::path(folder).filename().string();
  if (folderName.empty()) folderName = fs::path(folder).parent_path().filename().string();
  result.kitName = kit.name.empty() ? folderName : kit.name;
  std::vector<std::string>& report = result.report;

  int sounding = 0;
  for (const KitInstrument& inst : kit.instruments) sounding += hasLayers(inst) ? 1 : 0;
  report.push_back("Kit " + inQuotes(result.kitName) + ": " + count(kit.instruments.size(), "instrument") + ", " +
                   std::to_string(sounding) + " with samples.");
  if (kit.droppedInstruments > 0) {
    report.push_back(std::to_string(kit.droppedInstruments) + " instruments beyond the first " +
                     std::to_string(kMaxKitInstruments) + " were not read.");
  }
  std::vector<int> notes;
  if (options.notes == NotePlacement::kGeneralMidi) {
    // By name; what no name places keeps the note the kit's own order gives it where that is free.
    std::vector<std::string> kitOrder;
    const std::vector<int> kitNotes = chooseNotes(kit, kitOrder);
    report.push_back("Notes: General MIDI by the instruments' names, toms spread over 41..50 from the highest; an "
                     "instrument no name places keeps the kit's order, on the next free note.");
    std::vector<NamedInstrument> named;
    for (std::size_t i = 0; i < kit.instruments.size(); ++i) {
      const KitInstrument& inst = kit.instruments[i];
      bool cleaned = false, cut = false;
      named.push_back({cleanName(inst.name, kMaxSoundNameBytes, cleaned, cut), instrumentLabel(inst, static_cast<int>(i)),
                       kitNotes[i], hasLayers(inst)});
    }
    notes = placeGeneralMidi(named, report);
  } else {
    notes = chooseNotes(kit, report);
  }
  report.push_back("Names, levels (volume and gain), layer gains, choke groups and alternates go with the set, in its .zumbel "
                   "file beside the .drums.");

  // Sounds: notes 36..127 each their own; notes below 36 all play sound 0 in a set, so an
  // instrument there takes sound 0 only when nothing is on note 36 itself.
  std::array<int, kSoundCount> owner;
  owner.fill(-1);
  for (int pass = 0; pass < 2; ++pass) {
    for (std::size_t i = 0; i < kit.instruments.size(); ++i) {
      const KitInstrument& inst = kit.instruments[i];
      if (!hasLayers(inst) || notes[i] == kNoNote) continue;
      const int note = notes[i];
      const bool low = note < kLowestNote;
      if (low != (pass == 1)) continue;
      const std::string label = instrumentLabel(inst, static_cast<int>(i));
      if (note < 0 || note > kHighestNote) {
        report.push_back(label + " on note " + std::to_string(note) + ": no such MIDI note; left out.");
        continue;
      }
      const int sound = low ? 0 : note - kLowestNote;
      if (owner[static_cast<std::size_t>(sound)] >= 0) {
        const int first = owner[static_cast<std::size_t>(sound)];
        report.push_back(label + " on note " + std::to_string(note) + ": that note already plays " +
                         instrumentLabel(kit.instruments[static_cast<std::size_t>(first)], first) + "; left out.");
        continue;
      }
      owner[static_cast<std::size_t>(sound)] = static_cast<int>(i);
      if (low) {
        report.push_back(label + " on note " + std::to_string(note) +
                         ": a set plays notes below 36 with note 36's sound, so it is there.");
      }
    }
  }

  // Plan every sound in note order: its component, its layers' files, the bands' layers.
  std::vector<PlannedSound> plans;
  std::map<std::string, SampleInfo> probed;
  for (int sound = 0; sound < kSoundCount; ++sound) {
    const int i = owner[static_cast<std::size_t>(sound)];
    if (i < 0) continue;
    const KitInstrument& inst = kit.instruments[static_cast<std::size_t>(i)];
    PlannedSound plan;
    plan.instrument = i;
    plan.sound = sound;
    plan.name = cleanName(inst.name, kMaxSoundNameBytes, plan.nameCleaned, plan.nameCut);
    // The first component with a file: the one a kit made for one output plays.
    for (const KitComponent& c : inst.components) {
      if (std::any_of(c.layers.begin(), c.layers.end(), [](const KitLayer& l) { return !l.filename.empty(); })) {
        plan.component = &c;
        break;
      }
    }
    plan.selection = selectionOf(inst, *plan.component, plan.unknownSelection);
    // Layers with a file, and where each lies. A layer whose velocity range an earlier one has
    // too is a further take of that one: Hydrogen picks among them in turn or at random where the
    // kit says so (and plays only the first otherwise); the set keeps them as that layer's
    // alternates rather than giving each a band of its own, or dropping it.
    std::vector<std::pair<double, double>> ranges;
    std::vector<int> index;
    for (std::size_t l = 0; l < plan.component->layers.size(); ++l) {
      const KitLayer& layer = plan.component->layers[l];
      std::string path;
      if (!layer.filename.empty()) {
        if (auto p = samplePath(folder, layer.filename)) {
          path = *p;
        } else {
          report.push_back(instrumentLabel(inst, i) + ": sample " + inQuotes(layer.filename) +
                           " lies outside the kit's folder; not used.");
          ++result.missingSamples;
        }
      }
      plan.paths.push_back(path);
      if (path.empty()) continue;
      const auto same = std::find_if(index.begin(), index.end(), [&](int r) {
        const KitLayer& first = plan.component->layers[static_cast<std::size_t>(r)];
        return first.min == layer.min && first.max == layer.max;
      });
      if (same != index.end()) {
        std::vector<int>& takes = plan.takes[*same];
        if (!IsAlternatePath(path)) {
          ++plan.unkeptTakes;
          continue;
        }
        if (takes.size() >= static_cast<std::size_t>(kMaxAlternates)) {
          ++plan.droppedTakes[*same];
          continue;
        }
        takes.push_back(static_cast<int>(l));
      } else {
        for (const auto& [lo, hi] : ranges) plan.overlapping |= std::max(lo, layer.min) < std::min(hi, layer.max);
        ranges.emplace_back(layer.min, layer.max);
        index.push_back(static_cast<int>(l));
      }
      if (!probed.count(path)) probed.emplace(path, probeSample(path));
    }
    if (index.empty()) continue;
    plan.rangesWithFile = static_cast<int>(index.size());
    plan.fit = fitLayers(ranges, doc);
    for (int& b : plan.fit.band) b = index[static_cast<std::size_t>(b)];
    for (int b : plan.fit.band) {
      if (plan.used.empty() || plan.used.back() != b) plan.used.push_back(b);
    }
    const SampleInfo& loudest = probed[plan.paths[static_cast<std::size_t>(plan.used.front())]];
    plan.seconds = loudest.seconds;
    plans.push_back(std::move(plan));
  }

  // The pool: one group per sound while there are at most 16, else runs of neighbouring notes,
  // each named after its instruments.
  const std::size_t perGroup = std::max<std::size_t>((plans.size() + kMaxGroups - 1) / kMaxGroups, 1);
  std::map<std::string, SampleRef> pooled;
  std::set<std::string> groupNames;
  int group = -1;
  for (std::size_t p = 0; p < plans.size(); ++p) {
    PlannedSound& plan = plans[p];
    const KitInstrument& inst = kit.instruments[static_cast<std::size_t>(plan.instrument)];
    if (p % perGroup == 0) {
      std::vector<std::string> names;
      for (std::size_t q = p; q < std::min(plans.size(), p + perGroup); ++q) {
        names.push_back(plans[q].name.empty() ? "Note " + std::to_string(plans[q].sound + kLowestNote) : plans[q].name);
      }
      const std::string name = uniqueName(groupNameOf(names), groupNames);
      groupNames.insert(name);
      group = doc.appendGroup(name);
    }
    Sound& s = doc.sound(plan.sound);
    auto pool = [&](const std::string& path) {
      auto found = pooled.find(path);
      if (found == pooled.end()) {
        doc.appendSample(group, path);
        found = pooled.emplace(path, SampleRef{group, doc.groupSize(group) - 1}).first;
      }
      return found->second;
    };
    for (int k = 0; k < kLayerCount; ++k) {
      const int layer = plan.fit.band[k];
      if (k > 0 && layer == plan.fit.band[k - 1]) continue;
      doc.AssignSample(plan.sound, k, pool(plan.paths[static_cast<std::size_t>(layer)]));
    }
    // Further takes go into the pool like any sample; the set's layer that plays their range keeps
    // them as alternates by the path the pool holds.
    bool alternates = false;
    for (const int layer : plan.used) {
      const auto takes = plan.takes.find(layer);
      if (takes == plan.takes.end() || takes->second.empty()) continue;
      std::vector<std::string>& kept = doc.soundExtras(plan.sound).alternates[static_cast<std::size_t>(firstBand(plan.fit, layer))];
      for (const int take : takes->second) {
        const std::string& path = plan.paths[static_cast<std::size_t>(take)];
        pool(path);
        kept.push_back(path);
      }
      alternates = true;
    }
    if (alternates && plan.selection == Selection::kRandom) doc.soundExtras(plan.sound).roundRobin = kRoundRobinRandom;
    s.settings[kVelocityScheme] = plan.fit.scheme;
    s.settings[kCompress] = inst.applyVelocity ? kDefaultCompress : 0;
    s.settings[kPan] = panOf(inst.panL, inst.panR);
    s.noteOffEnabled = inst.stopNote ? 1 : 0;
  }
  result.samples = static_cast<int>(pooled.size());
  result.sounds = static_cast<int>(plans.size());

  // Rates, pitch, name and levels, and the report line of every sound.
  std::size_t noVolume = 0, noGain = 0, noLayerGain = 0;
  for (const PlannedSound& plan : plans) {
    const KitInstrument& inst = kit.instruments[static_cast<std::size_t>(plan.instrument)];
    const KitComponent& comp = *plan.component;
    const std::string label = instrumentLabel(inst, plan.instrument);
    Sound& s = doc.sound(plan.sound);
    SoundExtras& extras = doc.soundExtras(plan.sound);
    std::vector<std::string> remarks;
    if (plan.nameCleaned) remarks.push_back("name cleaned of control characters or bytes that are no UTF-8");
    if (plan.nameCut) remarks.push_back("name cut to " + std::to_string(kMaxSoundNameBytes) + " bytes");
    extras.name = plan.name;
    std::string off;
    extras.level = soundLevel(inst, comp, off, remarks);
    noVolume += inst.volume.state == KitFactor::State::kMissing ? 1 : 0;
    noGain += inst.gain.state == KitFactor::State::kMissing ? 1 : 0;
    std::string layerGains;
    bool anyLayerGain = false;
    for (std::size_t u = 0; u < plan.used.size(); ++u) {
      const KitLayer& layer = comp.layers[static_cast<std::size_t>(plan.used[u])];
      if (!inst.singleFile && layer.gain.state == KitFactor::State::kMissing) ++noLayerGain;
      const int32_t gain = layerGainOf(layer, remarks);
      // The set's layer that plays it: the first band it covers.
      const int k = firstBand(plan.fit, plan.used[u]);
      extras.layerGain[static_cast<std::size_t>(k)] = gain;
      // Its alternates play at its gain; one that has a gain of its own in the kit says so.
      if (const auto takes = plan.takes.find(plan.used[u]); takes != plan.takes.end()) {
        std::vector<std::string> unheard;
        const bool differ = std::any_of(takes->second.begin(), takes->second.end(), [&](int t) {
          return layerGainOf(comp.layers[static_cast<std::size_t>(t)], unheard) != gain;
        });
        if (differ) remarks.push_back("takes on " + bandsOf(plan.fit, plan.used[u]) + " have gains of their own; all play at the first one's");
      }
      layerGains += (u == 0 ? "" : " / ") + dbNumber(gain);
      anyLayerGain |= gain != 0;
    }
    std::set<int> rates;
    std::set<double> pitches;
    std::vector<int> played = plan.used;  // every layer the sound plays, alternates too
    for (int l : plan.used) {
      if (const auto takes = plan.takes.find(l); takes != plan.takes.end()) played.insert(played.end(), takes->second.begin(), takes->second.end());
    }
    for (int l : played) {
      const SampleInfo& info = probed[plan.paths[static_cast<std::size_t>(l)]];
      if (info.state == SampleInfo::State::kFound) rates.insert(info.rate);
      pitches.insert(comp.layers[static_cast<std::size_t>(l)].pitch);
    }
    const KitLayer& loudLayer = comp.layers[static_cast<std::size_t>(plan.used.front())];
    const SampleInfo& loudInfo = probed[plan.paths[static_cast<std::size_t>(plan.used.front())]];
    const int fileRate = loudInfo.state == SampleInfo::State::kFound ? loudInfo.rate : (rates.empty() ? kNaturalRate : *rates.begin());
    const double semitones = inst.pitchOffset + loudLayer.pitch;
    double rate = fileRate * std::pow(2.0, semitones / 12.0);
    std::string rateNote;
    if (rate < kMinPlaybackRate || rate > kMaxPlaybackRate) {
      rate = std::clamp(rate, double{kMinPlaybackRate}, double{kMaxPlaybackRate});
      rateNote = " (limited to what a sound can play)";
    }
    const auto hz = static_cast<int32_t>(std::lround(rate));
    s.settings[kPlaybackRate] = hz == kNaturalRate ? 0 : hz;

    std::string line = "note " + std::to_string(plan.sound + kLowestNote) + " " + label + ": ";
    line += std::to_string(plan.used.size()) + (plan.used.size() == 1 ? " layer" : " layers");
    if (plan.used.size() > 1) {
      line += " on bands " + bandsText(plan.fit) + ", velocity scheme " + std::to_string(plan.fit.scheme + 1);
    }
    line += ", " + std::to_string(hz) + " Hz" + rateNote;
    if (semitones != 0.0) line += " (pitch " + fixed(semitones, 2) + " semitones)";
    if (s.pan() != 0) line += ", pan " + std::string(s.pan() < 0 ? "left " : "right ") + fixed(std::abs(s.pan()) / 100.0, 1) + " dB";
    if (extras.level == kLevelOff) {
      line += ", level off (" + off + ")";
    } else if (extras.level != 0) {
      line += ", level " + dbNumber(extras.level) + " dB";
    }
    if (anyLayerGain) line += std::string(plan.used.size() == 1 ? ", layer gain " : ", layer gains ") + layerGains + " dB";
    if (inst.stopNote) line += ", stopped by note-off";
    if (!inst.applyVelocity) line += ", every hit equally loud";
    report.push_back(line);

    if (static_cast<std::size_t>(plan.rangesWithFile) > plan.used.size()) {
      report.push_back("  " + std::to_string(plan.rangesWithFile) + (plan.takes.empty() ? " layers" : " velocity ranges") +
                       " in the kit; the loudest, the softest and the " + std::to_string(plan.used.size() - 2) +
                       " between that best fit the bands are used.");
    }
    // Layers that became alternates, and those a layer had no room for.
    for (const int layer : plan.used) {
      const auto takes = plan.takes.find(layer);
      const auto dropped = plan.droppedTakes.find(layer);
      const std::size_t kept = takes == plan.takes.end() ? 0 : takes->second.size();
      const std::size_t left = dropped == plan.droppedTakes.end() ? 0 : dropped->second;
      if (kept == 0 && left == 0) continue;
      std::string shared = "  " + std::to_string(1 + kept + left) + " layers share the range " +
                           rangeText(comp.layers[static_cast<std::size_t>(layer)]) + " (" + bandsOf(plan.fit, layer) +
                           "): the first plays with " + count(kept, "alternate");
      switch (plan.selection) {
        case Selection::kRoundRobin: shared += ", in turn as the kit's round robin does"; break;
        case Selection::kRandom: shared += ", at random as the kit's random selection does"; break;
        case Selection::kVelocity: shared += " in turn (Hydrogen plays only the first)"; break;
      }
      shared += ".";
      if (left > 0) shared += " " + std::to_string(left) + " more than the " + std::to_string(kMaxAlternates) + " alternates a layer holds are left out.";
      report.push_back(shared);
    }
    if (plan.unkeptTakes > 0) {
      report.push_back("  " + count(plan.unkeptTakes, "take") + " with a path an alternate cannot hold (control characters) left out.");
    }
    if (plan.selection != Selection::kVelocity && plan.overlapping) {
      report.push_back("  the kit also picks among layers whose ranges overlap without being the same; those play by velocity.");
    }
    if (rates.size() > 1) {
      std::string list;
      for (int r : rates) list += (list.empty() ? "" : ", ") + std::to_string(r);
      report.push_back("  layers at different rates (" + list + " Hz); all play at the loudest layer's.");
    }
    if (pitches.size() > 1) report.push_back("  layers at different pitches; all play at the loudest layer's.");
    if (inst.muted) report.push_back("  muted in the kit; imported playing.");
    if (!plan.unknownSelection.empty()) {
      remarks.push_back("sample selection " + quotedValue(plan.unknownSelection) + " is not one Hydrogen knows; by velocity, as there");
    }
    if (!inst.muteGroupText.empty()) {
      remarks.push_back("mute group " + quotedValue(inst.muteGroupText) + " is no whole number; in none");
    } else if (inst.muteGroup < -1) {
      remarks.push_back("mute group " + std::to_string(inst.muteGroup) + " is no group (-1 is none); in none");
    }
    for (const std::string& note : remarks) report.push_back("  " + note + ".");
    if (const std::string missing = notHeld(inst); !missing.empty()) {
      report.push_back("  not held by a set: " + missing + ".");
    }
  }
  // Older kit files leave a gain out; Hydrogen plays them at x1, and so does the set.
  std::vector<std::string> unsaid;
  if (noVolume > 0) unsaid.push_back("the volume of " + count(noVolume, "instrument"));
  if (noGain > 0) unsaid.push_back("the gain of " + count(noGain, "instrument"));
  if (noLayerGain > 0) unsaid.push_back("the gain of " + count(noLayerGain, "layer"));
  if (!unsaid.empty()) {
    std::string line;
    for (const std::string& u : unsaid) line += (line.empty() ? "" : ", ") + u;
    report.push_back("Not in the kit file, so x1 as in Hydrogen: " + line + ".");
  }

  // Mute groups become choke groups, numbered from 1 in the order the kit first names them: every
  // member silences every other, as in Hydrogen. The cut notes stay, so the .drums file alone
  // still silences something sensible: each member cuts the longest-ringing other member, so the
  // closed hi-hat cuts the open one.
  std::vector<const PlannedSound*> planOf(kit.instruments.size(), nullptr);
  for (const PlannedSound& plan : plans) planOf[static_cast<std::size_t>(plan.instrument)] = &plan;
  std::vector<std::pair<int64_t, std::vector<const PlannedSound*>>> groups;
  for (std::size_t i = 0; i < kit.instruments.size(); ++i) {
    const int64_t g = kit.instruments[i].muteGroup;
    if (g < 0 || !planOf[i]) continue;
    auto found = std::find_if(groups.begin(), groups.end(), [&](const auto& entry) { return entry.first == g; });
    if (found == groups.end()) found = groups.insert(groups.end(), {g, {}});
    found->second.push_back(planOf[i]);
  }
  int32_t chokeGroups = 0;
  for (auto& [g, members] : groups) {
    if (members.size() < 2) continue;
    std::sort(members.begin(), members.end(), [](const PlannedSound* a, const PlannedSound* b) { return a->sound < b->sound; });
    for (const PlannedSound* m : members) {
      const PlannedSound* target = nullptr;
      for (const PlannedSound* o : members) {
        if (o != m && (!target || o->seconds > target->seconds)) target = o;
      }
      doc.sound(m->sound).settings[kCutNote] = target->sound;
      report.push_back("mute group " + std::to_string(g) + ": note " + std::to_string(m->sound + kLowestNote) +
                       " cuts note " + std::to_string(target->sound + kLowestNote) + ".");
    }
    if (chokeGroups < kMaxChokeGroups) {
      ++chokeGroups;
      for (const PlannedSound* m : members) doc.extras().setChokeGroup(m->sound, chokeGroups);
      report.push_back("  mute group " + std::to_string(g) + " is choke group " + std::to_string(chokeGroups) + ": each of its " +
                       std::to_string(members.size()) + " sounds silences all the others (the cut notes serve the .drums file alone).");
    } else {
      report.push_back("  mute group " + std::to_string(g) + ": a set has only " + std::to_string(kMaxChokeGroups) +
                       " choke groups; only the cut notes above silence its sounds.");
    }
  }

  // Files that are not there or cannot be read stay in the set, so `zumbel relink` can find them.
  for (const auto& [path, info] : probed) {
    if (info.state == SampleInfo::State::kFound) continue;
    if (!pooled.count(path)) continue;
    report.push_back((info.state == SampleInfo::State::kMissing ? "missing: " : "unreadable: ") + path);
    ++result.missingSamples;
  }
  // A set without a single sound would be saved and opened as if the kit had come through.
  if (result.sounds == 0) {
    result.error = "the kit \"" + result.kitName + "\" has no instrument with a sample: there is nothing to import";
    return result;
  }
  std::set<int> allRates;
  for (const auto& [path, info] : probed) {
    if (info.state == SampleInfo::State::kFound && pooled.count(path)) allRates.insert(info.rate);
  }
  std::string rateList;
  for (int r : allRates) rateList += (rateList.empty() ? "" : ", ") + std::to_string(r);
  report.push_back(count(static_cast<std::size_t>(result.sounds), "sound") + ", " +
                   count(static_cast<std::size_t>(result.samples), "sample") + " in " +
                   count(static_cast<std::size_t>(doc.groupCount()), "group") + (rateList.empty() ? "" : " (files at " + rateList + " Hz)") +
                   (result.missingSamples ? ", " + std::to_string(result.missingSamples) + " missing." : "."));
  result.ok = true;
  return result;
}

}  // namespace zumbel::import
