#include "SampleCache.h"

#include <iterator>

namespace zumbel {

std::optional<DecodedSample> SampleCache::find(const FileIdentity& identity) const {
  const auto it = entries_.find({identity.device, identity.inode});
  if (it == entries_.end() || !(it->second.format.identity == identity)) return std::nullopt;
  std::shared_ptr<const PcmBlock> pcm = it->second.pcm.lock();
  if (!pcm) return std::nullopt;
  DecodedSample found = it->second.format;
  found.pcm = std::move(pcm);
  return found;
}

DecodedSample SampleCache::remember(DecodedSample sample) {
  if (sample.status != DecodedSample::Status::kOk || !sample.pcm) return sample;
  if (std::optional<DecodedSample> held = find(sample.identity)) return std::move(*held);
  Entry& entry = entries_[{sample.identity.device, sample.identity.inode}];
  entry.format = sample;
  entry.format.pcm.reset();
  entry.pcm = sample.pcm;
  if (entries_.size() >= pruneAt_) dropExpired();
  return sample;
}

// Entries of files no voice plays any more pile up as sets are opened one after another.
void SampleCache::dropExpired() {
  for (auto it = entries_.begin(); it != entries_.end();) {
    it = it->second.pcm.expired() ? entries_.erase(it) : std::next(it);
  }
  pruneAt_ = 2 * entries_.size() + 64;
}

}  // namespace zumbel
