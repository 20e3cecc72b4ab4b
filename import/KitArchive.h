#pragma once
// Unpacking a Hydrogen kit archive (.h2drumkit: a tar file, gzip-, bzip2- or xz-compressed or
// not). Every entry is checked before anything is written: an archive with an absolute path, a
// ".." component, a device or pipe, or more entries or bytes than the limits allow is refused
// whole, and nothing is left on disk. No link is ever made: a link (symbolic or hard) that leads,
// followed through the archive's own entries as a filesystem would, to a regular file inside the
// kit's folder is unpacked as a copy of that file, counted against the limits; any other link
// (to a folder, outside the kit, to nothing, round in a loop) refuses the archive. What passes is
// unpacked into a temporary folder and moved into place only once all of it is there; every
// folder it makes, the kit's own included, gets mode 0777 less the umask, as mkdir gives.

#include <cstddef>
#include <cstdint>
#include <string>

#include "ImportLimits.h"

namespace zumbel::import {

struct ArchiveLimits {
  std::size_t entries = kMaxArchiveEntries;
  int64_t entryBytes = kMaxArchiveEntryBytes;
  int64_t totalBytes = kMaxArchiveTotalBytes;
};

struct UnpackResult {
  bool ok = false;
  std::string error;   // why the archive was refused or could not be unpacked
  std::string folder;  // the kit's folder, holding its drumkit.xml
};

// Unpacks `archive` into a new folder inside `parent`, named after the kit (its <name>, else the
// archive's top folder). An existing folder of that name is never written into.
UnpackResult unpackKitArchive(const std::string& archive, const std::string& parent, const ArchiveLimits& limits = {});

// Removes a kit folder unpackKitArchive made, when what it was unpacked for failed: a failed
// import leaves nothing behind, and the next try does not find the name taken.
void removeUnpackedKit(const std::string& folder);

}  // namespace zumbel::import
