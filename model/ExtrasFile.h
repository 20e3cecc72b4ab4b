#pragma once
// The set's extras file: JSON beside the ".drums" file, same name, extension ".zumbel". It is
// read as hostile input: a damaged or foreign file never stops the set from opening, every value
// that is not what it should be is left out and said so, and keys this version does not know are
// kept for the next save.

#include <string>
#include <vector>

#include "FileIO.h"
#include "SetExtras.h"

namespace zumbel {

inline constexpr const char* kExtrasExtension = ".zumbel";

// "Kit.drums" -> "Kit.zumbel"; a set without the ".drums" extension gets ".zumbel" added.
std::string ExtrasPathFor(const std::string& setPath);

struct ExtrasRead {
  SetExtras extras;
  bool present = false;          // a file was there (whether or not it could be used)
  std::vector<std::string> ignored;  // one line per thing left out, for the user
};

// Reads the extras file of the set at `setPath`. No file: defaults, nothing ignored.
ExtrasRead ReadExtrasFile(const std::string& setPath);
// The same from the file's bytes; `name` is only used in the lines of `ignored`.
ExtrasRead ParseExtras(const std::string& text, const std::string& name);

// The file's text for `extras`: the kept document with every key this version knows replaced.
std::string SerializeExtras(const SetExtras& extras);
// Whether saving `extras` needs a file at all (an extra is set, or kept keys must survive).
bool ExtrasNeedFile(const SetExtras& extras);
// What saving the extras of the set at `setPath` writes: the file, or its removal when none is
// needed (writeFilesAtomically).
FileWrite ExtrasFileWrite(const std::string& setPath, const SetExtras& extras);

// A level as people write it: "-6", "+3.5", "0", "off". Hundredths of a dB, or false when the
// text is no level in range.
bool ParseLevelText(const std::string& text, int32_t& level);
bool ParseGainText(const std::string& text, int32_t& gain);
// Hundredths of a dB as a plain decimal number: "-6", "-3.5", "0.25".
std::string DbNumberText(int32_t centi);
// "-6 dB", "+3 dB", "off", "0 dB".
std::string LevelText(int32_t level);

}  // namespace zumbel
