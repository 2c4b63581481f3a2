#pragma once
// Reading and replacing the small text files in the user's directories that
// the program and the provider library keep or edit (the settings file, the
// autostart entry, the backends' state files, kwinrc), without trusting
// whatever sits at their paths. Plain C++ and POSIX, so that both sides
// compile the same code.
//
// A read never blocks and never reads anything but a regular file: the path
// is looked at with lstat first, opened non-blocking, and checked again with
// fstat before a byte is read, so a FIFO, a device, a socket or a directory
// is refused at once. A symbolic link is followed only to a regular file; a
// link to nothing and a loop of links are refused. At most `maxBytes` are
// read; a longer file (or one that streams) is refused.
//
// A write replaces the file atomically (temporary file beside it, fsync,
// rename), so a full disk or a crash leaves the old file or the new one,
// never a torn one or none. A symbolic link stays a link: the regular file it
// leads to is the one replaced (dotfile managers link these files into a
// repository of their own). Nothing else is ever replaced: a FIFO, device,
// socket or directory at the path or behind a link, a link to nothing, a loop.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace duskwarden::ownfile {

struct Read {
  enum class Outcome {
    missing,     // nothing at the path (nor can be: a file where a directory should be)
    read,        // `text` holds the whole file
    tooLarge,    // a regular file (or a link to one) longer than the cap
    notRegular,  // a FIFO, device, socket, directory, a link to one of those or to nothing, a loop of links
    failed,      // the path could not be looked at or opened (permissions, I/O)
  };
  Outcome outcome = Outcome::missing;
  std::string text;
  // Why it was not read, as the end of a sentence: "it is a FIFO", "it is
  // larger than 64 KiB", "Permission denied".
  std::string problem;
  bool isSymlink = false;
  // The regular file behind the path: the path itself, or the link's
  // resolved target when `isSymlink` (set for `read` and `tooLarge`).
  std::filesystem::path target;
};

Read read(const std::filesystem::path& path, std::size_t maxBytes);

// Replaces the file at `path` (or behind the link at `path`) with `data`.
// A file that exists keeps its permissions; a new one gets `mode` less the
// umask, and missing directories above it are made with mode 0700. Nothing
// on success, the reason otherwise, as the end of a sentence.
std::optional<std::string> replace(const std::filesystem::path& path, std::string_view data, int mode = 0666);

// Keeps what is at `path` (a file, or a link as a link) under the first free
// name of `<path>.bak`, `<path>.bak.1`, ... by a hard link, so nothing is
// copied and nothing is followed. Where the file system has no hard links,
// `contents` (when given) is written to the new name instead. The backup's
// path on success, nothing otherwise (`error` says why).
std::optional<std::filesystem::path> keepBackup(const std::filesystem::path& path,
                                                const std::optional<std::string>& contents, std::string* error);

}  // namespace duskwarden::ownfile
