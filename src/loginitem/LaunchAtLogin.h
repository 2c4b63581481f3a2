#pragma once
// Starts the application at login, following one Boolean.
//
// isEnabled is read live from the app service on every read (status 1 means
// true); nothing is stored here. Every write registers (which keeps an entry
// that is already ours in place) or unregisters; a failure is logged under
// subsystem "com.velloran.LaunchAtLogin", category "main", and never
// reported to the caller.

#include "loginitem/AppService.h"

#include <optional>
#include <string>

namespace duskwarden {

class UserDefaults;
enum class Setting;

// What the Night Shift manager needs of the login item; lets tests substitute it.
class LoginItem {
 public:
  virtual ~LoginItem() = default;
  virtual bool isEnabled() = 0;
  virtual void setEnabled(bool value) = 0;
  // The setting that launch at login follows, saved with it as one change:
  // stores `value` as `setting` in `defaults` and sets launch at login to it.
  // Nothing when both are done, or when `value` is stored already (then
  // launch at login is set again, and a failure is only logged); otherwise
  // the reason, and neither has changed. This stand-in's setEnabled cannot fail.
  virtual std::optional<std::string> setEnabledWithSetting(UserDefaults& defaults, Setting setting, bool value);
};

// The real login item, over the app service the process entry hands it. An
// entry the user owns (switched off in their startup settings, their own
// under our name) or no executable to start is no failure of the setting: it
// is logged, as always, and the setting is saved.
class LaunchAtLogin final : public LoginItem {
 public:
  explicit LaunchAtLogin(AppService& service) : service_(service) {}

  bool isEnabled() override { return service_.status() == AppServiceStatus::enabled; }
  void setEnabled(bool value) override { (void)write(value); }
  std::optional<std::string> setEnabledWithSetting(UserDefaults& defaults, Setting setting, bool value) override;

 private:
  std::optional<AppServiceError> write(bool value);

  AppService& service_;
};

}  // namespace duskwarden
