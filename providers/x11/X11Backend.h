#pragma once
// Night light on any X11 session: warm gamma ramps on every RandR CRTC.
// The state lives in the X server (the ramps themselves, and the committed
// temperature on the root window), never in a flag of ours.
//
// Resets are noticed at once when an event tells of them (RandR changes;
// resume and VT switches through logind, blanking through MIT-SCREEN-SAVER,
// each followed by a look at the ramps); another program's gamma write tells
// nothing, so while on the ramps are read back every
// DUSKWARDEN_X11_VERIFY_SECONDS (10 by default, 0: never). A difference is
// reported as a status change; only the caller's commands write ramps.
//
// Never on Xwayland, forced or not: its ramps reach no screen, so warmth
// written there would be reported as on while the screen stays cold. An
// Xwayland server (see isXwayland()), or a session whose WAYLAND_DISPLAY or
// XDG_SESSION_TYPE=wayland says it is Wayland, is refused with a log line.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/callback/CallbackSlot.h"
#include "backendkit/Log.h"
#include "backendkit/Backend.h"

namespace duskwarden::provider::x11 {

class XDisplay;
class X11EventWatcher;
class LogindWatcher;
struct RampState;

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

  // How many times the ramps were read back to look for a reset.
  int looksForTesting() const;

 private:
  X11Backend() = default;
  // (Re)connects after the X connection was lost; false while it cannot.
  bool connected();
  void changed();
  // Tells the event watcher what the ramps show, so that it looks only while
  // warm ramps of ours are there.
  void expect(std::optional<double> kelvin);
  // Logs a failed request once per cause; a success ends the quiet.
  void report(LogOnce& failures, bool ok, const std::string& error);

  CallbackSlot callback_;  // handed to every new event watcher
  CallbackSlot lookNow_;   // asks the current event watcher for a look
  std::chrono::milliseconds verifyInterval_{};
  std::unique_ptr<XDisplay> commands_;
  std::unique_ptr<X11EventWatcher> watcher_;
  std::unique_ptr<LogindWatcher> logind_;
  LogOnce connectFailures_, readFailures_, writeFailures_;
};

}  // namespace duskwarden::provider::x11
