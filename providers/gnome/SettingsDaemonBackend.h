#pragma once
// Night light where the desktop's settings daemon has one (GNOME, Wayland or
// X11; Cinnamon 6): its colour plugin, driven through its GSettings keys and
// read from its colour D-Bus object, the desktop's names in a ColorDesktop.
//
// On is "active now, whatever the schedule": night-light-enabled true,
// the schedule manual (schedule-automatic false, or schedule-mode "manual"),
// from 0.0 to 0.0 (from == to means all day), and "disabled until tomorrow"
// cleared. Whenever the schedule keys are not that recipe, on first keeps
// them in $XDG_STATE_HOME/duskwarden/<desktop>-night-light.ini
// and replaces them only once they are kept (if they cannot be kept, on
// leaves them alone and only sets night-light-enabled, so night light follows
// the user's schedule). Off puts back what was kept, unless the user has
// chosen another schedule since, and sets night-light-enabled false, so it is
// not active now. Strength is the night-light-temperature key. Enabled is
// what the daemon reports: NightLightActive && !DisabledUntilTomorrow.
//
// Reported as changes: our keys (each of our own commands is reported once,
// not once per key written), NightLightActive, DisabledUntilTomorrow and the
// daemon coming or going. Every failed request is logged with its name.

#include <functional>
#include <memory>
#include <string>

#include "backendkit/GLibLoop.h"
#include "backendkit/Backend.h"
#include "gnome/ColorService.h"

namespace duskwarden::provider::gnome {

class SettingsDaemonBackend final : public Backend {
 public:
  // The schema has every key we use and the colour service owns its name on
  // the session bus. Logs why not.
  static bool isUsable(const ColorDesktop& desktop);
  static std::unique_ptr<SettingsDaemonBackend> create(const ColorDesktop& desktop);
  // No callback runs once this returns, unless called from within the callback.
  ~SettingsDaemonBackend() override;

  void setStatusCallback(std::function<void()> callback) override;
  bool readEnabled(bool* enabled) override;
  bool readStrength(float* strength) override;
  void setEnabled(bool enabled) override;
  void setStrength(float strength, bool commit) override;
  // LOCKED for a key the administrator locked, FAILED for another failed
  // write or an unusable saved-schedule file, TIMEOUT; cleared by a command
  // that worked, or night light seen on.
  Reason reason() override;

  struct Loop;

 private:
  explicit SettingsDaemonBackend(GLibLoopThread<Loop> loop);
  std::string request(const char* what) const;
  GLibLoopThread<Loop> loop_;
};

}  // namespace duskwarden::provider::gnome
