#pragma once
// One block per sample file: layers that play the same file share what was read for the first of
// them, as long as some voice still holds it and the file has not changed since. Nothing here
// keeps a block alive; the voices do. User-interface thread only.

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "WaveReader.h"

namespace zumbel {

class SampleCache {
 public:
  // An earlier read of the file `identity` names, when its block is still held.
  std::optional<DecodedSample> find(const FileIdentity& identity) const;
  // Remembers a successful read. One already remembered for the same, unchanged file wins, and is
  // returned, so two paths to one file still give one block.
  DecodedSample remember(DecodedSample sample);

 private:
  struct Entry {
    DecodedSample format;  // without its block
    std::weak_ptr<const PcmBlock> pcm;
  };
  void dropExpired();

  std::map<std::pair<dev_t, ino_t>, Entry> entries_;
  std::size_t pruneAt_ = 64;
};

}  // namespace zumbel
