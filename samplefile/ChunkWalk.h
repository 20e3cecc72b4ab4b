#pragma once
// Which sound file a descriptor holds, as far as the readers take it: its chunks are walked here,
// bounded and from a buffer, before libsndfile walks them. libsndfile's own walk can be sent round
// for ever by a chunk claiming more bytes than the file holds (a "LIST" of about 4 GB in a file of
// a few hundred bytes), so such a file is not a sound.

#include <atomic>
#include <cstdint>

namespace zumbel {

enum class SampleContainer { kNone, kWav, kAiff, kFlac, kStopped };

// Reads with pread only, so the file offset stays at 0, where sf_open_fd expects the file to
// start. `stop` (may be null) is looked at before every read; once set, the walk ends kStopped.
SampleContainer sniffContainer(int fd, int64_t fileBytes, const std::atomic<bool>* stop);

}  // namespace zumbel
