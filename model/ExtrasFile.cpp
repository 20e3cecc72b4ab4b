#include "ExtrasFile.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "FileNames.h"

namespace zumbel {

namespace {

using nlohmann::json;

constexpr int kExtrasVersion = 1;
// Lines of `ignored` named one by one; the rest are counted.
constexpr std::size_t kMaxIgnoredLines = 20;

// nlohmann's parser recurses once per nesting level; a file of a million '[' would overflow the
// stack. Strings are skipped so brackets inside names do not count.
bool nestingWithin(const std::string& text, int limit) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > limit) return false;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return true;
}

class Ignored {
 public:
  explicit Ignored(std::vector<std::string>& lines) : lines_(lines) {}
  ~Ignored() {
    if (dropped_ > 0) lines_.push_back("and " + std::to_string(dropped_) + " more left out");
  }
  Ignored(const Ignored&) = delete;
  Ignored& operator=(const Ignored&) = delete;
  void add(std::string line) {
    if (lines_.size() < kMaxIgnoredLines) {
      lines_.push_back(std::move(line));
    } else {
      ++dropped_;
    }
  }

 private:
  std::vector<std::string>& lines_;
  std::size_t dropped_ = 0;
};

// A whole number 0..limit-1 written as decimal digits only, as the file's keys are.
bool indexKey(const std::string& key, int limit, int& index) {
  if (key.empty() || key.size() > 3) return false;
  int v = 0;
  for (const char c : key) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (key.size() > 1 && key[0] == '0') return false;
  if (v >= limit) return false;
  index = v;
  return true;
}

// Hundredths of a dB from a JSON number within [lo, hi] (in hundredths).
bool centiDb(const json& v, int32_t lo, int32_t hi, int32_t& out) {
  if (!v.is_number()) return false;
  const double db = v.get<double>();
  if (!std::isfinite(db)) return false;
  const double centi = std::round(db * 100.0);
  if (centi < lo || centi > hi) return false;
  out = static_cast<int32_t>(centi);
  return true;
}

std::string shown(const json& v) {
  std::string text = v.dump(-1, ' ', false, json::error_handler_t::replace);
  if (text.size() > 40) text = text.substr(0, 37) + "...";
  return text;
}

json dbValue(int32_t centi) {
  if (centi % 100 == 0) return centi / 100;
  return centi / 100.0;
}

void readAlternates(const json& list, std::vector<std::string>& out, const std::string& where, Ignored& ignored) {
  if (!list.is_array()) {
    ignored.add(where + ": alternates " + shown(list) + " are not a list of paths");
    return;
  }
  for (const json& path : list) {
    if (out.size() == static_cast<std::size_t>(kMaxAlternates)) {
      ignored.add(where + ": more than " + std::to_string(kMaxAlternates) + " alternates; the rest are left out");
      return;
    }
    if (path.is_string() && IsAlternatePath(path.get_ref<const std::string&>())) {
      out.push_back(path.get<std::string>());
    } else {
      ignored.add(where + ": alternate " + shown(path) + " is not a sample path");
    }
  }
}

void readLayers(const json& layers, SoundExtras& s, const std::string& where, Ignored& ignored) {
  if (!layers.is_object()) {
    ignored.add(where + ": layers " + shown(layers) + " are not an object");
    return;
  }
  for (const auto& [key, layer] : layers.items()) {
    int j = 0;
    if (!indexKey(key, kLayerCount, j)) {
      ignored.add(where + ": layer \"" + key + "\" is not a layer 0-4");
      continue;
    }
    if (!layer.is_object()) {
      ignored.add(where + " layer " + key + ": " + shown(layer) + " is not an object");
      continue;
    }
    if (const auto alternates = layer.find("alternates"); alternates != layer.end()) {
      readAlternates(*alternates, s.alternates[static_cast<std::size_t>(j)], where + " layer " + key, ignored);
    }
    const auto gain = layer.find("gainDb");
    if (gain == layer.end()) continue;
    int32_t g = 0;
    if (centiDb(*gain, kMinLayerGain, kMaxLayerGain, g)) {
      s.layerGain[static_cast<std::size_t>(j)] = g;
    } else {
      ignored.add(where + " layer " + key + ": gain " + shown(*gain) + " is not a gain in dB (-60 to +12)");
    }
  }
}

