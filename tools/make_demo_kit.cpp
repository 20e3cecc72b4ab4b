// Writes the bundled demo into a folder: the synthesised samples, the drum set Demo.drums (its
// pool names the samples by bare file name, so they are found beside the set wherever it is
// installed) and "Demo Song.mid". The output is committed, not built; after changing the kit or
// the song, run it over the committed folder and commit the result:
//   build/tools/make_demo_kit resources/demo

#include <cstdio>
#include <string>

#include "demo/DemoFiles.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_demo_kit OUT_DIR\n");
    return 2;
  }
  const std::string error = zumbel::demo::writeDemoFiles(argv[1]);
  if (!error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  return 0;
}
