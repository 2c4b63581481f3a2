#pragma once
// Reading and replacing the small text files we keep in the user's
// directories (the settings file, the autostart entry), without trusting
// whatever sits at their path.
//
// A read never blocks and never reads anything but a regular file: the path
// is looked at with lstat first, opened non-blocking, and checked again with
// fstat before a byte is read, so a FIFO, a device, a socket or a directory
// is refused at once. A symbolic link is followed only to a regular file. At
// most `maxBytes` are read; a longer file (or one that streams) is refused.
//
// A write replaces the path atomically (temporary file, fsync, rename) and
// never writes into a file the path links to: callers that want to update a
// link's target pass the target. A device node, FIFO, socket or directory at
// the path is never replaced.

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
    notRegular,  // a FIFO, device, socket, directory, or a link to one or to nothing
    failed,      // the path could not be looked at or opened (permissions, I/O)
  };
  Outcome outcome = Outcome::missing;
  std::string text;
  // Why it was not read, as the end of a sentence: "is a FIFO", "is larger
  // than 64 KiB", "Permission denied".
  std::string problem;
  bool isSymlink = false;
  // The regular file behind the path: the path itself, or the link's
  // resolved target when `isSymlink` (set for `read` and `tooLarge`).
  std::filesystem::path target;
};

Read read(const std::filesystem::path& path, std::size_t maxBytes);

// Replaces `path` with `data` atomically; the file gets `mode` (less the
// umask). Refuses a path that holds a device node, FIFO, socket or directory.
// Nothing on success, the reason otherwise.
std::optional<std::string> replace(const std::filesystem::path& path, std::string_view data, int mode = 0666);

// Keeps what is at `path` (a file, or a link as a link) under the first free
// name of `<path>.bak`, `<path>.bak.1`, ... by a hard link, so nothing is
// copied and nothing is followed. Where the file system has no hard links,
// `contents` (when given) is written to the new name instead. The backup's
// path on success, nothing otherwise (`error` says why).
std::optional<std::filesystem::path> keepBackup(const std::filesystem::path& path,
                                                const std::optional<std::string>& contents, std::string* error);

}  // namespace duskwarden::ownfile
