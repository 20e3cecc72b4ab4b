#include "ArchiveTree.h"

#include <utility>

#include "ImportLimits.h"

namespace zumbel::import {

namespace {

constexpr int kTop = 0;

// The components of `path` one by one, empty ones and "." left out.
class Components {
 public:
  explicit Components(std::string_view path) : rest_(path) { advance(); }
  bool done() const { return !has_; }
  std::string_view current() const { return current_; }
  // Whether the current component is the last one.
  bool last() const {
    Components after = *this;
    after.advance();
    return after.done();
  }
  void advance() {
    has_ = false;
    while (!rest_.empty()) {
      const std::size_t slash = rest_.find('/');
      current_ = rest_.substr(0, slash);
      rest_ = slash == std::string_view::npos ? std::string_view() : rest_.substr(slash + 1);
      if (!current_.empty() && current_ != ".") {
        has_ = true;
        return;
      }
    }
  }

 private:
  std::string_view rest_;
  std::string_view current_;
  bool has_ = false;
};

}  // namespace

ArchiveTree::ArchiveTree() { nodes_.emplace_back(); }

std::string ArchiveTree::addFolder(const std::string& path) { return add(path, Kind::kFolder, {}, 0); }

std::string ArchiveTree::addFile(const std::string& path, int64_t bytes) { return add(path, Kind::kFile, {}, bytes); }

std::string ArchiveTree::addSymlink(const std::string& path, const std::string& target) {
  return add(path, Kind::kSymlink, target, 0);
}

std::string ArchiveTree::addHardlink(const std::string& path, const std::string& target) {
  return add(path, Kind::kHardlink, target, 0);
}

std::string ArchiveTree::add(const std::string& path, Kind kind, std::string target, int64_t bytes) {
  int at = kTop;
  for (Components c(path); !c.done(); c.advance()) {
    const auto found = nodes_[static_cast<std::size_t>(at)].children.find(c.current());
    if (found != nodes_[static_cast<std::size_t>(at)].children.end()) {
      const Node& existing = nodes_[static_cast<std::size_t>(found->second)];
      if (!c.last() && existing.kind != Kind::kFolder) return "lies inside a file or a link";
      if (c.last() && (existing.kind != Kind::kFolder || kind != Kind::kFolder)) return "appears twice in the archive";
      at = found->second;
      continue;
    }
    const Kind made = c.last() ? kind : Kind::kFolder;
    if (made == Kind::kFolder) ++folders_;
    Node node;
    node.kind = made;
    node.parent = at;
    node.name = std::string(c.current());
    if (made == kind && c.last()) {
      node.target = std::move(target);
      node.bytes = bytes;
    }
    const int index = static_cast<int>(nodes_.size());
    nodes_[static_cast<std::size_t>(at)].children.emplace(node.name, index);
    nodes_.push_back(std::move(node));
    at = index;
  }
  if (kind == Kind::kSymlink || kind == Kind::kHardlink) linkPaths_.push_back(path);
  return {};
}

int ArchiveTree::find(std::string_view path) const {
  int at = kTop;
  for (Components c(path); !c.done(); c.advance()) {
    const Node& folder = nodes_[static_cast<std::size_t>(at)];
    const auto found = folder.children.find(c.current());
    if (found == folder.children.end()) return -1;
    at = found->second;
  }
  return at;
}

// The node `text` leads to from the folder `from`, each link on the way followed, the last one
// too; -1 with `fail` set when it leads nowhere the archive holds.
int ArchiveTree::walk(int from, std::string_view text, int& hops, int depth, Failure& fail) {
  if (!text.empty() && text.front() == '/') {
    fail = {Why::kOutside, from};
    return -1;
  }
  int at = from;
  for (Components c(text); !c.done(); c.advance()) {
    int next;
    if (c.current() == "..") {
      if (at == kTop) {
        fail = {Why::kOutside, at};
        return -1;
      }
      next = nodes_[static_cast<std::size_t>(at)].parent;
    } else {
      const Node& folder = nodes_[static_cast<std::size_t>(at)];
      const auto found = folder.children.find(c.current());
      if (found == folder.children.end()) {
        fail = {Why::kNowhere, at};
        return -1;
      }
      next = land(found->second, hops, depth, fail);
      if (next < 0) return -1;
    }
    if (c.last()) return next;
    if (nodes_[static_cast<std::size_t>(next)].kind != Kind::kFolder) {
      fail = {Why::kNowhere, at};  // a file taken for a folder
      return -1;
    }
    at = next;
  }
  return at;
}

// What `node` is once its links are followed: a file or a folder; -1 with `fail` set.
int ArchiveTree::land(int index, int& hops, int depth, Failure& fail) {
  Node& node = nodes_[static_cast<std::size_t>(index)];
  if (node.kind == Kind::kFile || node.kind == Kind::kFolder) return index;
  if (node.seen == Node::Seen::kBusy || depth >= kMaxArchiveLinkHops) {
    fail = {Why::kLoop, node.parent};
    return -1;
  }
  if (node.seen == Node::Seen::kNo) {
    node.seen = Node::Seen::kBusy;
    int own = 1;
    const int led = node.kind == Kind::kSymlink ? walk(node.parent, node.target, own, depth + 1, fail)
                                                : hardTarget(index, own, depth + 1, fail);
    Node& again = nodes_[static_cast<std::size_t>(index)];
    again.seen = led < 0 ? Node::Seen::kNo : Node::Seen::kYes;
    if (led < 0) return -1;
    again.leadsTo = led;
    again.hops = own;
  }
  const Node& done = nodes_[static_cast<std::size_t>(index)];
  hops += done.hops;
  if (hops > kMaxArchiveLinkHops) {
    fail = {Why::kLoop, done.parent};
    return -1;
  }
  return done.leadsTo;
}

// A hard link is another name for the entry it names: the folders on the way there are followed,
// the entry itself is not. A hard link to a symbolic link is that link again, so its text is
// followed from where the hard link lies, as the kernel would.
int ArchiveTree::hardTarget(int index, int& hops, int depth, Failure& fail) {
  const std::string target = nodes_[static_cast<std::size_t>(index)].target;
  const std::size_t slash = target.rfind('/');
  int folder = kTop;
  if (slash != std::string::npos) {
    folder = walk(kTop, std::string_view(target).substr(0, slash), hops, depth, fail);
    if (folder < 0) return -1;
    if (nodes_[static_cast<std::size_t>(folder)].kind != Kind::kFolder) {
      fail = {Why::kNowhere, kTop};
      return -1;
    }
  }
  const std::string_view name = slash == std::string::npos ? std::string_view(target) : std::string_view(target).substr(slash + 1);
  const Node& in = nodes_[static_cast<std::size_t>(folder)];
  const auto found = in.children.find(name);
  if (found == in.children.end()) {
    fail = {Why::kNowhere, folder};
    return -1;
  }
  const Node& named = nodes_[static_cast<std::size_t>(found->second)];
  if (named.kind == Kind::kSymlink) {
    const std::string text = named.target;
    return walk(nodes_[static_cast<std::size_t>(index)].parent, text, hops, depth, fail);
  }
  return land(found->second, hops, depth, fail);
}

bool ArchiveTree::inside(int node, int folder) const {
  for (int at = node; at != kTop; at = nodes_[static_cast<std::size_t>(at)].parent) {
    if (at == folder) return true;
  }
  return folder == kTop;
}

std::string ArchiveTree::pathOf(int node) const {
  std::string path;
  for (int at = node; at != kTop; at = nodes_[static_cast<std::size_t>(at)].parent) {
    path = nodes_[static_cast<std::size_t>(at)].name + (path.empty() ? "" : "/" + path);
  }
  return path;
}

ArchiveTree::Resolved ArchiveTree::resolve(const std::string& path, const std::string& kitRoot) {
  Resolved r;
  const int link = find(path);
  const int kit = kitRoot.empty() ? kTop : find(kitRoot);
  if (link < 0 || kit < 0) {
    r.why = "not in the archive";
    return r;
  }
  const Node& node = nodes_[static_cast<std::size_t>(link)];
  const std::string said = (node.kind == Kind::kHardlink ? "hard link to " : "symbolic link to ") + node.target;
  int hops = 0;
  Failure fail;
  const int led = land(link, hops, 0, fail);
  if (led < 0) {
    switch (fail.why) {
      case Why::kOutside: r.why = said + ", outside the archive"; break;
      case Why::kLoop: r.why = said + ", a loop of links (or more than " + std::to_string(kMaxArchiveLinkHops) + " in a row)"; break;
      default:
        r.why = said + (inside(fail.at, kit) ? ", which is not in the archive" : ", outside the kit's folder");
        break;
    }
    return r;
  }
  const Node& reached = nodes_[static_cast<std::size_t>(led)];
  if (reached.kind == Kind::kFolder) {
    r.why = said + ", a folder (only links to files are unpacked, as copies)";
  } else if (!inside(led, kit)) {
    r.why = said + ", outside the kit's folder";
  } else {
    r.file = pathOf(led);
    r.bytes = reached.bytes;
  }
  return r;
}

}  // namespace zumbel::import
