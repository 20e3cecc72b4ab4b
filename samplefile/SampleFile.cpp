#include "SampleFile.h"

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

#include "ChunkWalk.h"

namespace zumbel {

namespace {

// The container libsndfile found must be the one the walk let through.
bool isExpectedContainer(int format, SampleContainer sniffed) {
  const int major = format & SF_FORMAT_TYPEMASK;
  switch (sniffed) {
    case SampleContainer::kWav: return major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX;
    case SampleContainer::kAiff: return major == SF_FORMAT_AIFF;
    case SampleContainer::kFlac: return major == SF_FORMAT_FLAC;
    default: return false;
  }
}

}  // namespace

SampleFile::~SampleFile() { close(); }

SampleFile::SampleFile(SampleFile&& other) noexcept
    : status_(other.status_),
      fd_(std::exchange(other.fd_, -1)),
      file_(std::exchange(other.file_, nullptr)),
      info_(other.info_),
      stat_(other.stat_),
      openError_(other.openError_) {}

SampleFile& SampleFile::operator=(SampleFile&& other) noexcept {
  if (this != &other) {
    close();
    status_ = other.status_;
    fd_ = std::exchange(other.fd_, -1);
    file_ = std::exchange(other.file_, nullptr);
    info_ = other.info_;
    stat_ = other.stat_;
    openError_ = other.openError_;
  }
  return *this;
}

// libsndfile is told not to close the descriptor, because whether it does so when sf_open_fd
// fails has varied between its versions; it is closed here on every way out.
void SampleFile::close() {
  if (file_) sf_close(std::exchange(file_, nullptr));
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

SampleFile openSampleFile(const std::string& path, const std::atomic<bool>* stop) {
  SampleFile f;
  if (stopRequested(stop)) {
    f.status_ = SampleFile::Status::kStopped;
    return f;
  }
  // Opened here rather than by libsndfile so that "cannot be opened" stays apart from "not a
  // sound". A folder opens read-only on Linux, hence the check; without O_NONBLOCK a named pipe
  // with no writer would hang the open itself (the flag does nothing to reads of a regular file).
  do {
    f.fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (f.fd_ < 0 && errno == EINTR);
  if (f.fd_ < 0) {
    f.openError_ = errno;
    return f;
  }
  if (::fstat(f.fd_, &f.stat_) != 0 || !S_ISREG(f.stat_.st_mode)) {
    f.close();
    return f;
  }
  f.status_ = SampleFile::Status::kNotSound;
  const SampleContainer container = sniffContainer(f.fd_, f.stat_.st_size, stop);
  if (container == SampleContainer::kStopped) {
    f.status_ = SampleFile::Status::kStopped;
    return f;
  }
  if (container == SampleContainer::kNone) return f;
  f.file_ = sf_open_fd(f.fd_, SFM_READ, &f.info_, SF_FALSE);
  if (!f.file_ || !isExpectedContainer(f.info_.format, container) || f.info_.channels < 1 || f.info_.samplerate < 1 ||
      f.info_.frames < 0) {
    f.close();
    return f;
  }
  f.status_ = SampleFile::Status::kOpen;
  return f;
}

}  // namespace zumbel
