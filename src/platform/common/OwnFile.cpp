#include "platform/common/OwnFile.h"

#include "platform/common/GLibPtr.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace duskwarden::ownfile {
namespace fs = std::filesystem;

namespace {

// Enough names for any number of damaged files a person would keep around.
constexpr int kMaxBackupNames = 100;

std::string errnoText(int err) { return g_strerror(err); }

std::string kindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

std::string sizeText(std::size_t bytes) {
  if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes / 1024) + " KiB";
  return std::to_string(bytes) + " bytes";
}

Read refused(Read::Outcome outcome, std::string problem, bool isSymlink) {
  Read r;
  r.outcome = outcome;
  r.problem = std::move(problem);
  r.isSymlink = isSymlink;
  return r;
}

struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

Read read(const fs::path& path, std::size_t maxBytes) {
  struct stat seen {};
  if (::lstat(path.c_str(), &seen) != 0) {
    const int err = errno;
    // ENOTDIR: a file where a directory should be, so nothing can be at the path.
    if (err == ENOENT || err == ENOTDIR) return {};
    return refused(Read::Outcome::failed, errnoText(err), false);
  }
  const bool isSymlink = S_ISLNK(seen.st_mode);
  fs::path target = path;
  if (isSymlink) {
    // stat() looks at a FIFO or device without opening it, so it cannot block.
    if (::stat(path.c_str(), &seen) != 0) {
      const int err = errno;
      if (err == ENOENT) return refused(Read::Outcome::notRegular, "it is a symbolic link to nothing", true);
      return refused(Read::Outcome::failed, errnoText(err), true);
    }
    if (!S_ISREG(seen.st_mode))
      return refused(Read::Outcome::notRegular, "it is a symbolic link to " + kindOf(seen.st_mode), true);
    std::error_code ec;
    target = fs::canonical(path, ec);
    if (ec) return refused(Read::Outcome::failed, ec.message(), true);
  } else if (!S_ISREG(seen.st_mode)) {
    return refused(Read::Outcome::notRegular, "it is " + kindOf(seen.st_mode), false);
  }

  // Non-blocking, so a FIFO swapped in since the stat cannot hold the open;
  // fstat then proves the descriptor is the regular file just looked at.
  Fd file;
  file.fd = ::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
  if (file.fd < 0) return refused(Read::Outcome::failed, errnoText(errno), isSymlink);
  struct stat opened {};
  if (::fstat(file.fd, &opened) != 0) return refused(Read::Outcome::failed, errnoText(errno), isSymlink);
  if (!S_ISREG(opened.st_mode) || opened.st_dev != seen.st_dev || opened.st_ino != seen.st_ino)
    return refused(Read::Outcome::notRegular, "it changed while it was being opened", isSymlink);

  Read r;
  r.isSymlink = isSymlink;
  r.target = target;
  const auto tooLarge = [&] {
    r.outcome = Read::Outcome::tooLarge;
    r.problem = "it is larger than " + sizeText(maxBytes);
    r.text.clear();
    return r;
  };
  if (static_cast<std::uintmax_t>(opened.st_size) > maxBytes) return tooLarge();
  // The size may lie (files that stream), so the count of bytes read decides.
  // The buffer starts at the size seen and grows only if more arrives: a
  // buffer of the whole cap, zero-filled, would cost every read a mebibyte
  // of touched memory that the allocator then keeps.
  r.text.resize(static_cast<std::size_t>(opened.st_size) + 1);
  std::size_t have = 0;
  while (have <= maxBytes) {
    if (have == r.text.size()) r.text.resize(std::min(maxBytes + 1, 2 * r.text.size()));
    const ssize_t n = ::read(file.fd, r.text.data() + have, r.text.size() - have);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return refused(Read::Outcome::failed, errnoText(errno), isSymlink);
    if (n == 0) break;
    have += static_cast<std::size_t>(n);
  }
  if (have > maxBytes) return tooLarge();
  r.text.resize(have);
  r.outcome = Read::Outcome::read;
  return r;
}

std::optional<std::string> replace(const fs::path& path, std::string_view data, int mode) {
  struct stat existing {};
  if (::lstat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode) && !S_ISLNK(existing.st_mode))
    return "it is " + kindOf(existing.st_mode) + ", which is never replaced";
  GError* raw = nullptr;
  // Temporary file beside it, fsync, rename: a crash leaves the old or the new file, never a torn one.
  if (!g_file_set_contents_full(path.c_str(), data.data(), static_cast<gssize>(data.size()),
                                static_cast<GFileSetContentsFlags>(G_FILE_SET_CONTENTS_CONSISTENT |
                                                                   G_FILE_SET_CONTENTS_DURABLE),
                                mode, &raw)) {
    ErrorPtr error(raw);
    return std::string(error->message);
  }
  return std::nullopt;
}

std::optional<fs::path> keepBackup(const fs::path& path, const std::optional<std::string>& contents,
                                   std::string* error) {
  for (int i = 0; i < kMaxBackupNames; ++i) {
    fs::path candidate = path;
    candidate += i == 0 ? std::string(".bak") : ".bak." + std::to_string(i);
    // linkat without AT_SYMLINK_FOLLOW links a symbolic link itself.
    if (::linkat(AT_FDCWD, path.c_str(), AT_FDCWD, candidate.c_str(), 0) == 0) return candidate;
    const int err = errno;
    if (err == EEXIST) continue;
    if (!contents || (err != EPERM && err != EXDEV && err != EOPNOTSUPP && err != EMLINK)) {
      *error = "cannot keep a copy as " + candidate.string() + ": " + errnoText(err);
      return std::nullopt;
    }
    Fd copy;
    copy.fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (copy.fd < 0 && errno == EEXIST) continue;
    if (copy.fd < 0 || !writeAll(copy.fd, *contents) || ::fsync(copy.fd) != 0) {
      *error = "cannot keep a copy as " + candidate.string() + ": " + errnoText(errno);
      if (copy.fd >= 0) ::unlink(candidate.c_str());  // a partial copy would pass for the original
      return std::nullopt;
    }
    return candidate;
  }
  *error = "every backup name up to " + path.string() + ".bak." + std::to_string(kMaxBackupNames - 1) + " is taken";
  return std::nullopt;
}

}  // namespace duskwarden::ownfile
