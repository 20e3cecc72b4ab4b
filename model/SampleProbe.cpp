#include "SampleProbe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "FileNames.h"

namespace zumbel {

bool CanOpenForReading(const std::string& path) {
  if (path.empty()) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  return regular;
}

std::string AbsolutePath(const std::string& path) {
  namespace fs = std::filesystem;
  if (path.empty()) return path;
  std::error_code ec;
  const fs::path absolute = fs::absolute(path, ec);
  if (ec) return path;
  // "a/../b" is written "b" only where both name one folder: through a link, ".." leads elsewhere.
  const fs::path clean = absolute.lexically_normal();
  if (clean != absolute && fs::equivalent(clean.parent_path(), absolute.parent_path(), ec) && !ec) {
    return clean.string();
  }
  return absolute.string();
}

std::string StoredPathFromSet(const std::string& storedPath, const std::string& setFolder) {
  if (storedPath.empty() || storedPath.front() == '/' || setFolder.empty()) return storedPath;
  return setFolder + storedPath;
}

std::optional<std::string> FindSampleBesideSet(const std::string& storedPath, const std::string& setFolder) {
  if (std::string stored = StoredPathFromSet(storedPath, setFolder); CanOpenForReading(stored)) return stored;
  const std::string beside = setFolder + FileNamePart(storedPath);
  if (CanOpenForReading(beside)) return beside;
  return std::nullopt;
}

std::optional<std::string> ProbeSamplePath(const std::string& storedPath, const std::string& setFolder,
                                           const std::string& lastLocatedFolder) {
  if (auto found = FindSampleBesideSet(storedPath, setFolder)) return found;
  if (lastLocatedFolder.empty()) return std::nullopt;
  const std::string located = lastLocatedFolder + FileNamePart(storedPath);
  if (CanOpenForReading(located)) return located;
  return std::nullopt;
}

}  // namespace zumbel
