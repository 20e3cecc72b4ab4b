#pragma once
// Why a tool cannot use a file, said so that a terminal user can act on it: every message names
// the file and gives the reason, in the system's words where there is one. The window keeps its
// own texts; these are for the command line and the plugin's log.

#include <ostream>
#include <string>
#include <vector>
#include <string_view>

#include "KitbeatDoc.h"

namespace zumbel {

// Why `path` cannot be read ("No such file or directory", "Is a directory", ...); empty when it
// opens as a regular file, so that whatever is wrong lies in its content.
std::string readProblem(const std::string& path);

// Why no file can be written at `path`, as far as can be told before any work is done: a folder,
// a folder to put it in that is missing or read-only, a read-only file. Empty when nothing stands
// in the way. Devices and pipes are written as they are.
std::string writeProblem(const std::string& path);

// When a sample that no probe found is there after all, at its stored path (a relative one from
// the set's folder) or beside the set, but cannot be read (a folder, no permission):
// "PATH: REASON". Empty when it is simply nowhere.
std::string unreadableSample(const std::string& stored, const std::string& setFolder);

// True when both paths name one existing file (the same device and inode), however spelt.
bool sameFile(const std::string& a, const std::string& b);

// Prints "zumbel: COMMAND: PATH: REASON".
void reportFileProblem(std::ostream& err, std::string_view command, std::string_view path, std::string_view reason);

// Opens a drum set for `command`; on failure says which file and why, and returns false. What of
// the set's extras file was ignored is said on `err` as warnings, or handed to `notices` instead.
bool openKit(CKitbeatDoc& doc, const std::string& path, std::string_view command, std::ostream& err,
             std::vector<std::string>* notices = nullptr);

}  // namespace zumbel
