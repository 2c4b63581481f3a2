#include "base/loader/Executable.h"

#include <unistd.h>

#include <string>

namespace duskwarden::loader {

// readlink(2) itself rather than std::filesystem::read_symlink, whose code
// sits on libstdc++ pages the program would map for this alone.
std::optional<std::filesystem::path> executablePath() {
  std::string target(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", target.data(), target.size());
    if (length <= 0) return std::nullopt;
    if (static_cast<std::size_t>(length) < target.size()) {
      target.resize(static_cast<std::size_t>(length));
      return std::filesystem::path(std::move(target));
    }
    target.resize(target.size() * 2);  // it may have been cut short
  }
}

std::optional<std::filesystem::path> besideExecutable(const std::filesystem::path& relative) {
  const auto exe = executablePath();
  if (!exe) return std::nullopt;
  return (exe->parent_path() / relative).lexically_normal();
}

}  // namespace duskwarden::loader
