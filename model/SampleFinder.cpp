#include "SampleFinder.h"

#include <clocale>
#include <cwctype>
#include <algorithm>
#include <filesystem>
#include <locale.h>
#include <unistd.h>

#include "TextEncoding.h"

namespace zumbel {

namespace fs = std::filesystem;

namespace {

constexpr int kMaxDepth = 64;

locale_t utf8Locale() {
  static const locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return loc;
}

}  // namespace

std::string foldCase(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  const locale_t loc = utf8Locale();
  std::size_t pos = 0;
  while (pos < s.size()) {
    char32_t cp;
    if (!decodeUtf8(s, pos, cp)) {
      out += s[pos++];
      continue;
    }
    if (cp < 0x80) {
      cp = static_cast<char32_t>(std::tolower(static_cast<int>(cp)));
    } else if (loc != static_cast<locale_t>(nullptr)) {
      cp = static_cast<char32_t>(towlower_l(static_cast<wint_t>(cp), loc));
    }
    appendUtf8(out, cp);
  }
  return out;
}

SampleFinder::SampleFinder(const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) walk(folder, 0);
}

void SampleFinder::add(const std::string& name, const std::string& path) {
  // A file the user may not read is no better than a missing one.
  if (::access(path.c_str(), R_OK) != 0) return;
  exact_.emplace(name, path);
  folded_.emplace(foldCase(name), path);
}

void SampleFinder::walk(const std::string& folder, int depth) {
  if (depth > kMaxDepth) return;
  std::error_code ec;
  fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
  if (ec) return;
  std::vector<fs::directory_entry> entries;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    entries.push_back(*it);
  }
  std::sort(entries.begin(), entries.end(),
            [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });
  std::vector<std::string> subfolders;
  for (const fs::directory_entry& e : entries) {
    std::error_code statError;
    if (e.is_symlink(statError)) {
      if (e.is_regular_file(statError)) add(e.path().filename().string(), fs::absolute(e.path()).lexically_normal().string());
    } else if (e.is_directory(statError)) {
      subfolders.push_back(e.path().string());
    } else if (e.is_regular_file(statError)) {
      add(e.path().filename().string(), fs::absolute(e.path()).lexically_normal().string());
    }
  }
  // Files of a folder come before those of its sub-folders: the nearer match wins.
  for (const std::string& sub : subfolders) walk(sub, depth + 1);
}

std::optional<std::string> SampleFinder::find(const std::string& fileName) const {
  if (auto it = exact_.find(fileName); it != exact_.end()) return it->second;
  if (auto it = folded_.find(foldCase(fileName)); it != folded_.end()) return it->second;
  return std::nullopt;
}

}  // namespace zumbel
