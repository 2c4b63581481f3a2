#pragma once
// Starts the application at login, following one Boolean.
//
// isEnabled is read live from the app service on every read (status 1 means
// true); nothing is stored here. Every write registers (which keeps an entry
// that is already ours in place) or unregisters; a failure is logged under
// subsystem "com.velloran.LaunchAtLogin", category "main", and answered.

#include "platform/appservice/AppService.h"

#include <optional>
#include <string>

namespace duskwarden {

class LaunchAtLogin {
 public:
  LaunchAtLogin() = delete;

  static bool isEnabled();
  static AppServiceStatus status();
  static std::optional<AppServiceError> setEnabled(bool value);

  // Replaces the service the module uses (nullptr restores the main app service). Tests only.
  static void setServiceForTesting(AppService* service);
};

class UserDefaults;

// What the Night Shift manager needs of the login item; lets tests substitute it.
class LoginItem {
 public:
  virtual ~LoginItem() = default;
  virtual bool isEnabled() = 0;
  virtual void setEnabled(bool value) = 0;
  // The setting that launch at login follows, saved with it as one change:
  // stores `value` under `key` in `defaults` and sets launch at login to it.
  // Nothing when both are done, or when `value` is stored already (then
  // launch at login is set again, and a failure is only logged); otherwise
  // the reason, and neither has changed. This stand-in's setEnabled cannot fail.
  virtual std::optional<std::string> setEnabledWithSetting(UserDefaults& defaults, const std::string& key, bool value);
};

// The real login item: forwards to LaunchAtLogin. An entry the user owns
// (switched off in their startup settings, their own under our name) or no
// executable to start is no failure of the setting: it is logged, as always,
// and the setting is saved.
class LaunchAtLoginItem final : public LoginItem {
 public:
  bool isEnabled() override { return LaunchAtLogin::isEnabled(); }
  void setEnabled(bool value) override { LaunchAtLogin::setEnabled(value); }
  std::optional<std::string> setEnabledWithSetting(UserDefaults& defaults, const std::string& key,
                                                   bool value) override;
};

}  // namespace duskwarden
