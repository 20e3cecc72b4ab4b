#include "FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <optional>
#include <string>

#include "FileNames.h"

namespace zumbel {

namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// The file a save really replaces: the end of a chain of symbolic links, even one that points
// at a file not yet made, else the path itself. A loop or an unreadable link gives nothing, so a
// save never lands on a link in some other folder.
std::optional<std::string> resolveTarget(const std::string& path) {
  std::string target = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
    std::string link(PATH_MAX, '\0');
    const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= link.size()) return std::nullopt;
    link.resize(static_cast<std::size_t>(n));
    target = link.front() == '/' ? link : LocalFolderPart(target) + link;
  }
  return std::nullopt;
}

// Creates a fresh file beside the target with `mode` less the umask: 0666 for a new file, the
// target's own mode when it exists, so a private set is never readable by others, not even
// while it is being written.
int createTempBeside(const std::string& target, mode_t mode, std::string& temp) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    // Short whatever the target's name, so a name near the length limit can still be saved.
    temp = LocalFolderPart(target) + ".zumbel-save-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter.fetch_add(1));
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

void syncFolderOf(const std::string& target) {
  const std::string folder = LocalFolderPart(target);
  Fd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
}

FileError writeAll(int fd, const std::vector<uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fileErrorFromErrno(errno);
    }
    done += static_cast<std::size_t>(n);
  }
  return FileError::None;
}

}  // namespace

FileError fileErrorFromErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return FileError::NotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
    case EBUSY:
      return FileError::AccessDenied;
    case ENOSPC:
    case EDQUOT:
      return FileError::DiskFull;
    default:
      return FileError::Other;
  }
}

FileError readWholeFile(const std::string& path, std::vector<uint8_t>& out) {
  out.clear();
  // Non-blocking so that opening a FIFO cannot hang; only regular files are read.
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return fileErrorFromErrno(errno);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return fileErrorFromErrno(errno);
  if (!S_ISREG(st.st_mode)) return FileError::Other;
  out.reserve(static_cast<std::size_t>(st.st_size));
  uint8_t buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fileErrorFromErrno(errno);
    }
    if (n == 0) break;
    out.insert(out.end(), buffer, buffer + n);
  }
  return FileError::None;
}

namespace {

// One file of a save, written beside its target and not yet renamed over it.
struct StagedFile {
  std::string temp, target;
};

FileError stageFile(const std::string& path, const std::vector<uint8_t>& bytes, bool followLink, StagedFile& staged) {
  const std::optional<std::string> resolved = followLink ? resolveTarget(path) : std::optional<std::string>(path);
  if (!resolved) return FileError::Other;
  const std::string& target = *resolved;
  struct stat existing {};
  // Not following: a link in the file's place is replaced by the file, and what it points to is
  // never written.
  const bool exists = (followLink ? ::stat(target.c_str(), &existing) : ::lstat(target.c_str(), &existing)) == 0 &&
                      !S_ISLNK(existing.st_mode);
  if (exists && !S_ISREG(existing.st_mode)) return FileError::AccessDenied;
  if (exists && ::access(target.c_str(), W_OK) != 0) return fileErrorFromErrno(errno);

  std::string temp;
  Fd fd(createTempBeside(target, exists ? (existing.st_mode & 0777) : 0666, temp));
  if (fd.get() < 0) return fileErrorFromErrno(errno);

  FileError error = FileError::None;
  if (exists && ::fchmod(fd.get(), existing.st_mode & 07777) != 0) error = fileErrorFromErrno(errno);
  if (error == FileError::None) error = writeAll(fd.get(), bytes);
  if (error == FileError::None && ::fsync(fd.get()) != 0) error = fileErrorFromErrno(errno);
  if (error == FileError::None && ::close(fd.release()) != 0) error = fileErrorFromErrno(errno);
  if (error != FileError::None) {
    ::unlink(temp.c_str());
    return error;
  }
  staged = {temp, target};
  return FileError::None;
}

}  // namespace

FileError writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
  return writeFilesAtomically({FileWrite{path, bytes, false, true}});
}

FileError writeFilesAtomically(const std::vector<FileWrite>& files) {
  // Every file is written and flushed before any is renamed: a full disk or a read-only file
  // leaves all of them as they were, not a set beside the extras of another save.
  std::vector<StagedFile> staged;
  for (const FileWrite& f : files) {
    if (f.remove) continue;
    StagedFile one;
    if (const FileError error = stageFile(f.path, f.bytes, f.followLink, one); error != FileError::None) {
      for (const StagedFile& s : staged) ::unlink(s.temp.c_str());
      return error;
    }
    staged.push_back(std::move(one));
  }
  FileError error = FileError::None;
  for (const StagedFile& s : staged) {
    if (error == FileError::None && ::rename(s.temp.c_str(), s.target.c_str()) != 0) error = fileErrorFromErrno(errno);
    if (error != FileError::None) ::unlink(s.temp.c_str());
  }
  if (error != FileError::None) return error;
  for (const FileWrite& f : files) {
    if (!f.remove) continue;
    // Only a regular file goes: whatever else sits at that name was not written by a save.
    struct stat st {};
    if (::lstat(f.path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(f.path.c_str()) != 0) {
      return fileErrorFromErrno(errno);
    }
  }
  for (const StagedFile& s : staged) syncFolderOf(s.target);
  return FileError::None;
}

}  // namespace zumbel
