// Any file handed to the ".slist" reader: it must never crash, hang or over-allocate, and a list
// it reads whole must save and load back unchanged.

#include <cstdlib>
#include <sstream>

#include "SampleListFile.h"
#include "cli/KitReport.h"

using namespace zumbel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  StringList entries;
  const SampleListError error = parseSampleList(std::span<const uint8_t>(data, size), entries);
  std::ostringstream sink;
  writeSampleListJson(sink, entries);
  writeSampleListSummary(sink, entries);
  if (error != SampleListError::None) return 0;
  StringList back;
  if (parseSampleList(serializeSampleList(entries), back) != SampleListError::None || !(back == entries)) {
    std::abort();
  }
  return 0;
}
