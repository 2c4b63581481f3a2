#pragma once
// Starts the application at login, following one Boolean.
//
// isEnabled is read live from the app service on every read (status 1 means
// true); nothing is stored here. Every write registers (which keeps an entry
// that is already ours in place) or unregisters; a failure is logged under
// subsystem "com.velloran.LaunchAtLogin", category "main", and never
// reported to the caller.

#include "platform/appservice/AppService.h"

namespace duskwarden {

class LaunchAtLogin {
 public:
  LaunchAtLogin() = delete;

  static bool isEnabled();
  static void setEnabled(bool value);

  // Replaces the service the module uses (nullptr restores the main app service). Tests only.
  static void setServiceForTesting(AppService* service);
};

// What the Night Shift manager needs of the login item; lets tests substitute it.
class LoginItem {
 public:
  virtual ~LoginItem() = default;
  virtual bool isEnabled() = 0;
  virtual void setEnabled(bool value) = 0;
};

// The real login item: forwards to LaunchAtLogin.
class LaunchAtLoginItem final : public LoginItem {
 public:
  bool isEnabled() override { return LaunchAtLogin::isEnabled(); }
  void setEnabled(bool value) override { LaunchAtLogin::setEnabled(value); }
};

}  // namespace duskwarden
