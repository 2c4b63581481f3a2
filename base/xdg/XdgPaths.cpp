#include "base/xdg/XdgPaths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace duskwarden {

namespace {

constexpr const char* kSingleDirectoryVariables[] = {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME",
                                                     "XDG_CACHE_HOME",  "XDG_RUNTIME_DIR", "XDG_BIN_HOME"};
constexpr const char* kListVariables[] = {"XDG_CONFIG_DIRS", "XDG_DATA_DIRS"};

bool isAbsolute(const std::string& value) { return !value.empty() && value.front() == '/'; }

// Makes each missing directory of `dir` with mode 0700 (the umask can only
// take from that), then accepts `dir` only as a real directory of this user's
// that nobody else may enter.
bool makePrivateDirectory(const std::filesystem::path& dir) {
  std::filesystem::path partial;
  for (const auto& part : dir) {
    partial /= part;
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  // The temporary directory is shared: someone else may have made this name first.
  struct stat st {};
  return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

}  // namespace

std::optional<std::filesystem::path> absoluteXdgValue(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !isAbsolute(value)) return std::nullopt;
  return std::filesystem::path(value);
}

std::filesystem::path userHome() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

std::filesystem::path userConfigHome() {
  if (auto xdg = absoluteXdgValue("XDG_CONFIG_HOME")) return *xdg;
  return userHome() / ".config";
}

std::filesystem::path userStateHome() {
  if (auto xdg = absoluteXdgValue("XDG_STATE_HOME")) return *xdg;
  return userHome() / ".local" / "state";
}

std::optional<std::filesystem::path> userRuntimeDirectory() { return absoluteXdgValue("XDG_RUNTIME_DIR"); }

std::optional<RuntimeDirectoryProblem> runtimeDirectoryProblem(std::size_t longestName) {
  const auto dir = userRuntimeDirectory();
  if (!dir) return RuntimeDirectoryProblem::unset;
  // A socket's path, with its NUL, fits in sockaddr_un's sun_path.
  if (dir->string().size() + 1 + longestName + 1 > sizeof(sockaddr_un{}.sun_path))
    return RuntimeDirectoryProblem::tooLong;
  struct stat st {};
  if (::stat(dir->c_str(), &st) != 0 && errno == ENOENT && makePrivateDirectory(*dir)) return std::nullopt;
  if (::stat(dir->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return RuntimeDirectoryProblem::notADirectory;
  return std::nullopt;
}

std::optional<std::filesystem::path> usableRuntimeDirectory(std::size_t longestName) {
  if (runtimeDirectoryProblem(longestName)) return fallbackRuntimeDirectory();
  return userRuntimeDirectory();
}

std::optional<std::filesystem::path> fallbackRuntimeDirectory() {
  std::filesystem::path base = "/tmp";
  if (const char* tmp = std::getenv("TMPDIR"); tmp && isAbsolute(tmp)) base = tmp;
  const std::filesystem::path dir = base / ("runtime-" + std::to_string(::getuid()));
  if (!makePrivateDirectory(dir)) return std::nullopt;
  return dir;
}

std::vector<std::string> dropRelativeXdgPaths() {
  std::vector<std::string> changed;
  for (const char* name : kSingleDirectoryVariables) {
    const char* value = std::getenv(name);
    if (value && *value && !isAbsolute(value)) {
      ::unsetenv(name);
      changed.emplace_back(name);
    }
  }
  for (const char* name : kListVariables) {
    const char* value = std::getenv(name);
    if (!value) continue;
    std::string kept;
    bool dropped = false;
    std::istringstream entries(value);
    for (std::string entry; std::getline(entries, entry, ':');) {
      if (entry.empty()) continue;
      if (!isAbsolute(entry)) {
        dropped = true;
        continue;
      }
      if (!kept.empty()) kept += ':';
      kept += entry;
    }
    if (!dropped) continue;
    // Unset rather than empty, so readers fall back to the system defaults.
    if (kept.empty()) ::unsetenv(name);
    else ::setenv(name, kept.c_str(), 1);
    changed.emplace_back(name);
  }
  return changed;
}

}  // namespace duskwarden