void readSound(const json& entry, SetExtras& extras, int n, const std::string& where, Ignored& ignored) {
  SoundExtras& s = extras.sounds[static_cast<std::size_t>(n)];
  if (const auto name = entry.find("name"); name != entry.end()) {
    if (name->is_string() && name->get_ref<const std::string&>().size() <= kMaxSoundNameBytes) {
      s.name = SoundNameFrom(name->get_ref<const std::string&>());
    } else {
      ignored.add(where + ": name " + shown(*name) + " is not a name of at most 256 bytes");
    }
  }
  if (const auto level = entry.find("levelDb"); level != entry.end()) {
    int32_t l = 0;
    if (level->is_string() && level->get_ref<const std::string&>() == "off") {
      s.level = kLevelOff;
    } else if (centiDb(*level, kMinLevel, kMaxLevel, l)) {
      s.level = l;
    } else {
      ignored.add(where + ": level " + shown(*level) + " is not a level in dB (-60 to +12) or \"off\"");
    }
  }
  if (const auto output = entry.find("output"); output != entry.end()) {
    if (output->is_number_integer() && output->get<int64_t>() >= 1 && output->get<int64_t>() <= kOutputPairs) {
      s.output = static_cast<int32_t>(output->get<int64_t>() - 1);
    } else {
      ignored.add(where + ": output " + shown(*output) + " is not an output 1-8");
    }
  }
  if (const auto group = entry.find("chokeGroup"); group != entry.end()) {
    if (group->is_number_integer() && group->get<int64_t>() >= 0 && group->get<int64_t>() <= kMaxChokeGroups) {
      extras.setChokeGroup(n, static_cast<int32_t>(group->get<int64_t>()));
    } else {
      ignored.add(where + ": chokeGroup " + shown(*group) + " is not a choke group 0-32");
    }
  }
  if (const auto mode = entry.find("roundRobin"); mode != entry.end()) {
    if (mode->is_string() && mode->get_ref<const std::string&>() == "turn") {
      s.roundRobin = kRoundRobinTurn;
    } else if (mode->is_string() && mode->get_ref<const std::string&>() == "random") {
      s.roundRobin = kRoundRobinRandom;
    } else {
      ignored.add(where + ": roundRobin " + shown(*mode) + " is not \"turn\" or \"random\"");
    }
  }
  if (const auto layers = entry.find("layers"); layers != entry.end()) readLayers(*layers, s, where, ignored);
}

// Sets or removes one known key of an object the file may share with other programs.
void setOrErase(json& object, const char* key, bool isDefault, json value) {
  if (isDefault) {
    object.erase(key);
  } else {
    object[key] = std::move(value);
  }
}

}  // namespace

std::string ExtrasPathFor(const std::string& setPath) {
  const std::string ext = ".drums";
  const std::string name = FileNamePart(setPath);
  if (name.size() > ext.size()) {
    const std::string tail = name.substr(name.size() - ext.size());
    bool same = true;
    for (std::size_t i = 0; i < ext.size(); ++i) {
      same = same && std::tolower(static_cast<unsigned char>(tail[i])) == ext[i];
    }
    if (same) return setPath.substr(0, setPath.size() - ext.size()) + kExtrasExtension;
  }
  return setPath + kExtrasExtension;
}

