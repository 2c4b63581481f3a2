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

// What the Night Shift manager needs of the login item; lets tests substitute it.
class LoginItem {
 public:
  virtual ~LoginItem() = default;
  virtual bool isEnabled() = 0;
  virtual void setEnabled(bool value) = 0;
};

// The real login item, over the app service the process entry hands it.
class LaunchAtLogin final : public LoginItem {
 public:
  explicit LaunchAtLogin(AppService& service) : service_(service) {}

  bool isEnabled() override;
  void setEnabled(bool value) override;

 private:
  AppService& service_;
};

}  // namespace duskwarden
