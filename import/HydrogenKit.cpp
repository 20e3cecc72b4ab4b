#include "HydrogenKit.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pugixml.hpp>

#include "ImportLimits.h"

namespace zumbel::import {

namespace {

// Element names without a namespace prefix: kits declare Hydrogen's namespace as the default one,
// but a prefixed file means the same.
std::string_view localName(const pugi::xml_node& node) {
  std::string_view name = node.name();
  const std::size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node child(const pugi::xml_node& parent, std::string_view name) {
  for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_element && localName(c) == name) return c;
  }
  return {};
}

std::string trimmed(std::string_view s) {
  const std::size_t first = s.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const std::size_t last = s.find_last_not_of(" \t\r\n");
  s = s.substr(first, last - first + 1);
  return std::string(s.substr(0, kMaxKitTextLength));
}

std::optional<std::string> text(const pugi::xml_node& parent, std::string_view name) {
  const pugi::xml_node c = child(parent, name);
  if (!c) return std::nullopt;
  return trimmed(c.child_value());
}

// A number as the kit writes it ("1", "0.960001", "1.000000"); anything else keeps `fallback`.
double number(const pugi::xml_node& parent, std::string_view name, double fallback) {
  const std::optional<std::string> t = text(parent, name);
  if (!t || t->empty()) return fallback;
  double v = 0.0;
  const char* begin = t->data();
  const char* end = begin + t->size();
  if (*begin == '+') ++begin;
  const auto [ptr, ec] = std::from_chars(begin, end, v);
  if (ec != std::errc() || ptr != end || !std::isfinite(v)) return fallback;
  return v;
}

// A factor as written, or why it could not be read.
KitFactor factor(const pugi::xml_node& parent, std::string_view name) {
  KitFactor f;
  const std::optional<std::string> t = text(parent, name);
  if (!t || t->empty()) return f;  // an empty element says no more than a missing one
  const double v = number(parent, name, NAN);
  if (std::isfinite(v)) {
    f.state = KitFactor::State::kGiven;
    f.value = v;
  } else {
    f.state = KitFactor::State::kUnreadable;
    f.text = *t;
  }
  return f;
}

std::optional<int> integer(const pugi::xml_node& parent, std::string_view name) {
  const double v = number(parent, name, NAN);
  if (!std::isfinite(v) || v < -1e6 || v > 1e6) return std::nullopt;
  return static_cast<int>(std::lround(v));
}

bool flag(const pugi::xml_node& parent, std::string_view name, bool fallback) {
  const std::optional<std::string> t = text(parent, name);
  if (!t) return fallback;
  if (*t == "true" || *t == "1") return true;
  if (*t == "false" || *t == "0") return false;
  return fallback;
}

KitLayer readLayer(const pugi::xml_node& node) {
  KitLayer layer;
  layer.filename = text(node, "filename").value_or("");
  layer.min = number(node, "min", 0.0);
  layer.max = number(node, "max", 1.0);
  layer.gain = factor(node, "gain");
  layer.pitch = number(node, "pitch", 0.0);
  return layer;
}

// The layers directly inside `parent`, up to the bound.
void readLayers(const pugi::xml_node& parent, KitInstrument& inst, std::vector<KitLayer>& into) {
  for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element || localName(c) != "layer") continue;
    if (into.size() >= kMaxKitLayers) {
      ++inst.droppedLayers;
      continue;
    }
    into.push_back(readLayer(c));
  }
}

