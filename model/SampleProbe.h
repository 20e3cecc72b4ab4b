#pragma once
// Finding a pool sample's file on disk. A set moved to another machine keeps its stored paths,
// so besides the stored path the set's own folder and the folder the user last pointed at are
// tried with the sample's file name.

#include <optional>
#include <string>

namespace zumbel {

// True when `path` names a regular file that can be opened for reading. Nothing is read.
bool CanOpenForReading(const std::string& path);

// The stored path, or else the set's folder + the sample's file name, whichever opens first. An
// empty folder makes its candidate the bare file name.
std::optional<std::string> FindSampleBesideSet(const std::string& storedPath, const std::string& setFolder);

// As above, then the last located folder + the sample's file name.
std::optional<std::string> ProbeSamplePath(const std::string& storedPath, const std::string& setFolder,
                                           const std::string& lastLocatedFolder);

}  // namespace zumbel
