#pragma once
// Writes everything the demo ships with into one folder: every sample, the drum set and the song.

#include <string>

namespace zumbel::demo {

// Returns what went wrong, or an empty string when every file was written.
std::string writeDemoFiles(const std::string& folder);

}  // namespace zumbel::demo
