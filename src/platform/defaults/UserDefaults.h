#pragma once
// The user's stored settings: Booleans by key in a key file.
//
// The file is $XDG_CONFIG_HOME/com.quillmoor.Duskwarden/defaults.conf
// (XDG_CONFIG_HOME defaults to ~/.config), group [Defaults]. It is read once,
// when the object is made, and written atomically (temporary file + rename)
// on every setBool, keeping every other key and group it holds.
// A missing key reads false. A corrupt or unreadable file reads as empty and
// logs one error; the next write replaces it. A write that fails logs an
// error and keeps the value in memory for the rest of the session.

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
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

  bool boolForKey(const std::string& key) const;
  void setBool(bool value, const std::string& key);

  const std::filesystem::path& path() const { return path_; }

 private:
  struct Impl;
  std::filesystem::path path_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace duskwarden
