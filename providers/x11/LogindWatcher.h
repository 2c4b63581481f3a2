#pragma once
// Resume and VT switches, from systemd-logind on the system bus: two moments
// at which the X server or the driver may put other gamma ramps in place,
// and which no X event reports.
//
// On a thread of its own with its own GLib main context and a private
// connection to the system bus ($DBUS_SYSTEM_BUS_ADDRESS is honoured), it
// calls `lookNow` when the Manager's PrepareForSleep(false) says the machine
// has resumed, and when our session's Active property turns true (switched
// back to our VT). Our session is $XDG_SESSION_ID's, else the one logind
// gives for our process. With no system bus, or no session, it logs once and
// watches what it can; the X11 backend works without it.

#include <functional>

#include "common/GLibLoop.h"

namespace duskwarden::provider::x11 {

class LogindWatcher {
 public:
  explicit LogindWatcher(std::function<void()> lookNow);
  // No lookNow call begins once this returns. Never blocks on the bus: a
  // connection or call still under way is cancelled.
  ~LogindWatcher();
  LogindWatcher(const LogindWatcher&) = delete;
  LogindWatcher& operator=(const LogindWatcher&) = delete;

  struct Loop;

 private:
  GLibLoopThread<Loop> loop_;
};

}  // namespace duskwarden::provider::x11
