#include "loginitem/LaunchAtLogin.h"

#include "platform/defaults/UserDefaults.h"
#include "platform/log/Logger.h"

namespace duskwarden {

std::optional<AppServiceError> LaunchAtLogin::write(bool value) {
  // Registering keeps an entry that is already ours, with the keys the user
  // added, and brings only what it starts up to date.
  auto error = value ? service_.registerService() : service_.unregisterService();
  if (error) {
    logger("main", "com.velloran.LaunchAtLogin")
        .error("Failed to %s launch at login: %s", value ? "enable" : "disable", error->localizedDescription);
  }
  return error;
}

std::optional<std::string> LoginItem::setEnabledWithSetting(UserDefaults& defaults, Setting setting, bool value) {
  const bool stored = defaults.readBool(setting) == value;
  if (auto failure = defaults.setBool(value, setting); failure && !stored) return failure;
  setEnabled(value);
  return std::nullopt;
}

std::optional<std::string> LaunchAtLogin::setEnabledWithSetting(UserDefaults& defaults, Setting setting, bool value) {
  const AppServiceStatus before = service_.status();
  const bool ours = before == AppServiceStatus::notRegistered || before == AppServiceStatus::enabled;
  if (!ours || defaults.readBool(setting) == value) return LoginItem::setEnabledWithSetting(defaults, setting, value);
  // Each half is an atomic replace or a removal; the order leaves the undo
  // that needs no space: a new entry goes again, a setting is written back.
  if (value) {
    if (auto error = write(true)) return error->localizedDescription;
    auto failure = defaults.setBool(true, setting);
    if (failure && before == AppServiceStatus::notRegistered) (void)write(false);
    return failure;
  }
  if (auto failure = defaults.setBool(false, setting)) return failure;
  if (auto error = write(false)) {
    (void)defaults.setBool(true, setting);
    return error->localizedDescription;
  }
  return std::nullopt;
}

}  // namespace duskwarden
