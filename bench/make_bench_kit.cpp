// Writes a ".drums" set from a plan of notes and sample files (see BenchKit.h); the DrumGizmo
// comparison makes the plan from a Hydrogen kit with bench/convert-hydrogen-kit:
//   build/bench/make_bench_kit PLAN.txt OUT.drums

#include <cstdio>
#include <string>

#include "BenchKit.h"
#include "DrumsFile.h"
#include "FileIO.h"

int main(int argc, char** argv) {
  using namespace zumbel;
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_bench_kit PLAN.txt OUT.drums\n");
    return 2;
  }
  std::vector<uint8_t> bytes;
  if (const FileError error = readWholeFile(argv[1], bytes); error != FileError::None) {
    std::fprintf(stderr, "%s\n", documentErrorText(error, true, argv[1]).c_str());
    return 2;
  }
  const bench::BenchKitPlanResult parsed =
      bench::parseBenchKitPlan(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "%s: %s\n", argv[1], parsed.error.c_str());
    return 2;
  }
  CKitbeatDoc doc;
  if (const std::string error = bench::buildBenchKit(parsed.plan, doc); !error.empty()) {
    std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
    return 2;
  }
  if (const FileOutcome saved = doc.OnSaveDocument(argv[2]); !saved.ok()) {
    std::fprintf(stderr, "%s\n", saved.message.c_str());
    return 2;
  }
  return 0;
}
