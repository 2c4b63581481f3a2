#include "loginitem/LaunchAtLogin.h"

#include "platform/defaults/UserDefaults.h"
#include "platform/log/Logger.h"

#include <atomic>

namespace duskwarden {
namespace {

std::atomic<AppService*> serviceOverride{nullptr};

AppService& service() {
  AppService* s = serviceOverride.load();
  return s ? *s : AppService::mainAppService();
}

const Logger& logger() {
  static const Logger instance("com.velloran.LaunchAtLogin", "main");
  return instance;
}

}  // namespace

bool LaunchAtLogin::isEnabled() { return status() == AppServiceStatus::enabled; }

AppServiceStatus LaunchAtLogin::status() { return service().status(); }

std::optional<AppServiceError> LaunchAtLogin::setEnabled(bool value) {
  AppService& s = service();
  // Registering keeps an entry that is already ours, with the keys the user
  // added, and brings only what it starts up to date.
  auto error = value ? s.registerService() : s.unregisterService();
  if (error) {
    logger().error("Failed to %s launch at login: %s", value ? "enable" : "disable", error->localizedDescription);
  }
  return error;
}

std::optional<std::string> LoginItem::setEnabledWithSetting(UserDefaults& defaults, const std::string& key,
                                                            bool value) {
  const bool stored = defaults.readBool(key) == value;
  if (auto failure = defaults.setBool(value, key); failure && !stored) return failure;
  setEnabled(value);
  return std::nullopt;
}

std::optional<std::string> LaunchAtLoginItem::setEnabledWithSetting(UserDefaults& defaults, const std::string& key,
                                                                    bool value) {
  const AppServiceStatus before = LaunchAtLogin::status();
  const bool ours = before == AppServiceStatus::notRegistered || before == AppServiceStatus::enabled;
  if (!ours || defaults.readBool(key) == value) return LoginItem::setEnabledWithSetting(defaults, key, value);
  // Each half is an atomic replace or a removal; the order leaves the undo
  // that needs no space: a new entry goes again, a setting is written back.
  if (value) {
    if (auto error = LaunchAtLogin::setEnabled(true)) return error->localizedDescription;
    auto failure = defaults.setBool(true, key);
    if (failure && before == AppServiceStatus::notRegistered) LaunchAtLogin::setEnabled(false);
    return failure;
  }
  if (auto failure = defaults.setBool(false, key)) return failure;
  if (auto error = LaunchAtLogin::setEnabled(false)) {
    (void)defaults.setBool(true, key);
    return error->localizedDescription;
  }
  return std::nullopt;
}

void LaunchAtLogin::setServiceForTesting(AppService* service) { serviceOverride.store(service); }

}  // namespace duskwarden
