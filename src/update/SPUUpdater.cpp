#include "update/SPUUpdater.h"

#include "platform/log/Logger.h"
#include "update/Version.h"

#include <QUrl>

namespace duskwarden {

namespace {
constexpr std::string_view kLogCategory = "Updater";
}  // namespace

UpdaterSettings UpdaterSettings::fromBuild(const BuildInfo& build, std::optional<std::string> systemVersion) {
  return {build.name, build.version, build.shortVersion, build.feedUrl, std::move(systemVersion)};
}

std::string UpdaterSettings::displayVersion() const {
  if (shortVersionString.empty() || shortVersionString == version) return version;
  return shortVersionString + " (" + version + ")";
}

UpdateCheckResult evaluateAppcast(const UpdaterSettings& settings, const FetchResult& fetched) {
  UpdateCheckResult result;
  result.applicationName = settings.applicationName;
  result.currentVersion = settings.displayVersion();
  if (!fetched.ok) {
    result.kind = UpdateCheckResult::Kind::error;
    result.errorMessage = fetched.error;
    return result;
  }
  const auto parsed = parseAppcast(fetched.body);
  if (!parsed.appcast) {
    result.kind = UpdateCheckResult::Kind::error;
    result.errorMessage = parsed.error;
    return result;
  }
  const Appcast& appcast = *parsed.appcast;
  if (appcast.items.empty() && !appcast.skipped.empty()) {
    // Every release listed was unreadable: saying "up to date" would hide a broken feed.
    result.kind = UpdateCheckResult::Kind::error;
    result.errorMessage = "The update feed lists no release that could be read. " + appcast.skipped.front();
    return result;
  }
  const auto best = bestAppcastItem(appcast.items, settings.systemVersion);
  if (best && compareVersions(best->version, settings.version) > 0) {
    result.kind = UpdateCheckResult::Kind::updateAvailable;
    result.item = *best;
  } else {
    result.kind = UpdateCheckResult::Kind::upToDate;
  }
  return result;
}

SPUUpdater::SPUUpdater(UpdaterSettings settings, std::shared_ptr<AppcastSource> source,
                       std::shared_ptr<UpdateUserDriver> userDriver)
    : settings_(std::move(settings)),
      source_(std::move(source)),
      userDriver_(std::move(userDriver)),
      self_(std::make_shared<SPUUpdater*>(this)) {}

SPUUpdater::~SPUUpdater() {
  self_.reset();
  if (sessionInProgress_ && source_) source_->cancel();
}

void SPUUpdater::startUpdater() {
  if (started_) return;
  started_ = true;
  logger(kLogCategory)
      .log("Updater started; automatic checks: %{bool,public}d, feed configured: %{bool,public}d", false,
           !settings_.feedUrl.empty());
}

bool SPUUpdater::canCheckForUpdates() const { return started_ && !sessionInProgress_; }

void SPUUpdater::checkForUpdates() {
  if (!started_) {
    logger(kLogCategory).error("Update check asked for before the updater was started");
    return;
  }
  if (sessionInProgress_) {
    userDriver_->bringToFront();
    return;
  }
  sessionInProgress_ = true;
  logger(kLogCategory).log("User-initiated update check");

  if (settings_.feedUrl.empty()) {
    UpdateCheckResult result;
    result.kind = UpdateCheckResult::Kind::notConfigured;
    result.applicationName = settings_.applicationName;
    result.currentVersion = settings_.displayVersion();
    present(std::move(result));
    return;
  }

  std::weak_ptr<SPUUpdater*> weak = self_;
  userDriver_->showChecking([weak] {
    if (auto self = weak.lock()) {
      logger(kLogCategory).log("Update check cancelled");
      (*self)->source_->cancel();
      (*self)->endSession();
    }
  });
  source_->fetch(QUrl(QString::fromStdString(settings_.feedUrl)), [weak](FetchResult fetched) {
    if (auto self = weak.lock()) (*self)->present(evaluateAppcast((*self)->settings_, fetched));
  });
}

void SPUUpdater::present(UpdateCheckResult result) {
  switch (result.kind) {
    case UpdateCheckResult::Kind::updateAvailable:
      logger(kLogCategory).log("Update available: %s", result.item.displayVersion());
      break;
    case UpdateCheckResult::Kind::upToDate:
      logger(kLogCategory).log("Up to date: %s", result.currentVersion);
      break;
    case UpdateCheckResult::Kind::notConfigured:
      logger(kLogCategory).log("Updates are not configured for this build");
      break;
    case UpdateCheckResult::Kind::error:
      logger(kLogCategory).error("Update check failed: %{public}s", result.errorMessage);
      break;
  }
  std::weak_ptr<SPUUpdater*> weak = self_;
  userDriver_->showResult(result, [weak] {
    if (auto self = weak.lock()) (*self)->endSession();
  });
}

void SPUUpdater::endSession() { sessionInProgress_ = false; }

}  // namespace duskwarden
