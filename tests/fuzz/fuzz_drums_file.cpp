// Any file handed to the ".drums" reader: it must never crash, hang or over-allocate, and what it
// accepts must save and load back to the same set, byte for byte from then on.

#include <cstdlib>
#include <memory>
#include <sstream>

#include "DrumsFile.h"
#include "cli/KitReport.h"

using namespace zumbel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const DrumSetContent fresh = [] {
    CKitbeatDoc doc;
    doc.OnNewDocument();
    return doc.content();
  }();
  auto set = std::make_unique<DrumSetContent>(fresh);
  if (parseDrumSet(std::span<const uint8_t>(data, size), *set) != FileError::None) return 0;

  const std::vector<uint8_t> saved = serializeDrumSet(*set);
  auto again = std::make_unique<DrumSetContent>(fresh);
  if (parseDrumSet(saved, *again) != FileError::None || !(*again == *set)) std::abort();
  if (serializeDrumSet(*again) != saved) std::abort();

  // What `zumbel info` prints for it.
  CKitbeatDoc doc;
  doc.replaceContent(std::move(*set));
  std::ostringstream sink;
  writeKitSummary(sink, doc);
  writeKitJson(sink, doc.content(), doc.extras());
  return 0;
}
