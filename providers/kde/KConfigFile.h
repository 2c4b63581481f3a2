#pragma once
// kwinrc on disk: read it, hold KConfig's lock on it, replace it atomically.
//
// KWin and System Settings save through KConfig, which re-reads the file and
// writes it whole while holding "<file>.lock" (a QLockFile). Taking the same
// lock makes our read-modify-write atomic against theirs; the lock file says
// who holds it in QLockFile's own format, so theirs can tell a stale one.

#include <string>

namespace duskwarden::provider::kde {

// The whole file; an absent file reads as empty. False with `error` set when
// it exists but cannot be read.
bool readConfigFile(const std::string& path, std::string* text, std::string* error);

// Writes through a temporary file and a rename, to the target of a symbolic
// link if `path` is one, keeping the file's permissions (0600 for a new one).
bool writeConfigFile(const std::string& path, const std::string& text, std::string* error);

class ConfigLock {
 public:
  // Waits up to `waitMs` for the lock; a lock whose holder has died (same
  // host) or that is older than 30 s is taken over, as QLockFile does.
  explicit ConfigLock(const std::string& configPath, int waitMs = 2000);
  ~ConfigLock();
  ConfigLock(const ConfigLock&) = delete;
  ConfigLock& operator=(const ConfigLock&) = delete;

  bool locked() const { return locked_; }
  const std::string& error() const { return error_; }

 private:
  std::string path_;
  bool locked_ = false;
  std::string error_;
};

}  // namespace duskwarden::provider::kde
