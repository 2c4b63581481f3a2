#include "sim/SimState.h"

#include "decimal/Decimal.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace duskwarden::sim {

namespace {

std::string errnoText(const std::string& what, const std::filesystem::path& path) {
  return what + " " + path.string() + ": " + std::strerror(errno);
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool writeAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool ensureDirectory(const std::filesystem::path& dir, std::string* error) {
  if (::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST) return true;
  if (error) *error = errnoText("cannot create", dir);
  return false;
}

// Holds an exclusive flock on the lock file beside the state file.
class FileLock {
 public:
  explicit FileLock(const std::filesystem::path& lockFile) {
    fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace

std::filesystem::path stateDirectory() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime == nullptr || runtime[0] != '/') return {};
  return std::filesystem::path(runtime) / "duskwarden";
}

std::filesystem::path stateFilePath() {
  auto dir = stateDirectory();
  return dir.empty() ? dir : dir / kStateFileName;
}

std::string formatState(const SimState& state) {
  return std::string("# Duskwarden night-light simulator state\nenabled=") + (state.enabled ? "true" : "false") +
         "\nstrength=" + decimal::shortest(state.strength) + "\n";
}

std::optional<float> parseStrength(std::string_view text) {
  const auto value = decimal::parse<float>(trim(text));
  if (!value || !(*value >= 0.0f && *value <= 1.0f)) return std::nullopt;
  return value;
}

std::optional<SimState> parseState(std::string_view text) {
  SimState state;
  bool haveEnabled = false;
  bool haveStrength = false;
  while (!text.empty()) {
    const auto newline = text.find('\n');
    std::string_view line = trim(text.substr(0, newline));
    text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
    if (line.empty() || line.front() == '#') continue;
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    const std::string_view key = trim(line.substr(0, eq));
    const std::string_view value = trim(line.substr(eq + 1));
    if (key == "enabled" && !haveEnabled) {
      if (value == "true") state.enabled = true;
      else if (value == "false") state.enabled = false;
      else return std::nullopt;
      haveEnabled = true;
    } else if (key == "strength" && !haveStrength) {
      // Earlier versions wrote the user's decimal comma ("0,699999988"):
      // read such a file as meant; the next write puts a point.
      std::string point(value);
      if (point.find('.') == std::string::npos) std::replace(point.begin(), point.end(), ',', '.');
      auto strength = parseStrength(point);
      if (!strength) return std::nullopt;
      state.strength = *strength;
      haveStrength = true;
    } else {
      return std::nullopt;
    }
  }
  if (!haveEnabled || !haveStrength) return std::nullopt;
  return state;
}

bool readState(const std::filesystem::path& file, SimState* state, std::string* error) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) {
      *state = SimState{};
      return true;
    }
    if (error) *error = errnoText("cannot open", file);
    return false;
  }
  std::string text;
  char buf[512];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (error) *error = errnoText("cannot read", file);
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    text.append(buf, static_cast<std::size_t>(n));
    if (text.size() > 4096) break;  // far larger than any valid state
  }
  ::close(fd);
  auto parsed = parseState(text);
  if (!parsed) {
    if (error) *error = "corrupt state file " + file.string();
    return false;
  }
  *state = *parsed;
  return true;
}

bool writeState(const std::filesystem::path& file, const SimState& state, std::string* error) {
  if (!ensureDirectory(file.parent_path(), error)) return false;
  // Appended piece by piece: GCC 12 at -O3 takes `"." + string` for an
  // overlapping copy and warns (-Wrestrict, a known false positive).
  std::string name = ".";
  name += file.filename().string();
  name += ".XXXXXX";
  std::string tmpl = (file.parent_path() / name).string();
  const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = errnoText("cannot create a temporary file in", file.parent_path());
    return false;
  }
  const bool written = writeAll(fd, formatState(state)) && ::fsync(fd) == 0;
  const int savedErrno = errno;
  ::close(fd);
  if (!written) {
    errno = savedErrno;
    if (error) *error = errnoText("cannot write", tmpl);
    ::unlink(tmpl.c_str());
    return false;
  }
  if (::rename(tmpl.c_str(), file.c_str()) != 0) {
    if (error) *error = errnoText("cannot replace", file);
    ::unlink(tmpl.c_str());
    return false;
  }
  return true;
}

bool updateState(const std::filesystem::path& file, const std::function<void(SimState&)>& change,
                 std::string* error, SimState* result) {
  if (!ensureDirectory(file.parent_path(), error)) return false;
  FileLock lock(file.parent_path() / kLockFileName);
  if (!lock.ok()) {
    if (error) *error = errnoText("cannot lock", file.parent_path() / kLockFileName);
    return false;
  }
  SimState state;
  // A corrupt file holds nothing worth keeping; the update replaces it.
  if (!readState(file, &state, nullptr)) state = SimState{};
  change(state);
  if (!writeState(file, state, error)) return false;
  if (result) *result = state;
  return true;
}

}  // namespace duskwarden::sim
