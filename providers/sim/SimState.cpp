#include "sim/SimState.h"

#include "base/decimal/Decimal.h"
#include "base/ownfile/OwnFile.h"
#include "base/xdg/XdgPaths.h"

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

// Far larger than any valid state.
constexpr std::size_t kMaxStateBytes = 4096;
// How long an update waits for another writer's lock (the tool's, another
// copy's): a lock held longer is another program's fault, reported as such.
constexpr int kLockWaitMs = 2000;

std::string errnoText(const std::string& what, const std::filesystem::path& path) {
  return what + " " + path.string() + ": " + std::strerror(errno);
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool ensureDirectory(const std::filesystem::path& dir, std::string* error) {
  if (::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST) return true;
  if (error) *error = errnoText("cannot create", dir);
  return false;
}

// Holds an exclusive flock on the lock file beside the state file. Neither
// the open nor the lock can block: a FIFO put in the lock file's place is
// refused, and a lock another writer keeps is waited for a bounded time.
class FileLock {
 public:
  explicit FileLock(const std::filesystem::path& lockFile) {
    fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0600);
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
      error_ = errnoText("cannot open", lockFile);
      return;
    }
    if (!S_ISREG(st.st_mode)) {
      error_ = "cannot lock " + lockFile.string() + ": it is not a regular file";
      return;
    }
    for (int waited = 0, pause = 10;; waited += pause, pause = std::min(pause * 2, 200)) {
      if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
        locked_ = true;
        return;
      }
      if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= kLockWaitMs) break;
      ::usleep(static_cast<useconds_t>(pause) * 1000);  // no event says when another process lets go
    }
    error_ = errno == EWOULDBLOCK ? lockFile.string() + " is held by another process" : errnoText("cannot lock", lockFile);
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool ok() const { return locked_; }
  const std::string& error() const { return error_; }

 private:
  int fd_ = -1;
  bool locked_ = false;
  std::string error_;
};

}  // namespace

std::filesystem::path stateDirectory() {
  const auto runtime = userRuntimeDirectory();
  if (!runtime) return {};
  return *runtime / "duskwarden";
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
  const ownfile::Read found = ownfile::read(file, kMaxStateBytes);
  if (found.outcome == ownfile::Read::Outcome::missing) {
    *state = SimState{};
    return true;
  }
  if (found.outcome != ownfile::Read::Outcome::read) {
    if (error) *error = "cannot read " + file.string() + ": " + found.problem;
    return false;
  }
  auto parsed = parseState(found.text);
  if (!parsed) {
    if (error) *error = "corrupt state file " + file.string();
    return false;
  }
  *state = *parsed;
  return true;
}

bool writeState(const std::filesystem::path& file, const SimState& state, std::string* error) {
  if (!ensureDirectory(file.parent_path(), error)) return false;
  if (const auto failure = ownfile::replace(file, formatState(state), 0600)) {
    if (error) *error = "cannot replace " + file.string() + ": " + *failure;
    return false;
  }
  return true;
}

bool updateState(const std::filesystem::path& file, const std::function<void(SimState&)>& change,
                 std::string* error, SimState* result) {
  if (!ensureDirectory(file.parent_path(), error)) return false;
  FileLock lock(file.parent_path() / kLockFileName);
  if (!lock.ok()) {
    if (error) *error = lock.error();
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
