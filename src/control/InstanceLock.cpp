#include "control/InstanceLock.h"

#include "base/loader/Executable.h"
#include "platform/bundle/BuildInfo.h"
#include "platform/log/Logger.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace duskwarden {

namespace {

constexpr std::size_t kMaxLockFile = 4096;

constexpr std::string_view kLogCategory = "SingleInstance";

struct flock wholeFile(short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;  // from 0, to the end (l_len 0)
  return lock;
}

std::string readAll(int fd) {
  std::string text;
  char buffer[512];
  ssize_t n;
  while (text.size() < kMaxLockFile && (n = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()))) > 0)
    text.append(buffer, static_cast<std::size_t>(n));
  return text;
}

std::string programName() {
  const auto exe = loader::executablePath();
  return exe ? exe->filename().string() : std::string("duskwarden");
}

std::string hostName() {
  char name[256] = "";
  return ::gethostname(name, sizeof name - 1) == 0 ? std::string(name) : std::string();
}

// What a lock file left behind held, for the one log line that says it was taken over.
std::string leftBehind(const std::string& contents) {
  if (contents.empty()) return "it was empty";
  const auto end = contents.find('\n');
  long long pid = 0;
  const char* first = contents.data();
  const char* last = first + (end == std::string::npos ? contents.size() : end);
  const auto [ptr, ec] = std::from_chars(first, last, pid);
  if (ec != std::errc{} || ptr != last || pid <= 0) return "it did not name a process";
  std::error_code gone;
  if (!std::filesystem::exists("/proc/" + std::to_string(pid), gone))
    return "it named process " + std::to_string(pid) + ", which has ended";
  return "it named process " + std::to_string(pid) + ", which does not hold it";
}

}  // namespace

InstanceLock::Result InstanceLock::take(const std::string& path, std::unique_ptr<InstanceLock>* lock,
                                        std::string* error) {
  // The holder removes the file as it ends: a file opened just before that
  // is locked in vain, so the lock counts only on the file still at `path`.
  for (int attempt = 0; attempt < 8; ++attempt) {
    constexpr int kFlags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    int fd = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0600);
    const bool existed = fd < 0 && errno == EEXIST;
    if (existed) fd = ::open(path.c_str(), kFlags);
    if (fd < 0 && errno == ENOENT) continue;  // removed by its holder in between
    if (fd < 0) {
      *error = "cannot open the lock file " + path + ": " + std::strerror(errno);
      return Result::failed;
    }
    struct flock exclusive = wholeFile(F_WRLCK);
    if (::fcntl(fd, F_OFD_SETLK, &exclusive) != 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int err = errno;
      ::close(fd);
      if (err == EAGAIN || err == EACCES) return Result::heldElsewhere;
      *error = "cannot lock " + path + ": " + std::strerror(err);
      return Result::failed;
    }
    struct stat opened {}, named {};
    if (::fstat(fd, &opened) != 0 || ::lstat(path.c_str(), &named) != 0 || opened.st_ino != named.st_ino ||
        opened.st_dev != named.st_dev) {
      ::close(fd);
      continue;
    }
    if (!S_ISREG(opened.st_mode)) {
      ::close(fd);
      *error = path + " is not a regular file";
      return Result::failed;
    }
    const std::string before = readAll(fd);
    const std::string ours = std::to_string(::getpid()) + "\n" + programName() + "\n" + hostName() + "\n";
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, ours.data(), ours.size(), 0) != static_cast<ssize_t>(ours.size())) {
      // Held all the same: the kernel lock is what counts, not what the file says.
      logger(kLogCategory)
          .error("Could not write this process into %{public}s: %{public}s", path, std::strerror(errno));
    }
    if (existed)
      logger(kLogCategory).log("Took over the lock %{public}s left behind: %{public}s", path, leftBehind(before));
    lock->reset(new InstanceLock(path, fd));
    return Result::taken;
  }
  *error = path + " keeps being replaced by another process";
  return Result::failed;
}

bool InstanceLock::isHeld(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  struct flock probe = wholeFile(F_WRLCK);
  const bool held = ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
  ::close(fd);
  return held;
}

InstanceLock::~InstanceLock() {
  ::unlink(path_.c_str());  // before letting go, so nobody locks a file on its way out
  ::close(fd_);
}

}  // namespace duskwarden