ExtrasRead ParseExtras(const std::string& text, const std::string& name) {
  ExtrasRead read;
  read.present = true;
  if (text.size() > kMaxExtrasFileBytes) {
    read.ignored.push_back(name + ": larger than any extras file; ignored");
    return read;
  }
  if (!nestingWithin(text, kMaxExtrasDepth)) {
    read.ignored.push_back(name + ": nested too deeply; ignored");
    return read;
  }
  const json doc = json::parse(text, nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) {
    read.ignored.push_back(name + ": not an extras file (JSON object); ignored");
    return read;
  }
  read.extras.kept = text;
  Ignored ignored(read.ignored);
  if (const auto version = doc.find("version");
      version != doc.end() && (!version->is_number_integer() || version->get<int64_t>() > kExtrasVersion)) {
    // A newer program's file: what this version knows of it still applies, the rest is kept.
    ignored.add(name + ": written by a newer Zumbel (version " + shown(*version) + "); its new keys are kept, not used");
  }
  if (const auto grab = doc.find("grabThreshold"); grab != doc.end()) {
    if (grab->is_string() && grab->get_ref<const std::string&>() == "off") {
      read.extras.grabThreshold = kGrabOff;
    } else if (grab->is_number_integer() && grab->get<int64_t>() >= 1 && grab->get<int64_t>() <= 127) {
      read.extras.grabThreshold = static_cast<int32_t>(grab->get<int64_t>());
    } else {
      ignored.add(name + ": grabThreshold " + shown(*grab) + " is not an aftertouch value 1-127 or \"off\"");
    }
  }
  const auto sounds = doc.find("sounds");
  if (sounds == doc.end()) return read;
  if (!sounds->is_object()) {
    ignored.add(name + ": \"sounds\" is not an object; ignored");
    return read;
  }
  for (const auto& [key, entry] : sounds->items()) {
    int n = 0;
    if (!indexKey(key, kSoundCount, n)) {
      ignored.add(name + ": sound \"" + key + "\" is not a sound 0-127");
      continue;
    }
    const std::string where = name + ": sound " + key;
    if (!entry.is_object()) {
      ignored.add(where + ": " + shown(entry) + " is not an object");
      continue;
    }
    readSound(entry, read.extras, n, where, ignored);
  }
  return read;
}

ExtrasRead ReadExtrasFile(const std::string& setPath) {
  const std::string path = ExtrasPathFor(setPath);
  const std::string name = FileNamePart(path);
  ExtrasRead read;
  // Non-blocking, so a FIFO in its place is not waited on; only a regular file is read.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) return read;
    read.present = true;
    read.ignored.push_back(name + ": " + std::strerror(errno) + "; ignored");
    return read;
  }
  struct stat st {};
  std::string text;
  std::string problem;
  if (::fstat(fd, &st) != 0) {
    problem = std::strerror(errno);
  } else if (!S_ISREG(st.st_mode)) {
    problem = "not a regular file";
  } else if (static_cast<uint64_t>(st.st_size) > kMaxExtrasFileBytes) {
    problem = "larger than any extras file";
  } else {
    // One byte past the cap is asked for, so a file that grows while it is read is still refused.
    text.resize(kMaxExtrasFileBytes + 1);
    std::size_t got = 0;
    while (got < text.size()) {
      const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        problem = std::strerror(errno);
        break;
      }
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    text.resize(got);
  }
  ::close(fd);
  if (!problem.empty()) {
    read.present = true;
    read.ignored.push_back(name + ": " + problem + "; ignored");
    return read;
  }
  return ParseExtras(text, name);
}

