#include "loginitem/LaunchAtLogin.h"

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

bool LaunchAtLogin::isEnabled() { return service().status() == AppServiceStatus::enabled; }

void LaunchAtLogin::setEnabled(bool value) {
  AppService& s = service();
  std::optional<AppServiceError> error;
  // Registering keeps an entry that is already ours, with the keys the user
  // added, and brings only what it starts up to date.
  error = value ? s.registerService() : s.unregisterService();
  if (error) {
    logger().error("Failed to %s launch at login: %s", value ? "enable" : "disable", error->localizedDescription);
  }
}

void LaunchAtLogin::setServiceForTesting(AppService* service) { serviceOverride.store(service); }

}  // namespace duskwarden
