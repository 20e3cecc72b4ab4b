#include "KitArchive.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ArchiveTree.h"
#include "FilesAt.h"
#include "HydrogenKit.h"

namespace zumbel::import {

namespace {

namespace fs = std::filesystem;

struct ReadCloser {
  void operator()(archive* a) const { archive_read_free(a); }
};
using Reader = std::unique_ptr<archive, ReadCloser>;

// The archive is opened once and read twice from the same descriptor (a survey, then the
// unpacking), so both passes read the same file even if its name is pointed elsewhere meanwhile.
Reader openArchive(int fd, std::string& error) {
  if (::lseek(fd, 0, SEEK_SET) != 0) {
    error = std::strerror(errno);
    return nullptr;
  }
  Reader a(archive_read_new());
  archive_read_support_format_tar(a.get());
  archive_read_support_filter_gzip(a.get());
  archive_read_support_filter_bzip2(a.get());
  archive_read_support_filter_xz(a.get());
  if (archive_read_open_fd(a.get(), fd, 64 * 1024) != ARCHIVE_OK) {
    const char* why = archive_error_string(a.get());
    error = why ? why : std::strerror(archive_errno(a.get()));
    return nullptr;
  }
  return a;
}

std::string errorOf(archive* a) {
  const char* why = archive_error_string(a);
  return why ? why : "";
}

// An entry's path inside the archive without "./" steps; empty when it may not be unpacked.
std::string relativePath(const char* raw) {
  if (!raw || !*raw) return {};
  std::string path(raw);
  if (path.size() > kMaxArchivePathLength || path.front() == '/') return {};
  const fs::path p = fs::path(path).lexically_normal();
  std::size_t parts = 0;
  for (const fs::path& part : p) {
    if (part == ".." || ++parts > kMaxArchivePathDepth + 1) return {};
  }
  std::string out = p.string();
  while (!out.empty() && out.back() == '/') out.pop_back();
  return out == "." ? std::string() : out;
}

// Why an entry is refused, or empty. `total` adds up the sizes the headers claim.
std::string checkEntry(archive_entry* entry, const std::string& path, const ArchiveLimits& limits, int64_t& total) {
  const char* raw = archive_entry_pathname(entry);
  const std::string shown = raw ? raw : "(no name)";
  if (path.empty()) {
    if (raw && (std::strcmp(raw, ".") == 0 || std::strcmp(raw, "./") == 0) && archive_entry_filetype(entry) == AE_IFDIR) {
      return {};
    }
    return "entry " + shown + ": absolute path, \"..\" component or overlong name";
  }
  if (const char* target = archive_entry_hardlink(entry)) {
    if (relativePath(target).empty()) return "entry " + shown + ": hard link to " + target + ", outside the archive";
    return {};
  }
  const auto type = archive_entry_filetype(entry);
  if (type == AE_IFLNK) {
    const char* target = archive_entry_symlink(entry);
    if (!target || !*target || target[0] == '/') {
      return "entry " + shown + ": symbolic link to " + (target ? target : "nothing") + ", outside the archive";
    }
    if (std::strlen(target) > kMaxArchivePathLength) return "entry " + shown + ": symbolic link with an overlong target";
    return {};
  }
  if (type != AE_IFREG && type != AE_IFDIR) return "entry " + shown + ": a device, pipe or socket";
  const int64_t size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : 0;
  if (size < 0 || size > limits.entryBytes) {
    return "entry " + shown + ": " + std::to_string(size) + " bytes, more than " + std::to_string(limits.entryBytes);
  }
  total += size;
  if (total > limits.totalBytes) return "more than " + std::to_string(limits.totalBytes) + " bytes in all";
  return {};
}

bool isLink(archive_entry* entry) { return archive_entry_hardlink(entry) || archive_entry_filetype(entry) == AE_IFLNK; }

std::size_t depth(const std::string& path) {
  const fs::path p(path);
  return static_cast<std::size_t>(std::distance(p.begin(), p.end()));
}

// A folder name from the kit's name: no separators or control characters, never "." or "..".
std::string folderName(std::string name) {
  for (char& c : name) {
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
  }
  const std::size_t first = name.find_first_not_of(" .");
  name = first == std::string::npos ? std::string() : name.substr(first);
  while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
  if (name.size() > 200) name.resize(200);
  return name;
}

// The path of `path` inside the kit's folder `root`, or nothing when it lies elsewhere.
std::optional<std::string> insideKit(const std::string& path, const std::string& root) {
  if (root.empty()) return path;
  if (path.size() > root.size() && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/') {
    return path.substr(root.size() + 1);
  }
  return std::nullopt;
}

// A link inside the kit, unpacked as a copy of the file it leads to (both inside the kit).
struct Copy {
  std::string link;
  std::string file;
};

struct Survey {
  std::string kitRoot;  // folder of drumkit.xml inside the archive ("" = its top)
  std::string kitName;
  bool found = false;
  std::vector<Copy> copies;
};

// Reads every header (and the kit file) without writing anything.
std::string survey(int fd, const ArchiveLimits& limits, Survey& s) {
  std::string error;
  Reader a = openArchive(fd, error);
  if (!a) return "cannot be read as a kit archive (" + error + ")";
  archive_entry* entry = nullptr;
  std::size_t count = 0;
  int64_t total = 0;
  std::size_t bestDepth = 0;
  ArchiveTree tree;
  for (;;) {
    const int r = archive_read_next_header(a.get(), &entry);
    if (r == ARCHIVE_EOF) break;
    if (r < ARCHIVE_WARN) {
      const std::string why = errorOf(a.get());
      return "damaged archive (" + (why.empty() ? std::string("unreadable header") : why) + ")";
    }
    if (++count > limits.entries) return "more than " + std::to_string(limits.entries) + " entries";
    const std::string rel = relativePath(archive_entry_pathname(entry));
    if (std::string why = checkEntry(entry, rel, limits, total); !why.empty()) return why;
    if (rel.empty()) continue;
    std::string refused;
    if (const char* target = archive_entry_hardlink(entry)) {
      refused = tree.addHardlink(rel, relativePath(target));
    } else if (archive_entry_filetype(entry) == AE_IFLNK) {
      refused = tree.addSymlink(rel, archive_entry_symlink(entry));
    } else if (archive_entry_filetype(entry) == AE_IFDIR) {
      refused = tree.addFolder(rel);
    } else {
      refused = tree.addFile(rel, archive_entry_size_is_set(entry) ? archive_entry_size(entry) : 0);
    }
    if (!refused.empty()) return "entry " + rel + ": " + refused;
    if (tree.folderCount() > kMaxArchiveFolders) return "more than " + std::to_string(kMaxArchiveFolders) + " folders";
    const bool isKitFile = fs::path(rel).filename() == "drumkit.xml" && archive_entry_filetype(entry) == AE_IFREG && !isLink(entry);
    if (isKitFile && (!s.found || depth(rel) < bestDepth) &&
        archive_entry_size(entry) <= static_cast<int64_t>(kMaxKitXmlBytes)) {
      std::string xml(static_cast<std::size_t>(archive_entry_size(entry)), '\0');
      const la_ssize_t got = archive_read_data(a.get(), xml.data(), xml.size());
      if (got < 0) return "damaged archive (" + errorOf(a.get()) + ")";
      xml.resize(static_cast<std::size_t>(got));
      HydrogenKit kit;
      std::string ignored;
      s.found = true;
      bestDepth = depth(rel);
      s.kitRoot = fs::path(rel).parent_path().string();
      s.kitName = parseHydrogenKit(xml, kit, ignored) ? kit.name : std::string();
    }
    archive_read_data_skip(a.get());
  }
  if (!s.found) return "no drumkit.xml in the archive";
  // No link is made on disk. One that leads to a regular file inside the kit's folder (the only
  // folder kept) is unpacked as a copy of it, and the copy counts against the limits like any file.
  for (const std::string& link : tree.links()) {
    const ArchiveTree::Resolved led = tree.resolve(link, s.kitRoot);
    if (!led.why.empty()) return "entry " + link + ": " + led.why;
    total += led.bytes;
    if (total > limits.totalBytes) return "more than " + std::to_string(limits.totalBytes) + " bytes in all";
    const auto inKit = insideKit(link, s.kitRoot);
    if (inKit) s.copies.push_back({*inKit, *insideKit(led.file, s.kitRoot)});
  }
  return {};
}

bool writeAll(int fd, const void* data, std::size_t size, int64_t offset) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, bytes, size, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<std::size_t>(n);
    offset += n;
  }
  return true;
}

