#pragma once
// The bounds put on a sample file before libsndfile sees it, in one place.

#include <cstddef>

namespace zumbel {

// Chunks walked in one RIFF WAVE or AIFF file. Real files have a handful to a few dozen ("fmt ",
// "fact", "LIST", "bext", "cue ", "smpl", "data" and the like); a file with more is not taken for
// a sound, however its chunks look, so a file of millions of empty chunks costs next to nothing.
inline constexpr std::size_t kMaxSampleFileChunks = 1024;
// The chunk walk reads the file in windows of this size rather than one chunk header at a time.
inline constexpr std::size_t kChunkWalkWindowBytes = std::size_t{16} << 10;

}  // namespace zumbel
