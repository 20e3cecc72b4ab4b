#include "KitReport.h"

#include <string>

#include "ExtrasFile.h"
#include "FileNames.h"
#include "Json.h"

namespace zumbel {

namespace {

const char* onOff(int32_t flag) { return flag == 0 ? "off" : flag == 1 ? "on" : "?"; }

void writeRef(std::ostream& out, const CKitbeatDoc& doc, SampleRef ref) {
  const std::optional<std::string_view> path = doc.samplePath(ref);
  if (path) out << printable(FileNameView(*path)) << "  ";
  out << "(group " << ref.group << ", entry " << ref.entry << ")";
  if (!path) out << " outside the pool";
}

void writeLayer(std::ostream& out, const CKitbeatDoc& doc, const Sound& s, int j, const SoundExtras& x) {
  const int32_t gain = x.layerGain[static_cast<std::size_t>(j)];
  const std::size_t alternates = x.alternates[static_cast<std::size_t>(j)].size();
  const SampleRef ref = s.refs[j];
  const int32_t source = s.sources[j];
  out << "    layer " << j << ": ";
  if (gain != 0) out << "gain " << LevelText(gain) << ", ";
  if (source == j) {
    writeRef(out, doc, ref);
  } else {
    if (source == kNone) {
      out << "silent";
    } else {
      out << "plays layer " << source;
    }
    // A file may keep a reference in a layer that does not play it.
    if (ref != kNoSample) {
      out << "; holds unused ";
      writeRef(out, doc, ref);
    }
  }
  if (alternates > 0) out << ", " << alternates << (alternates == 1 ? " alternate" : " alternates");
  out << '\n';
}

bool worthShowing(const Sound& s, const SoundExtras& x) {
  if (!s.isEmpty() || !x.isDefault()) return true;
  for (const SampleRef& r : s.refs) {
    if (r != kNoSample) return true;
  }
  return false;
}

template <class Range, class Fn>
void writeJsonArray(std::ostream& out, const Range& items, Fn&& writeItem) {
  out << '[';
  bool first = true;
  for (const auto& item : items) {
    if (!first) out << ',';
    first = false;
    writeItem(item);
  }
  out << ']';
}

}  // namespace

void writePoolEntry(std::ostream& out, const CKitbeatDoc& doc, int group, int entry) {
  out << "group " << group << " \"" << printable(doc.groupName(group)) << "\", entry " << entry << ": "
      << printable(doc.groupList(group)[static_cast<std::size_t>(entry)]);
}

void writeKitSummary(std::ostream& out, const CKitbeatDoc& doc) {
  out << "Drum set: " << printable(doc.GetPathName()) << '\n';
  out << "Header value: " << doc.headerValue() << '\n';
  out << "Groups: " << doc.groupCount() << '\n';
  for (int g = 0; g < doc.groupCount(); ++g) {
    out << "  " << g << " \"" << printable(doc.groupName(g)) << "\": " << doc.groupSize(g)
        << (doc.groupSize(g) == 1 ? " sample\n" : " samples\n");
    for (int e = 0; e < doc.groupSize(g); ++e) {
      const std::string_view path = doc.groupList(g)[static_cast<std::size_t>(e)];
      out << "    " << e << "  " << printable(FileNameView(path)) << "  " << printable(path) << '\n';
    }
  }
  out << "Velocity layer schemes (bands 0..4 start above):\n";
  for (int s = 0; s < kSchemeCount; ++s) {
    out << "  scheme " << s + 1 << ":";
    for (int i = 0; i < kThresholdsPerScheme; ++i) out << ' ' << doc.threshold(s, i);
    out << '\n';
  }
  if (const int32_t grab = doc.extras().grabThreshold; grab != kDefaultGrabThreshold) {
    out << "Grab threshold (polyphonic aftertouch): " << (grab == kGrabOff ? "off" : std::to_string(grab)) << '\n';
  }
  int used = 0;
  for (int n = 0; n < kSoundCount; ++n) used += worthShowing(doc.sound(n), doc.soundExtras(n)) ? 1 : 0;
  out << "Sounds in use: " << used << " of " << kSoundCount << '\n';
  for (int n = 0; n < kSoundCount; ++n) {
    const Sound& s = doc.sound(n);
    const SoundExtras& x = doc.soundExtras(n);
    if (!worthShowing(s, x)) continue;
    // Schemes are stored from 0 and shown from 1; a sound n answers MIDI note n + 36, and its cut
    // note names a sound, so each number says which kind it is.
    out << "  Sound " << n << " (MIDI note " << n + kFirstNote << ")";
    if (!x.name.empty()) out << " \"" << printable(x.name) << '"';
    out << ": ";
    // A set without extras reads as it always has.
    if (x.level != 0) out << "level " << LevelText(x.level) << ", ";
    if (x.output != 0) out << "output " << x.output + 1 << ", ";
    if (x.chokeGroup != kNoChokeGroup) out << "choke group " << x.chokeGroup.load() << ", ";
    if (x.roundRobin != kRoundRobinTurn || x.hasAlternates()) {
      out << "round robin " << (x.roundRobin == kRoundRobinRandom ? "at random" : "in turn") << ", ";
    }
    out << "velocity scheme "
        << static_cast<int64_t>(s.velocityScheme()) + 1 << " of " << kSchemeCount << ", compress " << s.compress()
        << ", pan " << s.pan() << ", rate " << s.playbackRate();
    const int32_t cut = s.cutNote();
    if (cut == kNone) {
      out << ", cuts no sound";
    } else if (cut >= 0 && cut < kSoundCount) {
      out << ", cuts sound " << cut << " (MIDI note " << cut + kFirstNote << ")";
    } else {
      out << ", cuts sound " << cut << " (no such sound)";
    }
    out << ", note-off " << onOff(s.noteOffEnabled) << ", looping " << onOff(s.looping)
        << ", pitch bend " << onOff(s.externalPitchBend) << '\n';
    for (int j = 0; j < kLayerCount; ++j) writeLayer(out, doc, s, j, x);
  }
}

void writeKitJson(std::ostream& out, const DrumSetContent& set, const SetExtras& extras) {
  out << "{\"header\":" << set.headerValue << ",\"groups\":[";
  for (std::size_t g = 0; g < set.groupNames.size(); ++g) {
    if (g > 0) out << ',';
    out << "{\"name\":";
    writeJsonString(out, set.groupNames[g]);
    out << ",\"samples\":";
    writeJsonArray(out, set.groupLists[g], [&](std::string_view p) { writeJsonString(out, p); });
    out << '}';
  }
  out << "],\"thresholds\":";
  writeJsonArray(out, set.thresholds, [&](const ThresholdRow& row) {
    writeJsonArray(out, row, [&](const RelaxedInt& t) { out << t.load(); });
  });
  out << ",\"sounds\":[";
  for (int n = 0; n < kSoundCount; ++n) {
    const Sound& s = set.sounds[n];
    const SoundExtras& x = extras.sounds[static_cast<std::size_t>(n)];
    if (n > 0) out << ',';
    out << "{\"index\":" << n << ",\"cutNote\":" << s.cutNote() << ",\"scheme\":" << s.velocityScheme()
        << ",\"compress\":" << s.compress() << ",\"pan\":" << s.pan()
        << ",\"formatMarker\":" << s.settings[kFormatMarker].load() << ",\"rate\":" << s.playbackRate()
        << ",\"reserved\":[";
    for (int i = 0; i < 4; ++i) out << (i ? "," : "") << s.settings[kReserved0 + i].load();
    out << "],\"noteOff\":" << s.noteOffEnabled.load() << ",\"looping\":" << s.looping.load()
        << ",\"pitchBend\":" << s.externalPitchBend.load() << ",\"layers\":[";
    for (int j = 0; j < kLayerCount; ++j) {
      out << (j ? "," : "") << "{\"group\":" << s.refs[j].group << ",\"entry\":" << s.refs[j].entry
          << ",\"source\":" << s.sources[j].load() << ",\"gainDb\":" << DbNumberText(x.layerGain[static_cast<std::size_t>(j)])
          << ",\"alternates\":";
      writeJsonArray(out, x.alternates[static_cast<std::size_t>(j)], [&](std::string_view p) { writeJsonString(out, p); });
      out << '}';
    }
    // What the extras file holds comes last, after everything the ".drums" file holds.
    out << "],\"name\":";
    writeJsonString(out, x.name);
    out << ",\"levelDb\":" << (x.level == kLevelOff ? "\"off\"" : DbNumberText(x.level)) << ",\"output\":" << x.output + 1
        << ",\"chokeGroup\":" << x.chokeGroup.load() << ",\"roundRobin\":"
        << (x.roundRobin == kRoundRobinRandom ? "\"random\"" : "\"turn\"") << '}';
  }
  // The set's own extras after its sounds'.
  const int32_t grab = extras.grabThreshold;
  out << "],\"grabThreshold\":" << (grab == kGrabOff ? std::string("\"off\"") : std::to_string(grab)) << "}\n";
}

void writeSampleListSummary(std::ostream& out, const StringList& entries) {
  out << "Sample list: " << entries.size() << (entries.size() == 1 ? " sample\n" : " samples\n");
  std::size_t i = 0;
  for (std::string_view path : entries) {
    out << "  " << i++ << "  " << printable(FileNameView(path)) << "  " << printable(path) << '\n';
  }
}

void writeSampleListJson(std::ostream& out, const StringList& entries) {
  out << "{\"samples\":";
  writeJsonArray(out, entries, [&](std::string_view p) { writeJsonString(out, p); });
  out << "}\n";
}

}  // namespace zumbel
