#include "HeadlessKit.h"

#include "DrumEngine.h"
#include "KitReport.h"
#include "LayerVoiceLoader.h"
#include "Relink.h"
#include "SampleProbe.h"
#include "WaveReader.h"

namespace zumbel {

void StreamPrompts::showMessage(std::string_view text, std::string_view caption) {
  err_ << "zumbel: " << printable(caption) << ": " << printable(text) << '\n';
}

HeadlessLoad loadVoicesHeadless(CKitbeatDoc& doc, DrumEngine& engine, Prompts& prompts, std::ostream& err) {
  HeadlessLoad result;
  // Entries nobody can locate keep their stored path (rather than being dropped as the window
  // does on "No"), so the report can name them; their layers simply get no voice.
  RelinkSamplePool(doc, [&](const std::string& stored) {
    if (auto found = ProbeSamplePath(stored, doc.folder(), "")) return *found;
    err << "zumbel: missing sample: " << printable(stored) << '\n';
    ++result.missing;
    return stored;
  });
  WaveReader reader(&prompts);
  LayerVoiceLoader loader(doc, engine, reader, &prompts);
  const int failed = loader.loadAllVoices();
  result.voices = engine.voices().voiceCount();
  // Layers of missing entries, and layers whose reference names no pool entry at all (a damaged
  // set), failed too; the rest were found but could not be read.
  int missingLayers = 0;
  for (int n = 0; n < kSoundCount; ++n) {
    for (int j = 0; j < kLayerCount; ++j) {
      const SampleRef ref = doc.sound(n).refs[static_cast<std::size_t>(j)];
      if (!ref.isSet()) continue;
      const auto path = doc.samplePath(ref);
      if (!path || !ProbeSamplePath(std::string(*path), doc.folder(), "")) ++missingLayers;
    }
  }
  result.unreadable = failed - missingLayers;
  if (result.unreadable > 0) {
    err << "zumbel: " << result.unreadable << (result.unreadable == 1 ? " layer" : " layers")
        << " could not be read as WAV and will stay silent\n";
  }
  return result;
}

}  // namespace zumbel
