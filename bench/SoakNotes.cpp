#include "SoakNotes.h"

#include "KitbeatDoc.h"
#include "DrumsFile.h"

namespace zumbel::bench {

std::vector<int> notesWithSamples(const std::string& setPath) {
  CKitbeatDoc doc;
  if (!doc.OnOpenDocument(setPath).ok()) return {};
  std::vector<int> notes;
  for (int n = 0; n < kSoundCount && n + kFirstNote <= 127; ++n) {
    const auto& refs = doc.sound(n).refs;
    if (std::any_of(refs.begin(), refs.end(), [](const SampleRef& r) { return r.isSet(); })) notes.push_back(n + kFirstNote);
  }
  return notes;
}

}  // namespace zumbel::bench
