#include "ModuleTally.h"

#include <elf.h>
#include <link.h>

#include <cstring>
#include <fstream>
#include <vector>

namespace zumbel::bench {

namespace {

constexpr const char* kTallySymbol = "zumbel_engine_tally";

// The loaded object whose segments hold an address: its file and its load bias.
struct Loaded {
  const void* address = nullptr;
  std::string file;
  ElfW(Addr) bias = 0;
  bool found = false;
};

int findLoaded(dl_phdr_info* info, std::size_t, void* data) {
  auto* want = static_cast<Loaded*>(data);
  const auto address = reinterpret_cast<ElfW(Addr)>(want->address);
  for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    const ElfW(Addr) start = info->dlpi_addr + segment.p_vaddr;
    if (segment.p_type == PT_LOAD && address >= start && address - start < segment.p_memsz) {
      want->file = info->dlpi_name != nullptr ? info->dlpi_name : "";
      want->bias = info->dlpi_addr;
      want->found = true;
      return 1;
    }
  }
  return 0;
}

// `count` records of T at `offset`, all inside the file.
template <typename T>
bool readAt(std::ifstream& in, uint64_t fileSize, uint64_t offset, uint64_t count, std::vector<T>& out) {
  if (count == 0 || offset > fileSize || count > (fileSize - offset) / sizeof(T)) return false;
  out.resize(count);
  in.seekg(static_cast<std::streamoff>(offset));
  return static_cast<bool>(in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(count * sizeof(T))));
}

}  // namespace

const EngineTally* findModuleTally(const void* addressInModule, std::string& error) {
  Loaded loaded;
  loaded.address = addressInModule;
  dl_iterate_phdr(findLoaded, &loaded);
  if (!loaded.found || loaded.file.empty()) {
    error = "no loaded module holds that address";
    return nullptr;
  }
  std::ifstream in(loaded.file, std::ios::binary | std::ios::ate);
  if (!in) {
    error = loaded.file + ": cannot be read";
    return nullptr;
  }
  const auto fileSize = static_cast<uint64_t>(in.tellg());
  std::vector<Elf64_Ehdr> header;
  if (!readAt(in, fileSize, 0, 1, header) || std::memcmp(header[0].e_ident, ELFMAG, SELFMAG) != 0 ||
      header[0].e_ident[EI_CLASS] != ELFCLASS64 || header[0].e_shentsize != sizeof(Elf64_Shdr)) {
    error = loaded.file + ": not a 64-bit ELF file";
    return nullptr;
  }
  std::vector<Elf64_Shdr> sections;
  if (!readAt(in, fileSize, header[0].e_shoff, header[0].e_shnum, sections)) {
    error = loaded.file + ": its section table lies outside the file";
    return nullptr;
  }
  for (const Elf64_Shdr& table : sections) {
    if (table.sh_type != SHT_SYMTAB || table.sh_entsize != sizeof(Elf64_Sym) || table.sh_link >= sections.size()) continue;
    const Elf64_Shdr& names = sections[table.sh_link];
    std::vector<Elf64_Sym> symbols;
    std::vector<char> text;
    if (!readAt(in, fileSize, table.sh_offset, table.sh_size / sizeof(Elf64_Sym), symbols) ||
        !readAt(in, fileSize, names.sh_offset, names.sh_size, text)) {
      continue;
    }
    text.push_back('\0');  // a last name without its terminator ends here
    for (const Elf64_Sym& symbol : symbols) {
      if (symbol.st_name >= text.size() || ELF64_ST_TYPE(symbol.st_info) != STT_OBJECT ||
          std::strcmp(&text[symbol.st_name], kTallySymbol) != 0) {
        continue;
      }
      if (symbol.st_size != sizeof(EngineTally)) {
        error = loaded.file + ": its tally is not the size this program knows";
        return nullptr;
      }
      // The address must lie in the module as loaded, or the file is not the one in memory.
      Loaded holder;
      holder.address = reinterpret_cast<const void*>(loaded.bias + symbol.st_value);
      dl_iterate_phdr(findLoaded, &holder);
      if (!holder.found || holder.bias != loaded.bias) {
        error = loaded.file + ": its tally lies outside the loaded module";
        return nullptr;
      }
      return static_cast<const EngineTally*>(holder.address);
    }
  }
  error = loaded.file + ": no symbol table names the engine tally (a stripped build?)";
  return nullptr;
}

}  // namespace zumbel::bench
