#include "DrumsFile.h"

#include <climits>
#include <cstdint>
#include <memory>

#include "ArchiveString.h"
#include "ByteStream.h"
#include "ExtrasFile.h"
#include "FileNames.h"
#include "PoolPaths.h"
#include "SampleProbe.h"

namespace zumbel {

namespace {

constexpr uint16_t kNewClassTag = 0xFFFF;
constexpr uint16_t kClassTag = 0x8000;
constexpr uint16_t kBigObjectTag = 0x7FFF;
constexpr uint32_t kBigClassTag = 0x80000000;
constexpr uint16_t kCountEscape = 0xFFFF;
constexpr char kListClassName[] = "CStringArray";
constexpr uint16_t kListClassNameLength = sizeof kListClassName - 1;
constexpr uint16_t kListSchema = 0;

// The archive numbers classes and objects as they appear, from 1; 0 is the null object. The
// program never writes one list twice, so a reference back to an earlier list (which would make
// two groups share one list) is refused like any other malformed object.
class ObjectTable {
 public:
  template <class List>
  FileError readList(ByteReader& in, List& out, std::size_t maxCount) {
    uint16_t tag;
    if (!in.u16(tag)) return FileError::BadFormat;
    if (tag == kNewClassTag) {
      if (FileError e = readClassDescription(in); e != FileError::None) return e;
    } else {
      uint32_t full = tag;
      if (tag == kBigObjectTag && !in.u32(full)) return FileError::BadFormat;
      const bool isClass = tag == kBigObjectTag ? (full & kBigClassTag) != 0 : (tag & kClassTag) != 0;
      const uint32_t index = tag == kBigObjectTag ? (full & ~kBigClassTag) : (tag & ~kClassTag);
      if (!isClass || index == 0 || index > isClass_.size() || !isClass_[index - 1]) {
        return FileError::BadFormat;
      }
    }
    if (FileError e = readElements(in, out, maxCount); e != FileError::None) return e;
    isClass_.push_back(false);
    return FileError::None;
  }

 private:
  FileError readClassDescription(ByteReader& in) {
    uint16_t schema, length;
    const uint8_t* name;
    if (!in.u16(schema) || !in.u16(length) || !in.bytes(length, name)) return FileError::BadFormat;
    if (std::string_view(reinterpret_cast<const char*>(name), length) != kListClassName ||
        schema != kListSchema) {
      return FileError::BadFormat;
    }
    isClass_.push_back(true);
    return FileError::None;
  }

  static bool readElement(ByteReader& in, std::vector<std::string>& names) {
    return appendArchiveString(in, names.emplace_back());
  }
  static bool readElement(ByteReader& in, StringList& list) {
    return list.pushBackWith([&](std::string& text) { return appendArchiveString(in, text); });
  }

  template <class List>
  static FileError readElements(ByteReader& in, List& out, std::size_t maxCount) {
    uint16_t shortCount;
    if (!in.u16(shortCount)) return FileError::BadFormat;
    uint32_t count = shortCount;
    if (shortCount == kCountEscape && !in.u32(count)) return FileError::BadFormat;
    // Every element takes at least one byte, so a count the file cannot hold fails before
    // anything is allocated for it.
    if (count > maxCount || count > in.remaining()) return FileError::BadFormat;
    out.clear();
    out.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
      if (!readElement(in, out)) return FileError::BadFormat;
    }
    return FileError::None;
  }

  std::vector<bool> isClass_;  // entry i describes object i + 1
};

void writeCount(ByteWriter& out, std::size_t count) {
  if (count < kCountEscape) {
    out.u16(static_cast<uint16_t>(count));
  } else {
    out.u16(kCountEscape);
    out.u32(static_cast<uint32_t>(count));
  }
}

template <class List>
void writeList(ByteWriter& out, const List& list, bool first) {
  if (first) {
    out.u16(kNewClassTag);
    out.u16(kListSchema);
    out.u16(kListClassNameLength);
    out.bytes(kListClassName, kListClassNameLength);
  } else {
    out.u16(kClassTag | 1);
  }
  writeCount(out, list.size());
  for (std::string_view s : list) writeArchiveString(out, s);
}

bool readInts(ByteReader& in, RelaxedInt* dest, int count) {
  for (int i = 0; i < count; ++i) {
    int32_t v = 0;
    if (!in.i32(v)) return false;
    dest[i] = v;
  }
  return true;
}

}  // namespace

