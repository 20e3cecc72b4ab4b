#include "FilesAt.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zumbel::import {

namespace fs = std::filesystem;

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The folder holding `rel`'s last component, and that component.
std::pair<UniqueFd, std::string> parentOf(int base, const fs::path& rel, bool make) {
  UniqueFd folder = openFolderAt(base, rel.parent_path(), make);
  return {std::move(folder), rel.filename().string()};
}

}  // namespace

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) ::close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

UniqueFd openFolderAt(int base, const fs::path& rel, bool make) {
  UniqueFd at(::fcntl(base, F_DUPFD_CLOEXEC, 0));
  for (const fs::path& part : rel) {
    if (!at) return at;
    const std::string name = part.string();
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      errno = EINVAL;
      return UniqueFd();
    }
    if (make && ::mkdirat(at.get(), name.c_str(), 0777) != 0 && errno != EEXIST) return UniqueFd();
    at = UniqueFd(::openat(at.get(), name.c_str(), kFolderFlags));
  }
  return at;
}

UniqueFd createFileAt(int base, const fs::path& rel) {
  auto [folder, name] = parentOf(base, rel, true);
  if (!folder) return UniqueFd();
  return UniqueFd(::openat(folder.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
}

UniqueFd openFileAt(int base, const fs::path& rel) {
  auto [folder, name] = parentOf(base, rel, false);
  if (!folder) return UniqueFd();
  UniqueFd file(::openat(folder.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st {};
  if (file && (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode))) return UniqueFd();
  return file;
}

}  // namespace zumbel::import
