#pragma once
// Opening a sample file, the one way every reader of samples does it (the engine's decoder, the
// kit importer's probe): only a regular file is opened, never waited on, and its chunks are walked
// (ChunkWalk.h) before libsndfile sees it. What libsndfile then opens is checked to be the
// container the walk let through and to have channels and a rate.

#include <sys/stat.h>

#include <sndfile.h>

#include <atomic>
#include <string>

namespace zumbel {

class SampleFile {
 public:
  enum class Status {
    kOpen,        // get() reads it
    kCannotOpen,  // missing, not permitted, or not a regular file (a folder, a pipe)
    kNotSound,    // opens, but is not a WAV, AIFF or FLAC file these readers take
    kStopped,     // the stop flag was set before the file was judged
  };

  SampleFile() = default;
  ~SampleFile();
  SampleFile(SampleFile&& other) noexcept;
  SampleFile& operator=(SampleFile&& other) noexcept;
  SampleFile(const SampleFile&) = delete;
  SampleFile& operator=(const SampleFile&) = delete;

  Status status() const { return status_; }
  // The open file while kOpen, else null; closed with this object.
  SNDFILE* get() const { return file_; }
  // What libsndfile reports: at least one channel, a rate above 0, no negative frame count.
  const SF_INFO& info() const { return info_; }
  // The opened file as it was then; set unless kCannotOpen (or stopped before the open).
  const struct stat& fileStat() const { return stat_; }
  // errno of an open() that failed; 0 for a file that opened but is not a regular file.
  int openError() const { return openError_; }

 private:
  friend SampleFile openSampleFile(const std::string& path, const std::atomic<bool>* stop);
  void close();

  Status status_ = Status::kCannotOpen;
  int fd_ = -1;
  SNDFILE* file_ = nullptr;
  SF_INFO info_{};
  struct stat stat_ {};
  int openError_ = 0;
};

// Opens `path` for reading. `stop` (may be null) is looked at before each read of the chunk walk;
// set from another thread, it ends the open kStopped, so a cancelled load stops at once.
SampleFile openSampleFile(const std::string& path, const std::atomic<bool>* stop = nullptr);

// Whether `stop` is set; a null flag never is.
inline bool stopRequested(const std::atomic<bool>* stop) { return stop && stop->load(std::memory_order_relaxed); }

}  // namespace zumbel
