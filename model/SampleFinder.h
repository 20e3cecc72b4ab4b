#pragma once
// Looks for sample files by name under folders the user names, for relinking a set whose
// samples were moved.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zumbel {

class SampleFinder {
 public:
  // Walks every folder recursively once, in the order given and in name order inside each, so the
  // same tree always gives the same answer. Linked folders are not entered (no cycles).
  explicit SampleFinder(const std::vector<std::string>& folders);

  // The first file named exactly `fileName`; failing that, the first whose name matches it
  // without regard to case.
  std::optional<std::string> find(const std::string& fileName) const;

 private:
  void walk(const std::string& folder, int depth);
  void add(const std::string& name, const std::string& path);

  std::map<std::string, std::string> exact_;
  std::map<std::string, std::string> folded_;
};

// Lower-cases every letter of a UTF-8 string; bytes that are not UTF-8 stay as they are.
std::string foldCase(const std::string& s);

}  // namespace zumbel
