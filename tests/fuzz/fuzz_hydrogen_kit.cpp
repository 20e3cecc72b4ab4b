// Any text handed to the Hydrogen kit reader: it must never crash, hang or over-allocate, what it
// reads stays inside the importer's bounds, and the velocity fit of every instrument it reads gives
// each band a layer of that instrument, never a louder one for a softer band.

#include <cstdlib>
#include <string_view>

#include "HydrogenKit.h"
#include "ImportLimits.h"
#include "KitImport.h"

using namespace zumbel;
using namespace zumbel::import;

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CKitbeatDoc doc = [] {
    CKitbeatDoc d;
    d.OnNewDocument();
    return d;
  }();
  HydrogenKit kit;
  std::string error;
  const bool ok = parseHydrogenKit(std::string_view(reinterpret_cast<const char*>(data), size), kit, error);
  check(ok || !error.empty());
  if (!ok) return 0;
  check(kit.instruments.size() <= kMaxKitInstruments);
  check(kit.name.size() <= kMaxKitTextLength);
  for (const KitInstrument& inst : kit.instruments) {
    check(inst.components.size() <= kMaxKitComponents && inst.name.size() <= kMaxKitTextLength);
    for (const KitComponent& comp : inst.components) {
      check(comp.layers.size() <= kMaxKitLayers);
      std::vector<std::pair<double, double>> ranges;
      for (const KitLayer& layer : comp.layers) {
        check(layer.filename.size() <= kMaxKitTextLength);
        ranges.emplace_back(layer.min, layer.max);
      }
      const LayerFit fit = fitLayers(ranges, doc);
      check(fit.scheme >= 0 && fit.scheme < kSchemeCount);
      for (int k = 0; k < kLayerCount; ++k) {
        check(ranges.empty() ? fit.band[k] == 0 : (fit.band[k] >= 0 && fit.band[k] < static_cast<int>(ranges.size())));
        if (k > 0 && !ranges.empty()) {
          check(ranges[static_cast<std::size_t>(fit.band[k])].second <= ranges[static_cast<std::size_t>(fit.band[k - 1])].second);
        }
      }
    }
  }
  return 0;
}
