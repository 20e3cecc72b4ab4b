#include "SampleListFile.h"

#include <algorithm>

#include "ArchiveString.h"
#include "ByteStream.h"

namespace zumbel {

namespace {

SampleListError fromFileError(FileError e) {
  switch (e) {
    case FileError::None:
      return SampleListError::None;
    case FileError::NotFound:
      return SampleListError::NotFound;
    case FileError::AccessDenied:
      return SampleListError::AccessDenied;
    case FileError::DiskFull:
      return SampleListError::DiskFull;
    case FileError::BadFormat:
      return SampleListError::EndOfFile;
    case FileError::Other:
      break;
  }
  return SampleListError::Other;
}

SampleListResult result(SampleListError error, const std::string& path) {
  return SampleListResult{error, sampleListErrorText(error, path)};
}

}  // namespace

SampleListError parseSampleList(std::span<const uint8_t> bytes, StringList& entries) {
  entries.clear();
  ByteReader in(bytes);
  int32_t count;
  if (!in.i32(count)) return SampleListError::EndOfFile;
  // Each path takes at least one byte, so the file bounds what is worth reserving.
  if (count > 0) entries.reserve(std::min<std::size_t>(static_cast<std::size_t>(count), in.remaining()));
  for (int32_t i = 0; i < count; ++i) {
    if (!entries.pushBackWith([&](std::string& text) { return appendArchiveString(in, text); })) {
      return SampleListError::EndOfFile;
    }
  }
  return SampleListError::None;
}

std::vector<uint8_t> serializeSampleList(const StringList& entries) {
  ByteWriter out;
  out.i32(static_cast<int32_t>(entries.size()));
  for (std::string_view s : entries) writeArchiveString(out, s);
  return std::move(out.data());
}

SampleListResult LoadSampleList(const std::string& path, StringList& entries) {
  entries.clear();
  std::vector<uint8_t> bytes;
  if (FileError e = readWholeFile(path, bytes); e != FileError::None) return result(fromFileError(e), path);
  return result(parseSampleList(bytes, entries), path);
}

SampleListResult SaveSampleList(const std::string& path, const StringList& entries) {
  return result(fromFileError(writeFileAtomically(path, serializeSampleList(entries))), path);
}

std::string sampleListErrorText(SampleListError error, const std::string& path) {
  switch (error) {
    case SampleListError::None:
      return {};
    case SampleListError::NotFound:
      return path + " was not found.";
    case SampleListError::AccessDenied:
      return "Access to " + path + " was denied.";
    case SampleListError::DiskFull:
      return "Disk full while accessing " + path + ".";
    case SampleListError::EndOfFile:
      return "An attempt was made to access " + path + " past its end.";
    case SampleListError::Other:
      break;
  }
  return "An unknown error occurred while accessing " + path + ".";
}

}  // namespace zumbel
