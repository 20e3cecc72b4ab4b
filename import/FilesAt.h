#pragma once
// Files and folders reached from a folder already open, one path component at a time, never
// through a link (O_NOFOLLOW at every step) and, when written, always new (O_EXCL): nothing that
// lies on disk, a link put in the way included, can send a write or a read elsewhere. Folders are
// made with mode 0777 and files with 0644, both less the umask.

#include <filesystem>
#include <utility>

namespace zumbel::import {

// A file descriptor closed with its holder.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd();
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_;
};

// The folder `rel` below `base` (`base` itself when `rel` is empty), made with every folder above
// it when `make` and missing. Invalid, with errno set, when it cannot be had.
UniqueFd openFolderAt(int base, const std::filesystem::path& rel, bool make);
// A new file at `rel` below `base`, for writing; the folders above it are made.
UniqueFd createFileAt(int base, const std::filesystem::path& rel);
// The regular file at `rel` below `base`, for reading.
UniqueFd openFileAt(int base, const std::filesystem::path& rel);

}  // namespace zumbel::import
