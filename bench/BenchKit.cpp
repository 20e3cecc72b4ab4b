#include "BenchKit.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <set>

namespace zumbel::bench {

namespace {

constexpr int kMaxVelocity = 127;
constexpr int kMaxNote = 127;

std::vector<std::string> splitTabs(std::string_view line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t tab = line.find('\t', start);
    fields.emplace_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

std::optional<int> number(const std::string& field, int lowest, int highest) {
  int value = 0;
  const char* end = field.data() + field.size();
  const auto [ptr, ec] = std::from_chars(field.data(), end, value);
  if (ec != std::errc() || ptr != end || value < lowest || value > highest) return std::nullopt;
  return value;
}

std::string lineError(int line, const std::string& why) { return "line " + std::to_string(line) + ": " + why; }

}  // namespace

BenchKitPlanResult parseBenchKitPlan(std::string_view text) {
  BenchKitPlanResult result;
  BenchKitPlan& plan = result.plan;
  std::set<int> seen;
  int lineNumber = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const std::vector<std::string> f = splitTabs(line);
    if (f[0] == "kit" && f.size() == 2 && !f[1].empty()) {
      plan.name = f[1];
    } else if (f[0] == "thresholds" && f.size() == 1 + kThresholdsPerScheme) {
      std::array<int, kThresholdsPerScheme> t{};
      for (int i = 0; i < kThresholdsPerScheme; ++i) {
        const std::optional<int> v = number(f[static_cast<std::size_t>(i + 1)], 0, kMaxVelocity);
        // Each band lies below the one before it, or some layer could never play.
        if (!v || (i > 0 && *v >= t[static_cast<std::size_t>(i - 1)])) {
          result.error = lineError(lineNumber, "thresholds must be four falling velocities 0..127");
          return result;
        }
        t[static_cast<std::size_t>(i)] = *v;
      }
      plan.thresholds = t;
    } else if (f[0] == "note" && f.size() >= 4) {
      const std::optional<int> note = number(f[1], 0, kMaxNote);
      if (!note) {
        result.error = lineError(lineNumber, "\"" + f[1] + "\" is not a MIDI note 0..127");
        return result;
      }
      if (!seen.insert(*note).second) {
        result.error = lineError(lineNumber, "note " + f[1] + " appears twice");
        return result;
      }
      BenchKitNote n{*note, f[2], {f.begin() + 3, f.end()}};
      if (static_cast<int>(n.files.size()) > kLayerCount) {
        result.error = lineError(lineNumber, "more files than a sound has layers (" + std::to_string(kLayerCount) + ")");
        return result;
      }
      if (std::any_of(n.files.begin(), n.files.end(), [](const std::string& s) { return s.empty(); })) {
        result.error = lineError(lineNumber, "an empty file name");
        return result;
      }
      plan.notes.push_back(std::move(n));
    } else {
      result.error = lineError(lineNumber, "expected kit, thresholds or note with its fields, tab-separated");
      return result;
    }
  }
  if (plan.notes.empty()) result.error = "the plan names no notes";
  return result;
}

std::string buildBenchKit(const BenchKitPlan& plan, CKitbeatDoc& doc) {
  doc.OnNewDocument();
  const BenchKitNote* first = nullptr;
  for (const BenchKitNote& n : plan.notes) {
    if (n.note == kFirstNote) first = &n;
  }
  std::string groupName = plan.name.empty() ? "Samples" : plan.name;
  if (groupName.size() > static_cast<std::size_t>(kMaxGroupNameLength)) groupName.resize(kMaxGroupNameLength);
  const int group = doc.appendGroup(groupName);
  std::map<std::string, int> entries;
  for (const BenchKitNote& n : plan.notes) {
    if (n.note < kFirstNote) {
      // Zumbel plays it with the first sound; a plan wanting something else cannot be honoured.
      if (first == nullptr || first->files != n.files) {
        return "note " + std::to_string(n.note) + " would play the sound of note " + std::to_string(kFirstNote) +
               "; give both the same files";
      }
      continue;
    }
    const int sound = n.note - kFirstNote;
    for (std::size_t layer = 0; layer < n.files.size(); ++layer) {
      auto [it, added] = entries.try_emplace(n.files[layer], doc.groupSize(group));
      if (added) doc.appendSample(group, n.files[layer]);
      doc.AssignSample(sound, static_cast<int>(layer), SampleRef{group, it->second});
    }
  }
  if (plan.thresholds) {
    DrumSetContent content = doc.content();
    for (int i = 0; i < kThresholdsPerScheme; ++i) {
      content.thresholds[kDefaultScheme][static_cast<std::size_t>(i)] = (*plan.thresholds)[static_cast<std::size_t>(i)];
    }
    doc.replaceContent(std::move(content));
  }
  return {};
}

}  // namespace zumbel::bench
