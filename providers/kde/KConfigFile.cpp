#include "kde/KConfigFile.h"

#include <fcntl.h>
#include <glib.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "base/ownfile/OwnFile.h"

namespace duskwarden::provider::kde {

namespace {

constexpr int kStaleSeconds = 30;  // QLockFile's default stale time
constexpr std::size_t kMaxLockBytes = 4096;
// A locked section only reads, edits and renames: at exit it gets this long to end.
constexpr auto kExitGrace = std::chrono::seconds(2);

std::string hostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

// QLockFile checks that the holder's pid still runs the program named here.
std::string programName() {
  g_autofree char* exe = g_file_read_link("/proc/self/exe", nullptr);
  if (!exe) return "duskwarden";
  g_autofree char* base = g_path_get_basename(exe);
  return base;
}

enum class Holder { live, stale, gone, foreign };

// Who holds the lock file: a live program, one that is gone or too old, no
// one any more; or `foreign`, something that is no lock file (a FIFO).
Holder holderOf(const std::string& lockPath, std::string* problem) {
  const ownfile::Read found = ownfile::read(lockPath, kMaxLockBytes);
  if (found.outcome == ownfile::Read::Outcome::missing) return Holder::gone;  // just try again
  if (found.outcome != ownfile::Read::Outcome::read) {
    *problem = lockPath + ": " + found.problem;
    return Holder::foreign;
  }
  struct stat st {};
  if (::stat(lockPath.c_str(), &st) == 0 && ::time(nullptr) - st.st_mtime > kStaleSeconds) return Holder::stale;
  g_auto(GStrv) lines = g_strsplit(found.text.c_str(), "\n", 4);
  if (!lines[0] || !lines[1] || !lines[2]) return Holder::live;  // still being written
  const long long pid = std::atoll(lines[0]);
  const bool sameHost = lines[2][0] == '\0' || hostName() == lines[2];
  const bool dead = sameHost && pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
  return dead ? Holder::stale : Holder::live;
}

// The lock files this process holds. exit() runs its handlers on the exiting
// thread while a backend's thread may be inside its locked section; the
// handler waits a moment for that section to end, then removes what is left.
struct HeldLocks {
  std::mutex mutex;
  std::condition_variable released;
  std::set<std::string> paths;
  bool exiting = false;
};

HeldLocks& heldLocks() {
  static auto* held = new HeldLocks;  // never destroyed: the exit handler needs it last
  return *held;
}

void releaseAtExit() {
  HeldLocks& held = heldLocks();
  std::unique_lock lock(held.mutex);
  held.exiting = true;
  held.released.wait_for(lock, kExitGrace, [&held] { return held.paths.empty(); });
  for (const std::string& path : held.paths) ::unlink(path.c_str());
  held.paths.clear();
}

// Creates the lock file; false with `error` set when it exists or cannot be made.
bool createLock(const std::string& path, std::string* error, int* err) {
  static std::once_flag registered;
  std::call_once(registered, [] { std::atexit(releaseAtExit); });
  HeldLocks& held = heldLocks();
  std::lock_guard lock(held.mutex);
  if (held.exiting) {
    *err = ECANCELED;
    *error = "the program is ending";
    return false;
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
  *err = errno;
  if (fd < 0) {
    *error = "create " + path + ": " + std::strerror(*err);
    return false;
  }
  const std::string contents = std::to_string(::getpid()) + "\n" + programName() + "\n" + hostName() + "\n";
  const bool written = ::write(fd, contents.data(), contents.size()) == static_cast<ssize_t>(contents.size());
  *err = errno;
  ::close(fd);
  if (!written) {
    *error = "write " + path + ": " + std::strerror(*err);
    ::unlink(path.c_str());
    return false;
  }
  held.paths.insert(path);
  return true;
}

}  // namespace

bool readConfigFile(const std::string& path, std::string* text, std::string* error) {
  ownfile::Read found = ownfile::read(path, kMaxConfigBytes);
  switch (found.outcome) {
    case ownfile::Read::Outcome::missing:
      text->clear();
      return true;
    case ownfile::Read::Outcome::read:
      *text = std::move(found.text);
      return true;
    default:
      if (error) *error = "read " + path + ": " + found.problem;
      return false;
  }
}

bool writeConfigFile(const std::string& path, const std::string& text, std::string* error) {
  if (const auto failure = ownfile::replace(path, text, 0600)) {
    if (error) *error = "write " + path + ": " + *failure;
    return false;
  }
  return true;
}

ConfigLock::ConfigLock(const std::string& configPath, int waitMs) : path_(configPath + ".lock") {
  g_autofree char* dir = g_path_get_dirname(path_.c_str());
  g_mkdir_with_parents(dir, 0700);
  int waited = 0;
  for (int pause = 10;; pause = std::min(pause * 2, 200)) {
    int err = 0;
    if (createLock(path_, &error_, &err)) {
      state_ = State::held;
      error_.clear();
      return;
    }
    if (err != EEXIST) return;
    switch (holderOf(path_, &error_)) {
      case Holder::foreign:
        error_ += ", so it cannot be taken";
        return;
      case Holder::stale:
        ::unlink(path_.c_str());
        continue;
      case Holder::gone:
        continue;
      case Holder::live:
        break;
    }
    if (waited >= waitMs) {
      state_ = State::busy;
      error_ = path_ + " is held by another program";
      return;
    }
    // No event tells when another process lets go of a lock file.
    g_usleep(static_cast<gulong>(pause) * 1000);
    waited += pause;
  }
}

ConfigLock::~ConfigLock() {
  if (state_ != State::held) return;
  HeldLocks& held = heldLocks();
  std::lock_guard lock(held.mutex);
  // Not when the exit handler has taken it away already: it may be another's by now.
  if (held.paths.erase(path_) != 0) ::unlink(path_.c_str());
  held.released.notify_all();
}

}  // namespace duskwarden::provider::kde
