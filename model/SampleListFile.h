#pragma once
// The ".slist" file: one group's sample paths, so a group can be kept apart from any drum set.
//
//   int32 count | count length-prefixed strings (the archive's string encoding)
//
// No header, no magic number; a count of 0 or less means no entries.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "FileIO.h"
#include "StringList.h"

namespace zumbel {

enum class SampleListError {
  None,
  NotFound,
  AccessDenied,
  DiskFull,
  EndOfFile,  // the file ended before `count` strings were read
  Other,
};

struct SampleListResult {
  SampleListError error = SampleListError::None;
  std::string message;  // what the user is told; empty on success
  bool ok() const { return error == SampleListError::None; }
};

// The entries are read in file order. On a failure `entries` holds those read before it.
SampleListError parseSampleList(std::span<const uint8_t> bytes, StringList& entries);
std::vector<uint8_t> serializeSampleList(const StringList& entries);

// File I/O of the group load and save; their dialogs and the group bookkeeping are the caller's.
SampleListResult LoadSampleList(const std::string& path, StringList& entries);
SampleListResult SaveSampleList(const std::string& path, const StringList& entries);

std::string sampleListErrorText(SampleListError error, const std::string& path);

}  // namespace zumbel
