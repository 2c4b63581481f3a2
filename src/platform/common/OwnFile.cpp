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

// Where a path leads, looked at without opening anything: a regular file
// (its status and the path to open), or the answer to give instead.
struct Located {
  std::optional<Read> answer;
  struct stat seen {};
  fs::path target;
  bool isSymlink = false;
};

Located locate(const fs::path& path) {
  Located l;
  l.target = path;
  if (::lstat(path.c_str(), &l.seen) != 0) {
    const int err = errno;
    // ENOTDIR: a file where a directory should be, so nothing can be at the path.
    l.answer = err == ENOENT || err == ENOTDIR ? Read{} : refused(Read::Outcome::failed, errnoText(err), false);
    return l;
  }
  l.isSymlink = S_ISLNK(l.seen.st_mode);
  if (!l.isSymlink) {
    if (!S_ISREG(l.seen.st_mode)) l.answer = refused(Read::Outcome::notRegular, "it is " + kindOf(l.seen.st_mode), false);
    return l;
  }
  // stat() looks at a FIFO or device without opening it, so it cannot block.
  if (::stat(path.c_str(), &l.seen) != 0) {
    const int err = errno;
    l.answer = err == ENOENT ? refused(Read::Outcome::notRegular, "it is a symbolic link to nothing", true)
                             : refused(Read::Outcome::failed, errnoText(err), true);
    return l;
  }
  if (!S_ISREG(l.seen.st_mode)) {
    l.answer = refused(Read::Outcome::notRegular, "it is a symbolic link to " + kindOf(l.seen.st_mode), true);
    return l;
  }
  std::error_code ec;
  l.target = fs::canonical(path, ec);
  if (ec) l.answer = refused(Read::Outcome::failed, ec.message(), true);
  return l;
}

// Up to `maxBytes` of the open file `fd`, whose size was seen as `size`.
Read readCapped(int fd, std::uintmax_t size, std::size_t maxBytes, const Located& file) {
  Read r;
  r.isSymlink = file.isSymlink;
  r.target = file.target;
  const auto tooLarge = [&] {
    r.outcome = Read::Outcome::tooLarge;
    r.problem = "it is larger than " + sizeText(maxBytes);
    r.text.clear();
    return r;
  };
  if (size > maxBytes) return tooLarge();
  // The size may lie (files that stream), so the count of bytes read decides.
  // The buffer starts at the size seen and grows only if more arrives: a
  // buffer of the whole cap, zero-filled, would cost every read a mebibyte
  // of touched memory that the allocator then keeps.
  r.text.resize(static_cast<std::size_t>(size) + 1);
  std::size_t have = 0;
  while (have <= maxBytes) {
    if (have == r.text.size()) r.text.resize(std::min(maxBytes + 1, 2 * r.text.size()));
    const ssize_t n = ::read(fd, r.text.data() + have, r.text.size() - have);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return refused(Read::Outcome::failed, errnoText(errno), file.isSymlink);
    if (n == 0) break;
    have += static_cast<std::size_t>(n);
  }
  if (have > maxBytes) return tooLarge();
  r.text.resize(have);
  r.outcome = Read::Outcome::read;
  return r;
}

}  // namespace

Read read(const fs::path& path, std::size_t maxBytes) {
  const Located file = locate(path);
  if (file.answer) return *file.answer;

  // Non-blocking, so a FIFO swapped in since the stat cannot hold the open;
  // fstat then proves the descriptor is the regular file just looked at.
  Fd opened;
  opened.fd = ::open(file.target.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
  if (opened.fd < 0) return refused(Read::Outcome::failed, errnoText(errno), file.isSymlink);
  struct stat status {};
  if (::fstat(opened.fd, &status) != 0) return refused(Read::Outcome::failed, errnoText(errno), file.isSymlink);
  if (!S_ISREG(status.st_mode) || status.st_dev != file.seen.st_dev || status.st_ino != file.seen.st_ino)
    return refused(Read::Outcome::notRegular, "it changed while it was being opened", file.isSymlink);
  return readCapped(opened.fd, static_cast<std::uintmax_t>(status.st_size), maxBytes, file);
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
