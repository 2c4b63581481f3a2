#pragma once
// The app service over an XDG autostart entry for the running executable.
//
// The entry is `<directory>/<bundle identifier>.desktop`, starting the
// running executable with `--autostart`. An entry counts as ours when its
// Exec line starts the running executable (with or without that argument, so
// entries of earlier versions keep working). Registering writes a new entry
// only when there is none; an entry that is ours already (also one we wrote
// for this program at another path, an earlier install) is kept in place,
// and only its Exec and TryExec are brought up to date when they are stale:
// the keys the user added (X-GNOME-Autostart-Delay, ...) and every other byte
// stay. Either write is an atomic replace, so a failed one (a full disk)
// leaves the old entry as it was.
//
// Anything else under that name is the user's: an entry of their own that
// starts something else, one switched off in the startup settings, or a file
// that cannot be read (a FIFO, a device, an oversized or malformed file). It
// reads as requiring approval, register refuses to replace it and says why,
// and unregister leaves it alone. Reads never block: only a small regular
// file (or a link to one) is read; a link is written through, and stays.

#include "loginitem/AppService.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace duskwarden {

class AutostartAppService final : public AppService {
 public:
  using ExecutableProvider = std::function<std::optional<std::filesystem::path>()>;

  // `name` is the application's, for the entry and for what is said of it.
  AutostartAppService(std::filesystem::path autostartDirectory, ExecutableProvider executable,
                      std::string name);

  AppServiceStatus status() override;
  std::optional<AppServiceError> registerService() override;
  std::optional<AppServiceError> unregisterService() override;

  const std::filesystem::path& entryPath() const { return entryPath_; }

  // $XDG_CONFIG_HOME/autostart, or ~/.config/autostart when that variable is
  // unset, empty or relative (which the base-directory rules say to ignore).
  static std::filesystem::path userAutostartDirectory();

  // The running executable from /proc/self/exe. When the file was replaced
  // while running (a package upgrade), the path still holds an executable and
  // is returned; when it was deleted for good, nothing is.
  static std::optional<std::filesystem::path> runningExecutable();

 private:
  std::optional<std::filesystem::path> resolvedExecutable() const;

  std::filesystem::path directory_;
  std::filesystem::path entryPath_;
  ExecutableProvider executable_;
  std::string name_;
};

}  // namespace duskwarden
