#pragma once
// Hand-made Hydrogen kits and kit archives for the importer's tests: kit files written as text,
// samples written with libsndfile, archives with libarchive's own writer.

#include <archive.h>
#include <archive_entry.h>
#include <sndfile.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace zumbel::test {

// A sound file of `frames` frames of a steady tone in any container libsndfile writes.
inline void writeSample(const std::string& path, int rate, int frames, int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 1;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << path << ": " << sf_strerror(nullptr);
  std::vector<short> tone(static_cast<std::size_t>(frames));
  for (std::size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<short>(8000 * std::sin(0.05 * static_cast<double>(i)));
  ASSERT_EQ(sf_writef_short(f, tone.data(), frames), frames);
  sf_close(f);
}

inline std::string kitXml(const std::string& name, const std::string& instruments, bool withNamespace = true) {
  return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<drumkit_info") +
         (withNamespace ? " xmlns=\"http://www.hydrogen-music.org/drumkit\"" : "") + ">\n <name>" + name +
         "</name>\n <instrumentList>\n" + instruments + " </instrumentList>\n</drumkit_info>\n";
}

struct ArchiveEntry {
  enum Kind { kFile, kDir, kSymlink, kHardlink, kDevice };
  ArchiveEntry(std::string p, std::string c = {}, Kind k = kFile, std::string t = {})
      : path(std::move(p)), content(std::move(c)), kind(k), target(std::move(t)) {}
  std::string path;
  std::string content;  // a regular file's bytes
  Kind kind;
  std::string target;   // of a link
};

// A tar archive, compressed by `filter` (ARCHIVE_FILTER_NONE, _GZIP, _BZIP2, _XZ).
inline void writeArchive(const std::string& path, const std::vector<ArchiveEntry>& entries, int filter = ARCHIVE_FILTER_GZIP) {
  archive* a = archive_write_new();
  archive_write_set_format_pax_restricted(a);
  archive_write_add_filter(a, filter);
  ASSERT_EQ(archive_write_open_filename(a, path.c_str()), ARCHIVE_OK);
  for (const ArchiveEntry& e : entries) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, e.path.c_str());
    archive_entry_set_perm(entry, 0644);
    switch (e.kind) {
      case ArchiveEntry::kFile:
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_size(entry, static_cast<la_int64_t>(e.content.size()));
        break;
      case ArchiveEntry::kDir: archive_entry_set_filetype(entry, AE_IFDIR); break;
      case ArchiveEntry::kSymlink:
        archive_entry_set_filetype(entry, AE_IFLNK);
        archive_entry_set_symlink(entry, e.target.c_str());
        break;
      case ArchiveEntry::kHardlink:
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_hardlink(entry, e.target.c_str());
        break;
      case ArchiveEntry::kDevice:
        archive_entry_set_filetype(entry, AE_IFCHR);
        archive_entry_set_rdev(entry, 0x0103);
        break;
    }
    ASSERT_EQ(archive_write_header(a, entry), ARCHIVE_OK) << e.path;
    if (e.kind == ArchiveEntry::kFile) archive_write_data(a, e.content.data(), e.content.size());
    archive_entry_free(entry);
  }
  archive_write_close(a);
  archive_write_free(a);
}

}  // namespace zumbel::test
