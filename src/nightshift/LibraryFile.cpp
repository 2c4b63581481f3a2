#include "nightshift/LibraryFile.h"

#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace duskwarden {

namespace {

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

}  // namespace

bool isCompleteSharedObject(const std::string& path, std::string* reason) {
  auto refuse = [&](const std::string& why) {
    if (reason) *reason = path + ": " + why;
    return false;
  };
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return refuse(std::strerror(errno));
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};

  struct stat st {};
  if (::fstat(fd, &st) != 0) return refuse(std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return refuse("not a regular file");
  const auto fileSize = static_cast<std::uint64_t>(st.st_size);
  const std::string truncated = "truncated (" + std::to_string(fileSize) + " bytes): ";

  ElfW(Ehdr) header{};
  if (!readAt(fd, &header, SELFMAG, 0) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0)
    return refuse("not an ELF file");
  if (!readAt(fd, &header, sizeof header, 0)) return refuse(truncated + "no complete ELF header");
#if __SIZEOF_POINTER__ == 8
  if (header.e_ident[EI_CLASS] != ELFCLASS64) return refuse("not a 64-bit ELF object");
#else
  if (header.e_ident[EI_CLASS] != ELFCLASS32) return refuse("not a 32-bit ELF object");
#endif
  if (header.e_type != ET_DYN || header.e_phentsize != sizeof(ElfW(Phdr))) return refuse("not a shared object");

  const std::uint64_t phSize = std::uint64_t{header.e_phnum} * header.e_phentsize;
  if (header.e_phnum == 0 || !fits(header.e_phoff, phSize, fileSize))
    return refuse(truncated + "the program headers lie beyond its end");
  if (header.e_shnum != 0 &&
      !fits(header.e_shoff, std::uint64_t{header.e_shnum} * header.e_shentsize, fileSize)) {
    return refuse(truncated + "the section headers lie beyond its end");
  }

  std::vector<ElfW(Phdr)> segments(header.e_phnum);
  if (!readAt(fd, segments.data(), phSize, header.e_phoff)) return refuse(truncated + "unreadable program headers");
  for (const auto& segment : segments) {
    if ((segment.p_type == PT_LOAD || segment.p_type == PT_DYNAMIC) &&
        !fits(segment.p_offset, segment.p_filesz, fileSize)) {
      return refuse(truncated + "a segment of " + std::to_string(segment.p_filesz) + " bytes at offset " +
                    std::to_string(segment.p_offset) + " runs past its end");
    }
  }
  return true;
}

}  // namespace duskwarden
