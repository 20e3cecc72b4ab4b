#include "FileNames.h"

namespace zumbel {

namespace {

std::size_t nameStart(std::string_view path) {
  const std::size_t sep = path.find_last_of("\\/");
  return sep == std::string_view::npos ? 0 : sep + 1;
}

}  // namespace

std::string_view FileNameView(std::string_view path) { return path.substr(nameStart(path)); }

std::string FileNamePart(std::string_view path) { return std::string(FileNameView(path)); }

std::string FolderPart(std::string_view path) { return std::string(path.substr(0, nameStart(path))); }

std::string LocalFolderPart(std::string_view path) {
  const std::size_t sep = path.rfind('/');
  return std::string(sep == std::string_view::npos ? std::string_view() : path.substr(0, sep + 1));
}

std::string FileTitle(std::string_view path) {
  const std::string_view name = path.substr(nameStart(path));
  const std::size_t dot = name.rfind('.');
  return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

}  // namespace zumbel