FileError parseDrumSet(std::span<const uint8_t> bytes, DrumSetContent& set) {
  ByteReader in(bytes);
  ObjectTable objects;
  if (!in.i32(set.headerValue)) return FileError::BadFormat;
  const std::size_t unlimited = SIZE_MAX;
  if (FileError e = objects.readList(in, set.groupNames, kMaxGroups); e != FileError::None) return e;
  for (std::size_t g = 0; g < set.groupNames.size(); ++g) {
    if (FileError e = objects.readList(in, set.groupLists[g], unlimited); e != FileError::None) return e;
  }
  // Slots past the group count are not in use; a loaded set leaves none of its old lists there.
  for (std::size_t g = set.groupNames.size(); g < set.groupLists.size(); ++g) set.groupLists[g].clear();

  for (Sound& s : set.sounds) {
    for (int j = 0; j < kLayerCount; ++j) {
      int32_t group = 0, entry = 0, source = 0, setting = 0;
      if (!in.i32(group) || !in.i32(entry) || !in.i32(source) || !in.i32(setting)) return FileError::BadFormat;
      s.refs[j] = SampleRef{group, entry};
      s.sources[j] = source;
      s.settings[j] = setting;
    }
  }
  for (ThresholdRow& row : set.thresholds) {
    if (!readInts(in, row.data(), kThresholdsPerScheme)) return FileError::BadFormat;
  }

  if (set.sounds[0].settings[kFormatMarker] != 1) {
    set.sounds[0].settings[kFormatMarker] = 1;
    return FileError::None;
  }
  for (Sound& s : set.sounds) {
    if (!readInts(in, &s.settings[kPlaybackRate], 5) || !readInts(in, &s.noteOffEnabled, 1) ||
        !readInts(in, &s.looping, 1) || !readInts(in, &s.externalPitchBend, 1)) {
      return FileError::BadFormat;
    }
  }
  return FileError::None;
}

std::vector<uint8_t> serializeDrumSet(const DrumSetContent& set) {
  ByteWriter out;
  out.data().reserve(4 + 20 + kLayerBlockBytes + kThresholdBlockBytes + kExtensionBlockBytes + 4096);
  out.i32(set.headerValue);
  writeList(out, set.groupNames, true);
  for (std::size_t g = 0; g < set.groupNames.size() && g < set.groupLists.size(); ++g) {
    writeList(out, set.groupLists[g], false);
  }
  for (const Sound& s : set.sounds) {
    for (int j = 0; j < kLayerCount; ++j) {
      out.i32(s.refs[j].group);
      out.i32(s.refs[j].entry);
      out.i32(s.sources[j]);
      out.i32(s.settings[j]);
    }
  }
  for (const ThresholdRow& row : set.thresholds) {
    for (const RelaxedInt& t : row) out.i32(t);
  }
  for (const Sound& s : set.sounds) {
    for (int i = kPlaybackRate; i < kSoundSettingCount; ++i) out.i32(s.settings[i]);
    out.i32(s.noteOffEnabled);
    out.i32(s.looping);
    out.i32(s.externalPitchBend);
  }
  return std::move(out.data());
}

std::string documentErrorText(FileError error, bool loading, const std::string& path) {
  switch (error) {
    case FileError::None:
      return {};
    case FileError::BadFormat:
      return "Unexpected file format.";
    case FileError::NotFound:
      return path + "\nCannot find this file.\nPlease verify that the correct path and file name are given.";
    case FileError::AccessDenied:
      return loading ? "Unable to read from " + path + ", it is opened by someone else."
                     : "Unable to write to " + path + ", it is read-only or opened by someone else.";
    case FileError::DiskFull:
      return "Destination disk drive is full.";
    case FileError::Other:
      break;
  }
  return loading ? "Failed to open document." : "Failed to save document.";
}

FileOutcome CKitbeatDoc::OnOpenDocument(const std::string& path) {
  std::vector<uint8_t> bytes;
  FileError error = readWholeFile(path, bytes);
  if (error == FileError::None) {
    // Parse into a separate set: a broken file leaves the current one untouched. An older file
    // lacks the per-sound extension, which then keeps the current set's values.
    auto staged = std::make_unique<DrumSetContent>();
    staged->sounds = c_.sounds;
    error = parseDrumSet(bytes, *staged);
    if (error == FileError::None) {
      bytes = {};
      // The extras never stop a set from opening: what of them cannot be used is only reported.
      ExtrasRead extras = ReadExtrasFile(path);
      replaceContent(std::move(*staged));
      extras_ = std::move(extras.extras);
      // Kept from the root, so the set's folder means the same wherever the program is later.
      SetPathName(AbsolutePath(path));
      SetModifiedFlag(false);
      FileOutcome opened;
      opened.notices = std::move(extras.ignored);
      return opened;
    }
  }
  return FileOutcome{error, documentErrorText(error, true, path), {}};
}

FileOutcome CKitbeatDoc::OnSaveDocument(const std::string& path) {
  const std::string target = AbsolutePath(path);
  // Saved into another folder, the set must still find what it found beside itself.
  const std::vector<PoolPathChange> moved = PathsForNewFolder(c_, folder(), LocalFolderPart(target));
  std::unique_ptr<DrumSetContent> before;  // the set as it was, for a save that fails
  if (!moved.empty()) {
    before = std::make_unique<DrumSetContent>(c_);
    ApplyPathChanges(*this, moved);
  }
  // The set and its extras are saved as one; a set with no extras leaves no stale file beside it.
  const FileError error = writeFilesAtomically({{target, serializeDrumSet(c_), false, true}, ExtrasFileWrite(target, extras_)});
  if (error != FileError::None) {
    if (before) replaceContent(std::move(*before));
    return FileOutcome{error, documentErrorText(error, false, path), {}};
  }
  SetPathName(target);
  SetModifiedFlag(false);
  return {};
}

}  // namespace zumbel
