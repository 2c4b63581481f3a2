#include "loginitem/LaunchAtLogin.h"

#include "platform/log/Logger.h"

namespace duskwarden {
namespace {

const Logger& logger() {
  static const Logger instance("com.velloran.LaunchAtLogin", "main");
  return instance;
}

}  // namespace

bool LaunchAtLogin::isEnabled() { return service_.status() == AppServiceStatus::enabled; }

void LaunchAtLogin::setEnabled(bool value) {
  // Registering keeps an entry that is already ours, with the keys the user
  // added, and brings only what it starts up to date.
  const std::optional<AppServiceError> error = value ? service_.registerService() : service_.unregisterService();
  if (error) {
    logger().error("Failed to %s launch at login: %s", value ? "enable" : "disable", error->localizedDescription);
  }
}

}  // namespace duskwarden
