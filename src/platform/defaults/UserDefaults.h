#pragma once
// The user's stored settings: Booleans by key in a key file.
//
// The file is $XDG_CONFIG_HOME/com.quillmoor.Duskwarden/defaults.conf
// (XDG_CONFIG_HOME defaults to ~/.config), group [Defaults]. It is read once,
// when the object is made, and written atomically (temporary file + rename)
// on every setBool.
//
// Reading never blocks and reads only a small regular file (or a link to
// one). A file that cannot be read cleanly (a FIFO, device, directory,
// oversized, not UTF-8 text, a line the key-file syntax rejects) is logged
// once with its path and left as it is; its values read as unknown.
// A Boolean is written true/false but read in any case, as 1/0, yes/no or
// on/off, trimmed, with a trailing "# comment"; any other value reads as
// unknown and is logged once.
//
// Writing keeps the comments, other keys and groups of a clean file, and
// writes through a symbolic link only when its target read as a clean file.
// A damaged file is first kept as defaults.conf.bak (a hard link; nothing is
// followed), then replaced by a fresh one. A FIFO, device, directory, a link
// to one of those, or a file that cannot be read is never replaced: the write
// is refused with a log line. A value that could not be written is not
// taken: the setting stays as it was, in the file and in memory, and the
// caller is told why.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace duskwarden {

class UserDefaults {
 public:
  explicit UserDefaults(std::filesystem::path file);
  ~UserDefaults();
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  // The process's defaults at defaultPath(), made on first use.
  static UserDefaults& standard();
  static std::filesystem::path defaultPath();

  // The stored Boolean: false when the file or the key is missing; nothing
  // when the file could not be read cleanly or the value is not a Boolean.
  std::optional<bool> readBool(const std::string& key) const;
  // readBool, with unknown read as false.
  bool boolForKey(const std::string& key) const;
  // Nothing when written; otherwise why not, as a sentence ("Could not write
  // the defaults file PATH: ..."), and the setting stays as it was.
  std::optional<std::string> setBool(bool value, const std::string& key);

  const std::filesystem::path& path() const { return path_; }

 private:
  struct Impl;
  std::filesystem::path path_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace duskwarden
