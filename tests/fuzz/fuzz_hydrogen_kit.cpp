// Any text handed to the Hydrogen kit reader: it must never crash, hang or over-allocate, what it
// reads stays inside the importer's bounds, and the velocity fit of every instrument it reads gives
// each band a layer of that instrument, never a louder one for a softer band. The input may carry
// a sample file after a NUL byte (which no kit file holds): it lies beside the kit file as "s.wav",
// and the whole kit is imported (by the kit's order, or by names for General MIDI when the input's
// length is odd), so the importer's probe opens whatever bytes follow; the set's extras it makes
// (names, levels, layer gains, choke groups, alternates) and its group names stay within a set's
// bounds.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>

#include <unistd.h>

#include "HydrogenKit.h"
#include "ImportLimits.h"
#include "KitImport.h"
#include "TextEncoding.h"

using namespace zumbel;
using namespace zumbel::import;

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// One folder for every input, removed when the run ends.
struct KitFolder {
  KitFolder() {
    path = (std::filesystem::temp_directory_path() / "fuzz-kit-XXXXXX").string();
    if (!::mkdtemp(path.data())) std::abort();
  }
  ~KitFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string path;
};

void writeFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const CKitbeatDoc fitDoc = [] {
    CKitbeatDoc d;
    d.OnNewDocument();
    return d;
  }();
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = input.find('\0');
  const std::string_view xml = input.substr(0, nul);

  HydrogenKit kit;
  std::string error;
  const bool ok = parseHydrogenKit(xml, kit, error);
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
      const LayerFit fit = fitLayers(ranges, fitDoc);
      check(fit.scheme >= 0 && fit.scheme < kSchemeCount);
      for (int k = 0; k < kLayerCount; ++k) {
        check(ranges.empty() ? fit.band[k] == 0 : (fit.band[k] >= 0 && fit.band[k] < static_cast<int>(ranges.size())));
        if (k > 0 && !ranges.empty()) {
          check(ranges[static_cast<std::size_t>(fit.band[k])].second <= ranges[static_cast<std::size_t>(fit.band[k - 1])].second);
        }
      }
    }
  }

  // The whole import, its sample probed, when the input carries one.
  if (nul == std::string_view::npos) return 0;
  static const KitFolder kitFolder;
  const std::string& folder = kitFolder.path;
  writeFile(folder + "/drumkit.xml", xml);
  writeFile(folder + "/s.wav", input.substr(nul + 1));
  static CKitbeatDoc doc;
  doc.OnNewDocument();
  ImportOptions options;
  if (size % 2 == 1) options.notes = NotePlacement::kGeneralMidi;
  const ImportResult r = importHydrogenFolder(folder, doc, options);
  check(r.ok ? r.sounds >= 1 && r.samples >= 1 && r.samples <= r.sounds * kLayerCount * kMaxTakes && r.missingSamples >= 0
             : !r.error.empty());
  if (!r.ok) return 0;
  // Whatever the kit's volumes, gains and names, the set's extras are what a set may hold.
  for (int n = 0; n < kSoundCount; ++n) {
    const SoundExtras& e = doc.soundExtras(n);
    check(e.level == kLevelOff || (e.level >= kMinLevel && e.level <= kMaxLevel));
    for (const RelaxedInt& g : e.layerGain) check(g >= kMinLayerGain && g <= kMaxLayerGain);
    check(e.name.size() <= kMaxSoundNameBytes);
    check(e.chokeGroup >= kNoChokeGroup && e.chokeGroup <= kMaxChokeGroups);
    check(e.chokeGroup == kNoChokeGroup || doc.extras().chokeMembers(e.chokeGroup).contains(n));
    for (const std::vector<std::string>& alternates : e.alternates) {
      check(alternates.size() <= static_cast<std::size_t>(kMaxAlternates));
      for (const std::string& path : alternates) check(IsAlternatePath(path));
    }
    char32_t cp = 0;
    for (std::size_t pos = 0; pos < e.name.size();) check(decodeUtf8(e.name, pos, cp) && cp >= 0x20 && (cp < 0x7F || cp > 0x9F));
  }
  for (int g = 0; g < doc.groupCount(); ++g) {
    check(!doc.groupName(g).empty() && doc.groupName(g).size() <= static_cast<std::size_t>(kMaxGroupNameLength));
  }
  return 0;
}
