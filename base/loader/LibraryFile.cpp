#include "base/loader/LibraryFile.h"

#include "base/fd/UniqueFd.h"

#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace duskwarden::loader {

namespace {

// No library of ours comes near this; a table claiming more is damage, not
// something to allocate for.
constexpr std::uint64_t kTableLimit = std::uint64_t{64} << 20;

bool readAt(int fd, void* out, std::size_t size, std::uint64_t offset) {
  auto* p = static_cast<char*>(out);
  while (size > 0) {
    const ssize_t n = ::pread(fd, p, size, static_cast<off_t>(offset));
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
  return true;
}

// end = offset + size, without overflow, within the file.
bool fits(std::uint64_t offset, std::uint64_t size, std::uint64_t fileSize) {
  return offset <= fileSize && size <= fileSize - offset;
}

// Who could have put this file here: only root or we may own it, and only the owner may write it.
std::string ownershipProblem(const struct stat& st) {
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  if (st.st_uid != 0 && st.st_uid != ::geteuid())
    return "owned by user " + std::to_string(st.st_uid) + ", neither root nor this process's user";
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return std::string("writable by its group or by others (mode ") + mode + ")";
  }
  return {};
}

// The ELF header, program headers and loadable segments, all inside the file.
std::string layoutProblem(int fd, std::uint64_t fileSize, ElfW(Ehdr) & header) {
  const std::string truncated = "truncated (" + std::to_string(fileSize) + " bytes): ";
  if (!readAt(fd, &header, SELFMAG, 0) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) return "not an ELF file";
  if (!readAt(fd, &header, sizeof header, 0)) return truncated + "no complete ELF header";
#if __SIZEOF_POINTER__ == 8
  if (header.e_ident[EI_CLASS] != ELFCLASS64) return "not a 64-bit ELF object";
#else
  if (header.e_ident[EI_CLASS] != ELFCLASS32) return "not a 32-bit ELF object";
#endif
  if (header.e_type != ET_DYN || header.e_phentsize != sizeof(ElfW(Phdr))) return "not a shared object";

  const std::uint64_t phSize = std::uint64_t{header.e_phnum} * header.e_phentsize;
  if (header.e_phnum == 0 || !fits(header.e_phoff, phSize, fileSize))
    return truncated + "the program headers lie beyond its end";
  if (header.e_shnum != 0 && !fits(header.e_shoff, std::uint64_t{header.e_shnum} * header.e_shentsize, fileSize))
    return truncated + "the section headers lie beyond its end";

  std::vector<ElfW(Phdr)> segments(header.e_phnum);
  if (!readAt(fd, segments.data(), phSize, header.e_phoff)) return truncated + "unreadable program headers";
  for (const auto& segment : segments) {
    if ((segment.p_type == PT_LOAD || segment.p_type == PT_DYNAMIC) &&
        !fits(segment.p_offset, segment.p_filesz, fileSize)) {
      return truncated + "a segment of " + std::to_string(segment.p_filesz) + " bytes at offset " +
             std::to_string(segment.p_offset) + " runs past its end";
    }
  }
  return {};
}

// `entry` defined in the dynamic symbol table, as a function.
std::string entryProblem(int fd, std::uint64_t fileSize, const ElfW(Ehdr) & header, const char* entry) {
  const std::string noEntry = std::string("no entry point ") + entry;
  if (header.e_shnum == 0 || header.e_shentsize != sizeof(ElfW(Shdr))) return noEntry + " (no section headers)";
  std::vector<ElfW(Shdr)> sections(header.e_shnum);
  if (!readAt(fd, sections.data(), sections.size() * sizeof(ElfW(Shdr)), header.e_shoff))
    return "unreadable section headers";
  for (const auto& table : sections) {
    if (table.sh_type != SHT_DYNSYM) continue;
    const ElfW(Shdr)* names = table.sh_link < sections.size() ? &sections[table.sh_link] : nullptr;
    if (names == nullptr || table.sh_entsize != sizeof(ElfW(Sym)) || table.sh_size > kTableLimit ||
        names->sh_size > kTableLimit || !fits(table.sh_offset, table.sh_size, fileSize) ||
        !fits(names->sh_offset, names->sh_size, fileSize)) {
      return "a damaged dynamic symbol table";
    }
    std::vector<ElfW(Sym)> symbols(table.sh_size / sizeof(ElfW(Sym)));
    std::string strings(names->sh_size, '\0');  // c_str() ends even an unterminated last name
    if (!readAt(fd, symbols.data(), symbols.size() * sizeof(ElfW(Sym)), table.sh_offset) ||
        !readAt(fd, strings.data(), strings.size(), names->sh_offset)) {
      return "an unreadable dynamic symbol table";
    }
    for (const auto& symbol : symbols) {
      if (symbol.st_shndx == SHN_UNDEF || symbol.st_name >= strings.size()) continue;  // imports are no entry
      if (std::strcmp(strings.c_str() + symbol.st_name, entry) != 0) continue;
      const unsigned type = ELF64_ST_TYPE(symbol.st_info);  // the same four bits in ELF32
      if (type == STT_FUNC || type == STT_GNU_IFUNC) return {};
      return std::string(entry) + " is not a function (" +
             (type == STT_OBJECT ? std::string("a data object") : "symbol type " + std::to_string(type)) + ")";
    }
    return noEntry;
  }
  return noEntry + " (no dynamic symbol table)";
}

}  // namespace

std::string libraryFileProblem(const std::string& path, const char* entry) {
  auto problem = [&](const std::string& why) { return path + ": " + why; };
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return problem(std::strerror(errno));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return problem(std::strerror(errno));
  if (auto why = ownershipProblem(st); !why.empty()) return problem(why);
  const auto fileSize = static_cast<std::uint64_t>(st.st_size);
  ElfW(Ehdr) header{};
  if (auto why = layoutProblem(fd.get(), fileSize, header); !why.empty()) return problem(why);
  if (auto why = entryProblem(fd.get(), fileSize, header, entry); !why.empty()) return problem(why);
  return {};
}

}  // namespace duskwarden::loader