KitInstrument readInstrument(const pugi::xml_node& node) {
  KitInstrument inst;
  inst.id = text(node, "id").value_or("");
  inst.name = text(node, "name").value_or("");
  inst.midiOutNote = integer(node, "midiOutNote");
  inst.midiInNote = integer(node, "midiInNote");
  if (const std::optional<std::string> t = text(node, "muteGroup"); t && !t->empty()) {
    // Whole numbers within what a double holds exactly; a huge or fractional one is reported.
    const double g = number(node, "muteGroup", NAN);
    if (std::isfinite(g) && g == std::trunc(g) && std::abs(g) <= 9007199254740992.0) {
      inst.muteGroup = static_cast<int64_t>(g);
    } else {
      inst.muteGroupText = *t;
    }
  }
  inst.volume = factor(node, "volume");
  inst.gain = factor(node, "gain");
  if (child(node, "pan")) {
    // The newer single pan, -1 (left) .. 1 (right): the far side is turned down, the near one
    // stays, as with the two channel gains of the older files.
    const double p = std::clamp(number(node, "pan", 0.0), -1.0, 1.0);
    inst.panL = p > 0 ? 1.0 - p : 1.0;
    inst.panR = p < 0 ? 1.0 + p : 1.0;
  } else {
    inst.panL = number(node, "pan_L", 1.0);
    inst.panR = number(node, "pan_R", 1.0);
  }
  inst.pitchOffset = number(node, "pitchOffset", 0.0);
  inst.randomPitch = number(node, "randomPitchFactor", 0.0);
  inst.filterActive = flag(node, "filterActive", false);
  inst.filterCutoff = number(node, "filterCutoff", 1.0);
  inst.attack = number(node, "Attack", 0.0);
  inst.decay = number(node, "Decay", 0.0);
  inst.sustain = number(node, "Sustain", 1.0);
  inst.release = number(node, "Release", 1000.0);
  inst.stopNote = flag(node, "isStopNote", false);
  inst.muted = flag(node, "isMuted", false);
  inst.applyVelocity = flag(node, "applyVelocity", true);
  inst.selection = text(node, "sampleSelectionAlgo").value_or("");
  for (const char* fx : {"FX1Level", "FX2Level", "FX3Level", "FX4Level"}) {
    if (number(node, fx, 0.0) > 0.0) inst.fxSends = true;
  }
  for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element) continue;
    const std::string_view name = localName(c);
    if (name == "exclude") {
      std::string id = trimmed(c.child_value());
      if (!id.empty() && inst.excludes.size() < kMaxKitInstruments) inst.excludes.push_back(std::move(id));
    } else if (name == "instrumentComponent") {
      if (inst.components.size() >= kMaxKitComponents) {
        ++inst.droppedComponents;
        continue;
      }
      KitComponent& comp = inst.components.emplace_back();
      comp.id = integer(c, "component_id").value_or(static_cast<int>(inst.components.size() - 1));
      comp.gain = factor(c, "gain");
      comp.selection = text(c, "sampleSelectionAlgo").value_or("");
      readLayers(c, inst, comp.layers);
    }
  }
  // Layers straight under the instrument, or the oldest form's single file, make one component.
  if (inst.components.empty()) {
    KitComponent comp;
    readLayers(node, inst, comp.layers);
    if (comp.layers.empty()) {
      if (std::optional<std::string> file = text(node, "filename"); file && !file->empty()) {
        KitLayer layer;
        layer.filename = std::move(*file);
        comp.layers.push_back(std::move(layer));
        inst.singleFile = true;
      }
    }
    if (!comp.layers.empty()) inst.components.push_back(std::move(comp));
  }
  return inst;
}

}  // namespace

bool parseHydrogenKit(std::string_view xml, HydrogenKit& kit, std::string& error) {
  kit = HydrogenKit{};
  if (xml.size() > kMaxKitXmlBytes) {
    error = "the kit file is larger than " + std::to_string(kMaxKitXmlBytes >> 20) + " MiB";
    return false;
  }
  pugi::xml_document doc;
  // The default parse: the five predefined entities and character references only; a DOCTYPE is
  // skipped, and whatever entities it declares are never expanded.
  const pugi::xml_parse_result result =
      doc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_auto);
  if (!result) {
    error = std::string("not an XML file (") + result.description() + " at byte " + std::to_string(result.offset) + ")";
    return false;
  }
  const pugi::xml_node root = doc.document_element();
  if (localName(root) != "drumkit_info") {
    error = "not a Hydrogen kit (the file's root element is <" + std::string(localName(root)) + ">, not <drumkit_info>)";
    return false;
  }
  kit.name = text(root, "name").value_or("");
  const pugi::xml_node list = child(root, "instrumentList");
  for (pugi::xml_node c = list.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element || localName(c) != "instrument") continue;
    if (kit.instruments.size() >= kMaxKitInstruments) {
      ++kit.droppedInstruments;
      continue;
    }
    kit.instruments.push_back(readInstrument(c));
  }
  return true;
}

bool readHydrogenKit(const std::string& path, HydrogenKit& kit, std::string& error) {
  // Non-blocking, so a named pipe in place of the file is not waited on.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  std::string bytes;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (!ok) {
    error = path + ": not a regular file";
  } else if (static_cast<uint64_t>(st.st_size) > kMaxKitXmlBytes) {
    error = path + ": larger than " + std::to_string(kMaxKitXmlBytes >> 20) + " MiB; not a kit file";
    ok = false;
  } else {
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
  }
  ::close(fd);
  if (!ok) return false;
  if (!parseHydrogenKit(bytes, kit, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

}  // namespace zumbel::import
