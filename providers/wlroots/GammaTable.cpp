#include "wlroots/GammaTable.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <span>
#include <vector>

#include "backendkit/GammaRamp.h"

namespace duskwarden::provider::wlroots {

namespace {

std::string failure(const char* call) { return std::string(call) + ": " + std::strerror(errno); }

}  // namespace

int makeGammaTable(std::optional<double> kelvin, std::uint32_t size, std::string* error) {
  if (size == 0 || size > kMaxGammaSize) {
    *error = "gamma size " + std::to_string(size) + " is outside 1.." + std::to_string(kMaxGammaSize);
    return -1;
  }
  std::vector<std::uint16_t> table(std::size_t{3} * size);
  const std::span<std::uint16_t> all(table);
  fillRamps(kelvin, {all.subspan(0, size), all.subspan(size, size), all.subspan(std::size_t{2} * size, size)});

  const int fd = ::memfd_create("duskwarden-gamma", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd < 0) {
    *error = failure("memfd_create");
    return -1;
  }
  const auto* bytes = reinterpret_cast<const char*>(table.data());
  const std::size_t length = table.size() * sizeof(std::uint16_t);
  // pwrite leaves the offset at 0, where the compositor starts reading.
  for (std::size_t done = 0; done < length;) {
    const ssize_t n = ::pwrite(fd, bytes + done, length - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = failure("write the gamma table");
      ::close(fd);
      return -1;
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0) {
    *error = failure("seal the gamma table");
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace duskwarden::provider::wlroots
