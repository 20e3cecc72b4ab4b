#include "DesktopLoader.h"

#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace zumbel {

namespace {

constexpr const char* kModuleName = "zumbel-desktop.so";
constexpr const char* kEntryPoint = "zumbel_desktop_main";

// Where the module may be, relative to the running program: beside it in a build folder, or in
// the library folder of the prefix it is installed in.
std::string findModule() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return kModuleName;
  const std::filesystem::path dir = self.parent_path();
  for (const std::filesystem::path& candidate : {dir / kModuleName, dir / ZUMBEL_DESKTOP_MODULE_FROM_BINDIR}) {
    if (std::filesystem::is_regular_file(candidate, ec)) return candidate.lexically_normal();
  }
  return (dir / ZUMBEL_DESKTOP_MODULE_FROM_BINDIR).lexically_normal();
}

}  // namespace

int runDesktopModule(int argc, char** argv) {
  const std::string path = findModule();
  // Never closed: the window's code runs until the program ends.
  void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    std::fprintf(stderr, "zumbel: the window cannot start: %s\n", ::dlerror());
    return 2;
  }
  using Entry = int (*)(int, char**);
  const auto entry = reinterpret_cast<Entry>(::dlsym(module, kEntryPoint));
  if (!entry) {
    std::fprintf(stderr, "zumbel: the window cannot start: %s has no %s\n", path.c_str(), kEntryPoint);
    return 2;
  }
  return entry(argc, argv);
}

}  // namespace zumbel
