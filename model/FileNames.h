#pragma once
// Splitting stored sample paths. Sets made on Windows hold backslash paths and sets made here
// hold slash paths, so both separators count.

#include <string>
#include <string_view>

namespace zumbel {

// The text after the last backslash or slash: a pool sample's display name. A path without
// either is returned whole; a path ending in a separator gives an empty name.
std::string FileNamePart(std::string_view path);
// The same, as a view into `path`.
std::string_view FileNameView(std::string_view path);

// The path without its FileNamePart, keeping the trailing separator; empty when there is none.
std::string FolderPart(std::string_view path);

// The folder of a path on this machine, with its trailing slash; only '/' separates here, since
// a Linux file name may contain a backslash.
std::string LocalFolderPart(std::string_view path);

// A file's name without its extension: the text before the last dot of the name, or the whole
// name when it has no dot ("a.b.slist" gives "a.b").
std::string FileTitle(std::string_view path);

}  // namespace zumbel
