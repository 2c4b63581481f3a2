#pragma once
// The updater: runs one user-initiated check at a time against the appcast
// named in the build information, and hands the outcome to its user driver.
//
// It never checks on its own: a tray utility should not contact the network
// unless asked. A check runs on the caller's (main) thread's event loop and
// never blocks it; a second request while a check or its result is on screen
// raises that instead of starting another.

#include "platform/bundle/BuildInfo.h"
#include "update/AppcastSource.h"
#include "update/UpdateCheck.h"

#include <memory>
#include <optional>
#include <string>

namespace duskwarden {

struct UpdaterSettings {
  std::string applicationName;
  std::string version;             // the build number, compared with the feed's versions
  std::string shortVersionString;  // shown to people
  std::string feedUrl;             // empty means updates are not configured
  std::optional<std::string> systemVersion;  // os-release VERSION_ID, if known

  static UpdaterSettings fromBuild(const BuildInfo& build, std::optional<std::string> systemVersion);

  // "1.0.0 (1)"
  std::string displayVersion() const;
};

// Turns a fetched feed into the outcome shown to the user.
UpdateCheckResult evaluateAppcast(const UpdaterSettings& settings, const FetchResult& fetched);

class SPUUpdater {
 public:
  SPUUpdater(UpdaterSettings settings, std::shared_ptr<AppcastSource> source,
             std::shared_ptr<UpdateUserDriver> userDriver);
  ~SPUUpdater();
  SPUUpdater(const SPUUpdater&) = delete;
  SPUUpdater& operator=(const SPUUpdater&) = delete;

  // Makes the updater ready for checks. Schedules nothing and contacts no one.
  void startUpdater();

  // True once started and while no check is in progress.
  bool canCheckForUpdates() const;

  // Starts a user-initiated check, or raises the one in progress.
  void checkForUpdates();

  const UpdaterSettings& settings() const { return settings_; }

 private:
  void present(UpdateCheckResult result);
  void endSession();

  UpdaterSettings settings_;
  std::shared_ptr<AppcastSource> source_;
  std::shared_ptr<UpdateUserDriver> userDriver_;
  bool started_ = false;
  bool sessionInProgress_ = false;
  // Callbacks handed out hold this weakly, so none runs after destruction.
  std::shared_ptr<SPUUpdater*> self_;
};

}  // namespace duskwarden