std::string SerializeExtras(const SetExtras& extras) {
  json doc = json::parse(extras.kept, nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) doc = json::object();
  doc["format"] = "zumbel-extras";
  // A newer program's file keeps its version: its keys are still in it.
  const auto version = doc.find("version");
  if (version == doc.end() || !version->is_number_integer() || version->get<int64_t>() < kExtrasVersion) {
    doc["version"] = kExtrasVersion;
  }
  const int32_t grab = extras.grabThreshold;
  setOrErase(doc, "grabThreshold", grab == kDefaultGrabThreshold, grab == kGrabOff ? json("off") : json(grab));
  if (!doc.contains("sounds") || !doc["sounds"].is_object()) doc["sounds"] = json::object();
  json& sounds = doc["sounds"];
  for (int n = 0; n < kSoundCount; ++n) {
    const SoundExtras& s = extras.sounds[static_cast<std::size_t>(n)];
    const std::string key = std::to_string(n);
    if (s.isDefault() && !sounds.contains(key)) continue;
    json& entry = sounds[key];
    if (!entry.is_object()) entry = json::object();
    setOrErase(entry, "name", s.name.empty(), s.name);
    const int32_t level = s.level;
    setOrErase(entry, "levelDb", level == 0, level == kLevelOff ? json("off") : dbValue(level));
    setOrErase(entry, "output", s.output == 0, s.output + 1);
    setOrErase(entry, "chokeGroup", s.chokeGroup == kNoChokeGroup, s.chokeGroup.load());
    setOrErase(entry, "roundRobin", s.roundRobin == kRoundRobinTurn, "random");
    json& layers = entry["layers"];
    if (!layers.is_object()) layers = json::object();
    for (int j = 0; j < kLayerCount; ++j) {
      const int32_t gain = s.layerGain[static_cast<std::size_t>(j)];
      const std::vector<std::string>& alternates = s.alternates[static_cast<std::size_t>(j)];
      const std::string lk = std::to_string(j);
      if (gain == 0 && alternates.empty() && !layers.contains(lk)) continue;
      json& layer = layers[lk];
      if (!layer.is_object()) layer = json::object();
      setOrErase(layer, "gainDb", gain == 0, dbValue(gain));
      setOrErase(layer, "alternates", alternates.empty(), alternates);
      if (layer.empty()) layers.erase(lk);
    }
    if (layers.empty()) entry.erase("layers");
    if (entry.empty()) sounds.erase(key);
  }
  // Sounds in order 0, 1, 2 ... 127 rather than as strings sort ("10" before "2"): nlohmann keeps
  // object keys sorted as strings, which a reader of the file can live with.
  return doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

bool ExtrasNeedFile(const SetExtras& extras) {
  if (!extras.soundsAreDefault()) return true;
  // Only our own bookkeeping left (sounds emptied back to their defaults): no file is needed.
  json doc = json::parse(SerializeExtras(extras), nullptr, false);
  if (!doc.is_object()) return false;
  doc.erase("format");
  doc.erase("version");
  if (doc.contains("sounds") && doc["sounds"].empty()) doc.erase("sounds");
  return !doc.empty();
}

std::string DbNumberText(int32_t centi) {
  char buf[32];
  if (centi % 100 == 0) {
    std::snprintf(buf, sizeof buf, "%d", centi / 100);
  } else {
    std::snprintf(buf, sizeof buf, "%.2f", centi / 100.0);
    // "-3.50" -> "-3.5"
    std::string s = buf;
    while (s.back() == '0') s.pop_back();
    return s;
  }
  return buf;
}

FileWrite ExtrasFileWrite(const std::string& setPath, const SetExtras& extras) {
  if (!ExtrasNeedFile(extras)) return {ExtrasPathFor(setPath), {}, true, false};
  const std::string text = SerializeExtras(extras);
  return {ExtrasPathFor(setPath), std::vector<uint8_t>(text.begin(), text.end()), false, false};
}

bool ParseLevelText(const std::string& text, int32_t& level) {
  if (text == "off") {
    level = kLevelOff;
    return true;
  }
  return ParseGainText(text, level) && level >= kMinLevel && level <= kMaxLevel;
}

bool ParseGainText(const std::string& text, int32_t& gain) {
  if (text.empty() || text.size() > 16) return false;
  char* end = nullptr;
  errno = 0;
  const double db = std::strtod(text.c_str(), &end);
  if (errno != 0 || end == text.c_str() || !std::isfinite(db)) return false;
  std::string rest = end;
  while (!rest.empty() && rest.front() == ' ') rest.erase(0, 1);
  if (!rest.empty() && rest != "dB" && rest != "db") return false;
  const double centi = std::round(db * 100.0);
  if (centi < kMinLayerGain || centi > kMaxLayerGain) return false;
  gain = static_cast<int32_t>(centi);
  return true;
}

std::string LevelText(int32_t level) {
  if (level == kLevelOff) return "off";
  return (level > 0 ? "+" : "") + DbNumberText(level) + " dB";
}

}  // namespace zumbel
