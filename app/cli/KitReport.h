#pragma once
// Describing a drum set or a sample list for people (plain) and for programs (JSON).

#include <ostream>
#include <string_view>

#include "KitbeatDoc.h"
#include "StringList.h"

namespace zumbel {

// Text for a terminal: control characters (C0, DEL, C1) and bytes that are not UTF-8 come out as
// '?', so no name or path in a file can drive the terminal.
struct Printable {
  std::string_view text;
};
std::ostream& operator<<(std::ostream& out, Printable p);
inline Printable printable(std::string_view s) { return Printable{s}; }

void writeKitSummary(std::ostream& out, const CKitbeatDoc& doc);
void writeKitJson(std::ostream& out, const DrumSetContent& set);
void writeSampleListSummary(std::ostream& out, const StringList& entries);
void writeSampleListJson(std::ostream& out, const StringList& entries);

// "group 0 "Kicks", entry 2: C:\Drums\Kick.wav" — how every tool names a pool entry.
void writePoolEntry(std::ostream& out, const CKitbeatDoc& doc, int group, int entry);

}  // namespace zumbel
