#include "KitArchive.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <utility>
#include <vector>

#include <archive.h>
#include <archive_entry.h>
#include <unistd.h>

#include "HydrogenKit.h"

namespace zumbel::import {

namespace {

namespace fs = std::filesystem;

struct ReadCloser {
  void operator()(archive* a) const { archive_read_free(a); }
};
struct WriteCloser {
  void operator()(archive* a) const { archive_write_free(a); }
};
using Reader = std::unique_ptr<archive, ReadCloser>;
using Writer = std::unique_ptr<archive, WriteCloser>;

Reader openArchive(const std::string& path, std::string& error) {
  Reader a(archive_read_new());
  archive_read_support_format_tar(a.get());
  archive_read_support_filter_gzip(a.get());
  archive_read_support_filter_bzip2(a.get());
  archive_read_support_filter_xz(a.get());
  if (archive_read_open_filename(a.get(), path.c_str(), 64 * 1024) != ARCHIVE_OK) {
    const char* why = archive_error_string(a.get());
    error = why ? why : std::strerror(archive_errno(a.get()));
    return nullptr;
  }
  return a;
}

// An entry's path inside the archive without "./" steps; empty when it may not be unpacked.
std::string relativePath(const char* raw) {
  if (!raw || !*raw) return {};
  std::string path(raw);
  if (path.size() > kMaxArchivePathLength || path.front() == '/') return {};
  const fs::path p = fs::path(path).lexically_normal();
  for (const fs::path& part : p) {
    if (part == "..") return {};
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
    const fs::path resolved = (fs::path(path).parent_path() / target).lexically_normal();
    if (resolved.empty() || *resolved.begin() == "..") {
      return "entry " + shown + ": symbolic link to " + target + ", outside the archive";
    }
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

struct Survey {
  std::string kitRoot;  // folder of drumkit.xml inside the archive ("" = its top)
  std::string kitName;
  bool found = false;
};

// Reads every header (and the kit file) without writing anything.
std::string survey(const std::string& path, const ArchiveLimits& limits, Survey& s) {
  std::string error;
  Reader a = openArchive(path, error);
  if (!a) return "cannot be read as a kit archive (" + error + ")";
  archive_entry* entry = nullptr;
  std::size_t count = 0;
  int64_t total = 0;
  std::size_t bestDepth = 0;
  std::vector<std::pair<std::string, fs::path>> links;  // each symbolic link and where it leads
  for (;;) {
    const int r = archive_read_next_header(a.get(), &entry);
    if (r == ARCHIVE_EOF) break;
    if (r < ARCHIVE_WARN) {
      const char* why = archive_error_string(a.get());
      return std::string("damaged archive (") + (why ? why : "unreadable header") + ")";
    }
    if (++count > limits.entries) return "more than " + std::to_string(limits.entries) + " entries";
    const std::string rel = relativePath(archive_entry_pathname(entry));
    if (std::string why = checkEntry(entry, rel, limits, total); !why.empty()) return why;
    if (archive_entry_filetype(entry) == AE_IFLNK && !archive_entry_hardlink(entry)) {
      links.emplace_back(rel, (fs::path(rel).parent_path() / archive_entry_symlink(entry)).lexically_normal());
    }
    const bool isKitFile = !rel.empty() && fs::path(rel).filename() == "drumkit.xml" &&
                           archive_entry_filetype(entry) == AE_IFREG && !archive_entry_hardlink(entry);
    if (isKitFile && (!s.found || depth(rel) < bestDepth) &&
        archive_entry_size(entry) <= static_cast<int64_t>(kMaxKitXmlBytes)) {
      std::string xml(static_cast<std::size_t>(archive_entry_size(entry)), '\0');
      const la_ssize_t got = archive_read_data(a.get(), xml.data(), xml.size());
      if (got < 0) return "damaged archive (" + std::string(archive_error_string(a.get()) ? archive_error_string(a.get()) : "") + ")";
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
  // Only the kit's folder is kept, so a link must lead inside it, not merely inside the archive.
  for (const auto& [link, target] : links) {
    const fs::path inside = target.lexically_relative(s.kitRoot.empty() ? fs::path(".") : fs::path(s.kitRoot));
    if (!s.kitRoot.empty() && (inside.empty() || *inside.begin() == "..")) {
      return "entry " + link + ": symbolic link to " + target.string() + ", outside the kit's folder";
    }
  }
  return {};
}

std::string extract(const std::string& path, const std::string& into, const ArchiveLimits& limits) {
  std::string error;
  Reader a = openArchive(path, error);
  if (!a) return "cannot be read (" + error + ")";
  Writer w(archive_write_disk_new());
  // Entry paths are made absolute below the temporary folder (whose own path holds no links), so
  // libarchive's refusal of absolute paths cannot be asked for; they were refused before this.
  archive_write_disk_set_options(w.get(), ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                              ARCHIVE_EXTRACT_TIME);
  archive_entry* entry = nullptr;
  std::size_t count = 0;
  int64_t total = 0, written = 0;
  for (;;) {
    const int r = archive_read_next_header(a.get(), &entry);
    if (r == ARCHIVE_EOF) break;
    if (r < ARCHIVE_WARN) return "damaged archive";
    // Checked again: the file may have changed since it was surveyed.
    if (++count > limits.entries) return "more than " + std::to_string(limits.entries) + " entries";
    const std::string rel = relativePath(archive_entry_pathname(entry));
    if (std::string why = checkEntry(entry, rel, limits, total); !why.empty()) return why;
    if (rel.empty()) continue;
    archive_entry_set_pathname(entry, (fs::path(into) / rel).c_str());
    if (const char* target = archive_entry_hardlink(entry)) {
      archive_entry_set_hardlink(entry, (fs::path(into) / relativePath(target)).c_str());
    }
    // Plain permissions only: nothing set-user-id, nothing others may write.
    archive_entry_set_perm(entry, archive_entry_filetype(entry) == AE_IFDIR ? 0755 : 0644);
    if (archive_write_header(w.get(), entry) < ARCHIVE_WARN) {
      const char* why = archive_error_string(w.get());
      return "cannot write " + rel + " (" + (why ? why : "") + ")";
    }
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    int dr;
    while ((dr = archive_read_data_block(a.get(), &block, &size, &offset)) == ARCHIVE_OK) {
      written += static_cast<int64_t>(size);
      if (written > limits.totalBytes) return "more than " + std::to_string(limits.totalBytes) + " bytes in all";
      if (archive_write_data_block(w.get(), block, size, offset) < ARCHIVE_WARN) {
        const char* why = archive_error_string(w.get());
        return "cannot write " + rel + " (" + (why ? why : "") + ")";
      }
    }
    if (dr != ARCHIVE_EOF) return "damaged archive (" + rel + ")";
    if (archive_write_finish_entry(w.get()) < ARCHIVE_WARN) return "cannot write " + rel;
  }
  if (archive_write_close(w.get()) != ARCHIVE_OK) return "cannot finish writing the kit";
  return {};
}

}  // namespace

UnpackResult unpackKitArchive(const std::string& archivePath, const std::string& parent, const ArchiveLimits& limits) {
  UnpackResult result;
  Survey s;
  if (std::string why = survey(archivePath, limits, s); !why.empty()) {
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
  std::string pattern = (fs::path(parent.empty() ? "." : parent) / ".zumbel-kit-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    result.error = fs::path(parent).string() + ": " + std::strerror(errno);
    return result;
  }
  std::error_code canonicalError;
  const fs::path temp = fs::canonical(pattern, canonicalError);
  std::string why = canonicalError ? "cannot use " + pattern + " (" + canonicalError.message() + ")"
                                   : extract(archivePath, temp.string(), limits);
  if (why.empty()) {
    const fs::path root = s.kitRoot.empty() ? temp : temp / s.kitRoot;
    fs::rename(root, dest, ec);
    if (ec) why = "cannot move the kit to " + dest.string() + " (" + ec.message() + ")";
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

}  // namespace zumbel::import
