#pragma once
// Relinking the sample pool when a set is opened or its voices are rebuilt: every entry's file is
// looked for again, moved files get their new path and the entries the user gives up on are
// dropped together with every layer use of them.

#include <functional>
#include <string>

#include "KitbeatDoc.h"

namespace zumbel {

// What a resolver returns for a file that was neither found nor located by the user.
inline constexpr const char* kNotLocatedMarker = "psrthgjkwcy";

// Given a stored path, returns the path to use (it may differ) or kNotLocatedMarker. The window
// probes and asks the user; tests and tools supply their own.
using ResolveSampleFn = std::function<std::string(const std::string& storedPath)>;

// One pass over all groups in order and entries in order. Does not mark the set modified.
void RelinkSamplePool(CKitbeatDoc& doc, const ResolveSampleFn& resolve);

}  // namespace zumbel
