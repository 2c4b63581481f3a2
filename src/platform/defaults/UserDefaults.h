#pragma once
// The user's stored settings: Booleans in a key file, each under the key
// the settings table gives it.
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

#include <cstddef>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace duskwarden {

// The stored settings. A new one gets a row in kSettings, at its place.
enum class Setting { autoEnable };

struct SettingInfo {
  Setting setting;
  // The key in the file; renaming one loses what users stored under it.
  std::string_view key;
  bool defaultValue;  // its value until one is stored
};

// In the order of Setting.
inline constexpr SettingInfo kSettings[] = {
    {Setting::autoEnable, "autoEnable", false},
};

constexpr const SettingInfo& settingInfo(Setting setting) { return kSettings[static_cast<std::size_t>(setting)]; }

// Whether `key` can stand in the file as written: anything else would break
// its line structure or be read back as a different key.
constexpr bool isStorableKey(std::string_view key) {
  if (key.empty() || key.front() == ' ' || key.back() == ' ' || key.front() == '#') return false;
  for (const char c : key) {
    const auto byte = static_cast<unsigned char>(c);  // printable ASCII only
    if (c == '=' || c == '[' || c == ']' || byte < 0x20 || byte > 0x7e) return false;
  }
  return true;
}

static_assert(
    [] {
      for (std::size_t i = 0; i < std::size(kSettings); ++i)
        if (kSettings[i].setting != static_cast<Setting>(i) || !isStorableKey(kSettings[i].key)) return false;
      return true;
    }(),
    "each setting has its row at its place, with a key the file can hold");

class UserDefaults {
 public:
  explicit UserDefaults(std::filesystem::path file);
  ~UserDefaults();
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  // The process's defaults at defaultPath(), made on first use.
  static UserDefaults& standard();
  static std::filesystem::path defaultPath();

  // The stored Boolean: the setting's default when the file or the key is
  // missing; nothing when the file could not be read cleanly or the value is
  // not a Boolean.
  std::optional<bool> readBool(Setting setting) const;
  // readBool, with unknown read as the setting's default.
  bool boolForKey(Setting setting) const;
  // Nothing when written; otherwise why not, as a sentence ("Could not write
  // the defaults file PATH: ..."), and the setting stays as it was.
  std::optional<std::string> setBool(bool value, Setting setting);

  const std::filesystem::path& path() const { return path_; }

 private:
  struct Impl;
  std::filesystem::path path_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace duskwarden
