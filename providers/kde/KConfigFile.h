#pragma once
// kwinrc on disk: read it, hold KConfig's lock on it, replace it atomically,
// all through the one safe file path (base/ownfile): a FIFO, a device, a
// directory, a loop of links or a file over 1 MiB is refused with its
// reason, never waited on.
//
// KWin and System Settings save through KConfig, which re-reads the file and
// writes it whole while holding "<file>.lock" (a QLockFile). Taking the same
// lock makes our read-modify-write atomic against theirs; the lock file says
// who holds it in QLockFile's own format, so theirs can tell a stale one.

#include <cstddef>
#include <string>

namespace duskwarden::provider::kde {

// Far above any real kwinrc (a few KiB).
inline constexpr std::size_t kMaxConfigBytes = 1024 * 1024;

// The whole file; an absent file reads as empty. False with `error` set when
// something else is there or it cannot be read.
bool readConfigFile(const std::string& path, std::string* text, std::string* error);

// Writes through a temporary file and a rename. A link stays a link (its
// target is replaced); a dangling link is an error, never replaced by a file.
// The file keeps its permissions (0600 for a new one).
bool writeConfigFile(const std::string& path, const std::string& text, std::string* error);

class ConfigLock {
 public:
  enum class State { held, busy, failed };

  // Waits up to `waitMs` for the lock; a lock whose holder has died (same
  // host) or that is older than 30 s is taken over, as QLockFile does.
  // Whatever happens, the lock file goes when this object does, or, if the
  // process ends first (a request in flight at exit), when it ends.
  explicit ConfigLock(const std::string& configPath, int waitMs = 2000);
  ~ConfigLock();
  ConfigLock(const ConfigLock&) = delete;
  ConfigLock& operator=(const ConfigLock&) = delete;

  bool locked() const { return state_ == State::held; }
  // busy: another program held it all along; failed: it could not be taken at all.
  State state() const { return state_; }
  const std::string& error() const { return error_; }

 private:
  std::string path_;
  State state_ = State::failed;
  std::string error_;
};

}  // namespace duskwarden::provider::kde
