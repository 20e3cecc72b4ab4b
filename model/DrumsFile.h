#pragma once
// The ".drums" file: the drum set in a binary archive encoding, byte for byte as kits made on
// Windows hold it, so such kits load exactly and save back unchanged.
//
//   int32 header | group names (string list, first object) | one string list per group |
//   layer block (per sound, per layer: group, entry, source, setting[layer]) |
//   thresholds (5 x 4) | extension (per sound: rate, 4 reserved, note-off, looping, pitch bend)
//
// The extension is present exactly when sound 0's format marker is 1; older sets stop before it.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "FileIO.h"
#include "KitbeatDoc.h"

namespace zumbel {

struct FileOutcome {
  FileError error = FileError::None;
  std::string message;  // what the user is told; empty on success
  // A set that opened: what of its extras file was left out, one line each, for the user.
  std::vector<std::string> notices;
  bool ok() const { return error == FileError::None; }
};

// The text shown for a failed load or save of the document at `path`.
std::string documentErrorText(FileError error, bool loading, const std::string& path);

// Reads a file image over `set`. Fields an older file lacks keep the values `set` had. Returns
// FileError::BadFormat for anything malformed; `set` may then be partly overwritten, so callers
// parse into a copy.
FileError parseDrumSet(std::span<const uint8_t> bytes, DrumSetContent& set);

std::vector<uint8_t> serializeDrumSet(const DrumSetContent& set);

}  // namespace zumbel
