#pragma once
// Night light on any X11 session: warm gamma ramps on every RandR CRTC.
// The state lives in the X server (the ramps themselves, and the committed
// temperature on the root window), never in a flag of ours.
//
// Never on Xwayland, forced or not: its ramps reach no screen, so warmth
// written there would be reported as on while the screen stays cold. An
// Xwayland server (see isXwayland()), or a session whose WAYLAND_DISPLAY or
// XDG_SESSION_TYPE=wayland says it is Wayland, is refused with a log line.

#include <functional>
#include <memory>
#include <string>

#include "common/CallbackSlot.h"
#include "common/Log.h"
#include "core/Backend.h"

namespace duskwarden::provider::x11 {

class XDisplay;
class X11EventWatcher;

// Used when nothing has been committed yet in this X session; GNOME's default.
inline constexpr double kDefaultKelvin = 2700.0;

class X11Backend final : public Backend {
 public:
  // Cheap: connects, looks for a CRTC with gamma, disconnects. Logs why not.
  static bool isUsable();
  // nullptr when the display cannot be reached, is Xwayland or has no gamma.
  static std::unique_ptr<X11Backend> create();
  ~X11Backend() override;

  void setStatusCallback(std::function<void()> callback) override;
  bool readEnabled(bool* enabled) override;
  bool readStrength(float* strength) override;
  void setEnabled(bool enabled) override;
  void setStrength(float strength, bool commit) override;

 private:
  X11Backend() = default;
  // (Re)connects after the X connection was lost; false while it cannot.
  bool connected();
  void changed();
  // Logs a failed request once per cause; a success ends the quiet.
  void report(LogOnce& failures, bool ok, const std::string& error);

  CallbackSlot callback_;  // handed to every new event watcher
  std::unique_ptr<XDisplay> commands_;
  std::unique_ptr<X11EventWatcher> watcher_;
  LogOnce connectFailures_, readFailures_, writeFailures_;
};

}  // namespace duskwarden::provider::x11
