#include "Relink.h"

namespace zumbel {

void RelinkSamplePool(CKitbeatDoc& doc, const ResolveSampleFn& resolve) {
  for (int g = 0; g < doc.groupCount(); ++g) {
    // No fixed-size table: any number of entries of a group may go missing in one pass.
    std::vector<int> dropped;
    std::vector<std::pair<int, std::string>> moved;
    const int size = doc.groupSize(g);
    for (int i = 0; i < size; ++i) {
      const std::string stored(doc.groupList(g)[static_cast<std::size_t>(i)]);
      const std::string resolved = resolve(stored);
      if (resolved == kNotLocatedMarker) {
        dropped.push_back(i);
      } else if (resolved != stored) {
        moved.emplace_back(i, resolved);
      }
    }
    doc.replaceSamplePaths(g, moved);
    doc.DropPoolEntries(g, std::move(dropped));
  }
}

}  // namespace zumbel
