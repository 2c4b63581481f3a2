#pragma once
// Resume and VT switches, from systemd-logind on the system bus: two moments
// at which the X server or the driver may put other gamma ramps in place,
// and which no X event reports.
//
// On a thread of its own with a private sd-bus connection to the system bus
// ($DBUS_SYSTEM_BUS_ADDRESS is honoured), it calls `lookNow` when the
// Manager's PrepareForSleep(false) says the machine has resumed, and when
// our session's Active property turns true (switched back to our VT). Our
// session is $XDG_SESSION_ID's, else the one logind gives for our process.
// With no system bus, or no session, it logs once and watches what it can;
// the X11 backend works without it. sd-bus (libsystemd, which the program
// maps already) rather than GDBus: the X11 backend's module links no GIO.

#include <functional>

#include "backendkit/WorkerThread.h"

namespace duskwarden::provider::x11 {

class LogindWatcher {
 public:
  explicit LogindWatcher(std::function<void()> lookNow);
  // No lookNow call begins once this returns. Never blocks on the bus:
  // every call is asynchronous, and the thread leaves its poll when woken.
  ~LogindWatcher();
  LogindWatcher(const LogindWatcher&) = delete;
  LogindWatcher& operator=(const LogindWatcher&) = delete;

  struct State;

 private:
  WorkerThread<State> worker_;
};

}  // namespace duskwarden::provider::x11
