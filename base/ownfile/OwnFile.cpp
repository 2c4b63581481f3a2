#include "base/ownfile/OwnFile.h"

#include "base/fd/UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <random>

namespace duskwarden::ownfile {
namespace fs = std::filesystem;

namespace {

// Enough names for any number of damaged files a person would keep around.
constexpr int kMaxBackupNames = 100;
constexpr int kMaxTemporaryNames = 100;

std::string errnoText(int err) {
  char buffer[256];
  return ::strerror_r(err, buffer, sizeof buffer);  // the GNU variant returns the text
}

std::string kindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

std::string sizeText(std::size_t bytes) {
  if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0) return std::to_string(bytes / (1024 * 1024)) + " MiB";
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
// (its status and the path to open), nothing yet, or the answer to give instead.
struct Located {
  std::optional<Read> answer;
  bool exists = false;
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
  l.exists = true;
  l.isSymlink = S_ISLNK(l.seen.st_mode);
  if (!l.isSymlink) {
    if (!S_ISREG(l.seen.st_mode)) l.answer = refused(Read::Outcome::notRegular, "it is " + kindOf(l.seen.st_mode), false);
    return l;
  }
  // stat() looks at a FIFO or device without opening it, so it cannot block.
  if (::stat(path.c_str(), &l.seen) != 0) {
    const int err = errno;
    if (err == ENOENT)
      l.answer = refused(Read::Outcome::notRegular, "it is a symbolic link to nothing", true);
    else if (err == ELOOP)
      l.answer = refused(Read::Outcome::notRegular, "it is a loop of symbolic links", true);
    else
      l.answer = refused(Read::Outcome::failed, errnoText(err), true);
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

// Makes each missing directory above `file`, private to the user.
std::optional<std::string> makeDirectories(const fs::path& file) {
  fs::path partial;
  const fs::path parent = file.parent_path();
  for (const fs::path& part : parent) {
    partial /= part;
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
      return "cannot create the directory " + partial.string() + ": " + errnoText(errno);
  }
  return std::nullopt;
}

// A new file beside `target`, open for writing, not yet visible under its name.
int openTemporary(const fs::path& target, int mode, fs::path* name) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
  for (int attempt = 0; attempt < kMaxTemporaryNames; ++attempt) {
    std::string suffix(6, 'x');
    for (char& c : suffix) c = kLetters[pick(random)];
    // Appended piece by piece (GCC 12's -O3 -Wrestrict false positive on `"." + string`).
    std::string base = ".";
    base += target.filename().string();
    base += '.';
    base += suffix;
    *name = target.parent_path() / base;
    const int fd = ::open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

Read read(const fs::path& path, std::size_t maxBytes) {
  const Located file = locate(path);
  if (file.answer) return *file.answer;

  // Non-blocking, so a FIFO swapped in since the stat cannot hold the open;
  // fstat then proves the descriptor is a regular file. Another regular file
  // there is the same file replaced atomically in between: its newer text.
  const UniqueFd opened(::open(file.target.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
  if (opened.get() < 0) return refused(Read::Outcome::failed, errnoText(errno), file.isSymlink);
  struct stat status {};
  if (::fstat(opened.get(), &status) != 0) return refused(Read::Outcome::failed, errnoText(errno), file.isSymlink);
  if (!S_ISREG(status.st_mode))
    return refused(Read::Outcome::notRegular, "it changed while it was being opened", file.isSymlink);
  return readCapped(opened.get(), static_cast<std::uintmax_t>(status.st_size), maxBytes, file);
}

std::optional<std::string> replace(const fs::path& path, std::string_view data, int mode) {
  const Located file = locate(path);
  if (file.answer && file.answer->outcome != Read::Outcome::missing)
    return file.answer->problem + ", which is never replaced";
  if (!file.exists) {
    if (auto error = makeDirectories(path)) return error;
  }
  fs::path temporary;
  UniqueFd out(openTemporary(file.target, mode, &temporary));
  if (out.get() < 0) return "cannot create a file in " + file.target.parent_path().string() + ": " + errnoText(errno);
  const auto fail = [&](int err) -> std::optional<std::string> {
    ::unlink(temporary.c_str());  // the old file stays as it was
    return "cannot write " + temporary.string() + ": " + errnoText(err);
  };
  if (file.exists && ::fchmod(out.get(), file.seen.st_mode & 07777) != 0) return fail(errno);
  if (!writeAll(out.get(), data) || ::fsync(out.get()) != 0) return fail(errno ? errno : EIO);
  // Closed before the rename: a watcher sees one finished file under its name,
  // not a rename and then a close of the same file.
  if (out.close() != 0) return fail(errno);
  if (::rename(temporary.c_str(), file.target.c_str()) != 0) {
    const int err = errno;
    ::unlink(temporary.c_str());
    return "cannot replace " + file.target.string() + ": " + errnoText(err);
  }
  // The rename itself reaches the disk with the directory.
  const UniqueFd directory(::open(file.target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.get() >= 0) ::fsync(directory.get());
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
    const UniqueFd copy(::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (copy.get() < 0 && errno == EEXIST) continue;
    if (copy.get() < 0 || !writeAll(copy.get(), *contents) || ::fsync(copy.get()) != 0) {
      *error = "cannot keep a copy as " + candidate.string() + ": " + errnoText(errno);
      if (copy.get() >= 0) ::unlink(candidate.c_str());  // a partial copy would pass for the original
      return std::nullopt;
    }
    return candidate;
  }
  *error = "every backup name up to " + path.string() + ".bak." + std::to_string(kMaxBackupNames - 1) + " is taken";
  return std::nullopt;
}

}  // namespace duskwarden::ownfile
