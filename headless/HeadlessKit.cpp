#include "HeadlessKit.h"

#include <algorithm>
#include <map>
#include <vector>

#include "DrumEngine.h"
#include "FileProblems.h"
#include "LayerVoiceLoader.h"
#include "Printable.h"
#include "Relink.h"
#include "SampleProbe.h"

namespace zumbel {

void StreamPrompts::showMessage(std::string_view text, std::string_view caption) {
  err_ << "zumbel: " << printable(caption) << ": " << printable(text) << '\n';
}

HeadlessLoad loadVoicesHeadless(CKitbeatDoc& doc, DrumEngine& engine, Prompts& prompts, std::ostream& err) {
  HeadlessLoad result;
  // Entries nobody can locate keep their stored path (rather than being dropped as the window
  // does on "No"), so the report can name them; their layers simply get no voice.
  RelinkSamplePool(doc, [&](const std::string& stored) {
    if (FindSampleBesideSet(stored, doc.folder())) return stored;
    if (const std::string problem = unreadableSample(stored, doc.folder()); !problem.empty()) {
      err << "zumbel: sample " << printable(problem) << "; it stays silent\n";
      ++result.unreadable;
    } else {
      err << "zumbel: missing sample: " << printable(stored) << '\n';
      ++result.missing;
    }
    return stored;
  });
  LayerVoiceLoader loader(doc, engine, &prompts);
  loader.loadAllVoices();
  result.voices = engine.voices().voiceCount();
  // The layers of a file that was found but gave no voice, by file, so each is named once.
  std::map<std::string, std::vector<std::string>> silentLayers;
  for (int n = 0; n < kSoundCount; ++n) {
    for (int j = 0; j < kLayerCount; ++j) {
      const SampleRef ref = doc.sound(n).refs[static_cast<std::size_t>(j)];
      if (!ref.isSet() || engine.voices().voice(n, j) != nullptr) continue;
      const auto path = doc.samplePath(ref);
      if (!path) continue;  // a reference outside the pool (a damaged set) names no file
      if (auto found = FindSampleBesideSet(std::string(*path), doc.folder())) {
        silentLayers[*found].push_back("sound " + std::to_string(n) + " layer " + std::to_string(j));
      }
    }
  }
  const std::vector<std::string>& outOfMemory = loader.outOfMemory();
  for (const auto& [path, layers] : silentLayers) {
    const bool noMemory = std::find(outOfMemory.begin(), outOfMemory.end(), path) != outOfMemory.end();
    err << "zumbel: sample " << printable(path)
        << (noMemory ? ": not enough memory to load it; silent: " : ": not a WAV file Zumbel can read; silent: ");
    for (std::size_t i = 0; i < layers.size(); ++i) err << (i > 0 ? ", " : "") << layers[i];
    err << '\n';
  }
  result.unreadable += static_cast<int>(silentLayers.size());
  // A take that could not be had leaves its layer playing the others: said, and counted, since a
  // render without it is not the set as made.
  for (const std::string& alternate : loader.missingAlternates()) {
    err << "zumbel: alternate " << printable(alternate) << " is missing or cannot be played; it is left out\n";
    ++result.unreadable;
  }
  return result;
}

}  // namespace zumbel
