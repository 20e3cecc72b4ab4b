#pragma once
// Finding a pool sample's file on disk. A set moved to another machine keeps its stored paths,
// so besides the stored path the set's own folder and the folder the user last pointed at are
// tried with the sample's file name. Nothing depends on the folder the program was started from:
// a relative stored path is read from the set's folder.

#include <optional>
#include <string>

namespace zumbel {

// True when `path` names a regular file that can be opened for reading. Nothing is read.
bool CanOpenForReading(const std::string& path);

// `path` from the root: a relative one is taken from the working folder, and "." and ".." are
// left out where that names the same folder. Empty stays empty.
std::string AbsolutePath(const std::string& path);

// Where a stored path points for a set in `setFolder`: a relative one from the set's folder, so a
// set and its samples move together; an absolute one, or any path of a set never saved, as it is.
std::string StoredPathFromSet(const std::string& storedPath, const std::string& setFolder);

// The stored path (as above), or else the set's folder + the sample's file name, whichever opens
// first. An empty folder makes its candidate the bare file name.
std::optional<std::string> FindSampleBesideSet(const std::string& storedPath, const std::string& setFolder);

// As above, then the last located folder + the sample's file name; an empty last located folder
// (nothing located yet) is not tried.
std::optional<std::string> ProbeSamplePath(const std::string& storedPath, const std::string& setFolder,
                                           const std::string& lastLocatedFolder);

}  // namespace zumbel