// Counts what is written against the limits, the headers' claims aside.
struct Written {
  const ArchiveLimits& limits;
  int64_t total = 0;
  std::string add(int64_t bytes) {
    total += bytes;
    return total > limits.totalBytes ? "more than " + std::to_string(limits.totalBytes) + " bytes in all" : std::string();
  }
};

// The folder files are being written into, kept open while entries follow one another there.
class CurrentFolder {
 public:
  explicit CurrentFolder(int kit) : kit_(kit) {}
  // The folder holding `rel` (made when missing), or -1 with errno set.
  int holding(const fs::path& rel) {
    if (!fd_ || rel.parent_path() != path_) {
      path_ = rel.parent_path();
      fd_ = openFolderAt(kit_, path_, true);
    }
    return fd_.get();
  }

 private:
  int kit_;
  fs::path path_;
  UniqueFd fd_;
};

// One regular file of the archive, its data as the archive gives it.
std::string writeEntry(archive* a, archive_entry* entry, CurrentFolder& folder, const std::string& rel, Written& written) {
  const int in = folder.holding(rel);
  UniqueFd file = in < 0 ? UniqueFd() : createFileAt(in, fs::path(rel).filename());
  if (!file) return "cannot write " + rel + " (" + std::strerror(errno) + ")";
  const void* block = nullptr;
  size_t size = 0;
  la_int64_t offset = 0;
  int64_t end = 0;
  int r;
  while ((r = archive_read_data_block(a, &block, &size, &offset)) == ARCHIVE_OK) {
    if (std::string why = written.add(static_cast<int64_t>(size)); !why.empty()) return why;
    if (offset < 0 || offset + static_cast<int64_t>(size) > written.limits.entryBytes) {
      return "entry " + rel + ": more than " + std::to_string(written.limits.entryBytes) + " bytes";
    }
    if (!writeAll(file.get(), block, size, offset)) return "cannot write " + rel + " (" + std::strerror(errno) + ")";
    end = std::max<int64_t>(end, offset + static_cast<int64_t>(size));
  }
  if (r != ARCHIVE_EOF) return "damaged archive (" + rel + ")";
  // A sparse entry may end in a hole.
  const int64_t claimed = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : 0;
  if (claimed > end && ::ftruncate(file.get(), claimed) != 0) return "cannot write " + rel + " (" + std::strerror(errno) + ")";
  if (archive_entry_mtime_is_set(entry)) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, {archive_entry_mtime(entry), archive_entry_mtime_nsec(entry)}};
    ::futimens(file.get(), times);
  }
  return {};
}

