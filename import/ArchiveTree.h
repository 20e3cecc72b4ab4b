#pragma once
// The entries of a kit archive as a tree of folders, files and links, so that a link is judged by
// where it leads, followed the way a filesystem follows it through the archive's own entries (a
// link inside a link's path is followed too, ".." after a link goes up from where the link led),
// never by its text. Nothing here touches the disk.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace zumbel::import {

class ArchiveTree {
 public:
  ArchiveTree();

  // Each adds the entry at `path` (relative, normalised, not empty; the folders above it are
  // implied) and returns why it cannot be added, or nothing: a path inside a file or a link, or
  // one given twice (a folder may be named again). Symbolic links keep their text; a hard link
  // names another entry by its path in the archive.
  std::string addFolder(const std::string& path);
  std::string addFile(const std::string& path, int64_t bytes);
  std::string addSymlink(const std::string& path, const std::string& target);
  std::string addHardlink(const std::string& path, const std::string& target);

  // Folders named or implied so far, the top included.
  std::size_t folderCount() const { return folders_; }
  // Every link, in the order added.
  const std::vector<std::string>& links() const { return linkPaths_; }

  struct Resolved {
    std::string file;   // the archive path of the regular file the link leads to
    int64_t bytes = 0;  // its size
    std::string why;    // when it leads to no file inside the kit: why, after "entry LINK: "
  };
  // Where the link at `path` leads, every link on the way followed (at most kMaxArchiveLinkHops):
  // a regular file inside the folder `kitRoot` ("" for the top), or why not.
  Resolved resolve(const std::string& path, const std::string& kitRoot);

 private:
  enum class Kind { kFolder, kFile, kSymlink, kHardlink };
  enum class Why { kNone, kOutside, kNowhere, kLoop, kFolder };
  struct Node {
    Kind kind = Kind::kFolder;
    int parent = 0;
    std::string name;
    std::map<std::string, int, std::less<>> children;
    std::string target;  // a link's
    int64_t bytes = 0;   // a file's
    // A link once followed: where it led, and through how many links, itself included.
    enum class Seen { kNo, kBusy, kYes } seen = Seen::kNo;
    int leadsTo = -1;
    int hops = 0;
  };
  struct Failure {
    Why why = Why::kNone;
    int at = 0;  // the folder the walk had reached
  };

  std::string add(const std::string& path, Kind kind, std::string target, int64_t bytes);
  int find(std::string_view path) const;
  int walk(int from, std::string_view text, int& hops, int depth, Failure& fail);
  int land(int node, int& hops, int depth, Failure& fail);
  int hardTarget(int node, int& hops, int depth, Failure& fail);
  bool inside(int node, int folder) const;
  std::string pathOf(int node) const;

  std::vector<Node> nodes_;
  std::vector<std::string> linkPaths_;
  std::size_t folders_ = 1;
};

}  // namespace zumbel::import
