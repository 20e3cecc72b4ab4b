#pragma once
// Whole-file reads and atomic writes for kit files, with failures sorted into the causes the user
// is told about.

#include <cstdint>
#include <string>
#include <vector>

namespace zumbel {

enum class FileError {
  None,
  BadFormat,     // the content is not what the reader expects (or ends early)
  NotFound,      // the file or its folder does not exist
  AccessDenied,
  DiskFull,
  Other,
};

FileError fileErrorFromErrno(int err);

// Reads a regular file whole. Devices, pipes and folders are refused without blocking.
FileError readWholeFile(const std::string& path, std::vector<uint8_t>& out);

// Writes a temporary file beside `path`, flushes it to disk and renames it over `path`, so a
// failure at any point leaves the previous file exactly as it was. A symbolic link is followed:
// its target is replaced, not the link. A new file gets the usual permissions (0666 less umask),
// an existing one keeps its own.
FileError writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes);

// Several files saved as one: each is written and flushed beside its target first, and only when
// all of them are is any renamed into place. `remove` deletes a regular file at `path` instead,
// once the others are in place. Without `followLink`, a symbolic link at `path` is replaced by the
// file rather than its target written: for files the program owns beside another, which nobody
// links on purpose and a hostile kit could link anywhere.
struct FileWrite {
  std::string path;
  std::vector<uint8_t> bytes;
  bool remove = false;
  bool followLink = true;
};
FileError writeFilesAtomically(const std::vector<FileWrite>& files);

}  // namespace zumbel
