// Writes the dense five-minute song the render benchmarks play, and prints its length in
// seconds (the scripts read it from there):
//   build/bench/make_dense_song OUT.mid

#include <cstdio>

#include "DenseSong.h"
#include "DrumsFile.h"
#include "FileIO.h"

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '-') {  // "--help" is no file name to write a song to
    std::fprintf(stderr, "usage: make_dense_song OUT.mid\n");
    return 2;
  }
  const zumbel::FileError error = zumbel::writeFileAtomically(argv[1], zumbel::bench::denseSongImage());
  if (error != zumbel::FileError::None) {
    std::fprintf(stderr, "%s\n", zumbel::documentErrorText(error, false, argv[1]).c_str());
    return 2;
  }
  std::printf("%.3f\n", zumbel::bench::kDenseSeconds);
  return 0;
}
