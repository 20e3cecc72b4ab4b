#include "FileProblems.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "DrumsFile.h"
#include "FileNames.h"
#include "Printable.h"
#include "SampleProbe.h"

namespace zumbel {

std::string readProblem(const std::string& path) {
  // Non-blocking, so a named pipe with no writer is not waited on.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::strerror(errno);
  struct stat st {};
  const int statError = ::fstat(fd, &st) == 0 ? 0 : errno;
  ::close(fd);
  if (statError != 0) return std::strerror(statError);
  if (S_ISDIR(st.st_mode)) return std::strerror(EISDIR);
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  return {};
}

std::string writeProblem(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return std::strerror(EISDIR);
    if (!S_ISREG(st.st_mode)) return {};
    if (::access(path.c_str(), W_OK) != 0) return std::strerror(errno);
  } else if (errno != ENOENT) {
    return std::strerror(errno);
  }
  // A file is written beside its target and renamed over it, so its folder must take new files.
  const std::string folder = LocalFolderPart(path);
  const std::string where = folder.empty() ? "." : folder;
  if (::stat(where.c_str(), &st) != 0) return "folder " + where + ": " + std::strerror(errno);
  if (!S_ISDIR(st.st_mode)) return "folder " + where + ": " + std::strerror(ENOTDIR);
  if (::access(where.c_str(), W_OK | X_OK) != 0) return "folder " + where + ": " + std::strerror(errno);
  return {};
}

std::string unreadableSample(const std::string& stored, const std::string& setFolder) {
  for (const std::string& candidate : {StoredPathFromSet(stored, setFolder), setFolder + FileNamePart(stored)}) {
    struct stat st {};
    if (candidate.empty() || ::stat(candidate.c_str(), &st) != 0) continue;
    const std::string problem = readProblem(candidate);
    if (!problem.empty()) return candidate + ": " + problem;
  }
  return {};
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void reportFileProblem(std::ostream& err, std::string_view command, std::string_view path, std::string_view reason) {
  err << "zumbel: " << command << ": " << printable(path) << ": " << printable(reason) << '\n';
}

bool openKit(CKitbeatDoc& doc, const std::string& path, std::string_view command, std::ostream& err,
             std::vector<std::string>* notices) {
  FileOutcome outcome = doc.OnOpenDocument(path);
  if (outcome.ok()) {
    if (notices != nullptr) {
      *notices = std::move(outcome.notices);
    } else {
      for (const std::string& line : outcome.notices) err << "zumbel: " << command << ": warning: " << printable(line) << '\n';
    }
    return true;
  }
  std::string reason = readProblem(path);
  if (reason.empty()) {
    reason = outcome.error == FileError::BadFormat ? "not a drum set (unexpected file format)" : outcome.message;
  }
  reportFileProblem(err, command, path, reason);
  return false;
}

}  // namespace zumbel