// A link's copy of the file it leads to, both already checked to lie inside the kit.
std::string writeCopy(int kit, const Copy& copy, CurrentFolder& folder, Written& written, std::vector<char>& buffer) {
  UniqueFd from = openFileAt(kit, copy.file);
  if (!from) return "cannot read " + copy.file + " for " + copy.link + " (" + std::strerror(errno) + ")";
  const int in = folder.holding(copy.link);
  UniqueFd to = in < 0 ? UniqueFd() : createFileAt(in, fs::path(copy.link).filename());
  if (!to) return "cannot write " + copy.link + " (" + std::strerror(errno) + ")";
  int64_t at = 0;
  for (;;) {
    const ssize_t n = ::read(from.get(), buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return "cannot read " + copy.file + " (" + std::strerror(errno) + ")";
    if (n == 0) return {};
    if (std::string why = written.add(n); !why.empty()) return why;
    if (!writeAll(to.get(), buffer.data(), static_cast<std::size_t>(n), at)) return "cannot write " + copy.link;
    at += n;
  }
}

// Unpacks the kit's folder of the archive into `kit`: folders and regular files as they come,
// then the links' copies. Entries outside the kit's folder are not written: they would not be kept.
std::string extract(int fd, int kit, const Survey& s, const ArchiveLimits& limits) {
  std::string error;
  Reader a = openArchive(fd, error);
  if (!a) return "cannot be read (" + error + ")";
  archive_entry* entry = nullptr;
  std::size_t count = 0;
  int64_t total = 0;
  Written written{limits};
  CurrentFolder folder(kit);
  for (;;) {
    const int r = archive_read_next_header(a.get(), &entry);
    if (r == ARCHIVE_EOF) break;
    if (r < ARCHIVE_WARN) return "damaged archive";
    // Checked again: the file may have changed since it was surveyed.
    if (++count > limits.entries) return "more than " + std::to_string(limits.entries) + " entries";
    const std::string rel = relativePath(archive_entry_pathname(entry));
    if (std::string why = checkEntry(entry, rel, limits, total); !why.empty()) return why;
    const auto inKit = insideKit(rel, s.kitRoot);
    if (rel.empty() || !inKit || isLink(entry)) continue;
    if (archive_entry_filetype(entry) == AE_IFDIR) {
      if (!openFolderAt(kit, *inKit, true)) return "cannot write " + rel + " (" + std::strerror(errno) + ")";
      continue;
    }
    if (std::string why = writeEntry(a.get(), entry, folder, *inKit, written); !why.empty()) return why;
  }
  std::vector<char> buffer(std::size_t{64} << 10);
  for (const Copy& copy : s.copies) {
    if (std::string why = writeCopy(kit, copy, folder, written, buffer); !why.empty()) return why;
  }
  return {};
}

// Moves the unpacked kit into place, never over anything that appeared there meanwhile.
int moveInto(int from, const char* name, const fs::path& dest) {
  if (::renameat2(from, name, AT_FDCWD, dest.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // A filesystem without the flag: the check and the move are two steps there.
  struct stat st {};
  if (::lstat(dest.c_str(), &st) == 0) {
    errno = EEXIST;
    return -1;
  }
  return ::renameat(from, name, AT_FDCWD, dest.c_str());
}

}  // namespace

UnpackResult unpackKitArchive(const std::string& archivePath, const std::string& parent, const ArchiveLimits& limits) {
  UnpackResult result;
  UniqueFd fd(::open(archivePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat st {};
  if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    result.error = archivePath + ": refused: cannot be read as a kit archive (" +
                   (fd ? std::string("not a regular file") : std::string(std::strerror(errno))) + "); nothing was written";
    return result;
  }
  Survey s;
  if (std::string why = survey(fd.get(), limits, s); !why.empty()) {
    result.error = archivePath + ": refused: " + why + "; nothing was written";
    return result;
  }
  std::string name = folderName(s.kitName);
  if (name.empty()) name = folderName(fs::path(s.kitRoot).filename().string());
  if (name.empty()) name = folderName(fs::path(archivePath).stem().string());
  if (name.empty()) name = "kit";
  const fs::path dest = fs::path(parent.empty() ? "." : parent) / name;
  std::error_code ec;
  if (fs::exists(fs::symlink_status(dest, ec))) {
    result.error = dest.string() + " already exists; move it away or write the set elsewhere";
    return result;
  }
  // The temporary folder is ours alone (mode 0700) and holds no link: every step below it is taken
  // from its descriptor without following one. The kit's own folder inside it is made like every
  // other folder of the kit, so it gets the usual mode once moved into place.
  std::string pattern = (fs::path(parent.empty() ? "." : parent) / ".zumbel-kit-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    result.error = fs::path(parent).string() + ": " + std::strerror(errno);
    return result;
  }
  const char* kKitFolder = "kit";
  std::string why;
  {
    UniqueFd temp(::open(pattern.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    UniqueFd kit = temp ? openFolderAt(temp.get(), kKitFolder, true) : UniqueFd();
    if (!kit) {
      why = "cannot use " + pattern + " (" + std::strerror(errno) + ")";
    } else {
      why = extract(fd.get(), kit.get(), s, limits);
    }
    if (why.empty() && moveInto(temp.get(), kKitFolder, dest) != 0) {
      why = "cannot move the kit to " + dest.string() + " (" + std::strerror(errno) + ")";
    }
  }
  fs::remove_all(pattern, ec);
  if (!why.empty()) {
    result.error = archivePath + ": " + why + "; nothing was written";
    return result;
  }
  result.ok = true;
  result.folder = fs::absolute(dest, ec).lexically_normal().string();
  return result;
}

void removeUnpackedKit(const std::string& folder) {
  std::error_code ec;
  fs::remove_all(folder, ec);
}

}  // namespace zumbel::import
