#pragma once
// Describing a drum set or a sample list for people (plain) and for programs (JSON).

#include <ostream>
#include <string_view>

#include "KitbeatDoc.h"
#include "Printable.h"
#include "StringList.h"

namespace zumbel {

void writeKitSummary(std::ostream& out, const CKitbeatDoc& doc);
void writeKitJson(std::ostream& out, const DrumSetContent& set, const SetExtras& extras);
void writeSampleListSummary(std::ostream& out, const StringList& entries);
void writeSampleListJson(std::ostream& out, const StringList& entries);

// "group 0 "Kicks", entry 2: C:\Drums\Kick.wav" — how every tool names a pool entry.
void writePoolEntry(std::ostream& out, const CKitbeatDoc& doc, int group, int entry);

}  // namespace zumbel
