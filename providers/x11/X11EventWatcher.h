#pragma once
// The provider's own thread for X11, on a connection of its own. It calls the
// status callback:
//  - at once, for RandR screen, CRTC and output changes (hotplug, mode set)
//    and changes of the stored temperature;
//  - after a look that finds the ramps no longer as expected. No X event
//    tells of another client's gamma write, so while our warm ramps are
//    expected it looks every verify interval, and once, a short settle after
//    anything that may have reset them: a RandR change, blanking starting or
//    ending (MIT-SCREEN-SAVER, which DPMS drives too), or lookSoon() (resume
//    and VT switches, from logind). A look only reads; nothing here writes
//    the ramps. While no warm ramps are expected it waits with no timeout.
// Looks go over a second connection (GammaReader.h), sent ahead and held in
// the server until due, so each costs the thread one wakeup: its reply.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "backendkit/WorkerThread.h"

namespace duskwarden::provider::x11 {

class X11EventWatcher {
 public:
  // Connects and starts the thread; nullptr when it cannot connect, and
  // then `*error` names the request that failed. A zero interval turns the
  // periodic look off (the event-driven ones stay).
  static std::unique_ptr<X11EventWatcher> start(std::function<void()> callback,
                                                std::chrono::milliseconds verifyInterval, std::string* error);
  // Once this returns no callback runs any more, unless it is called from
  // within the callback itself (then the thread ends right after it; see
  // backendkit/WorkerThread.h).
  ~X11EventWatcher();
  X11EventWatcher(const X11EventWatcher&) = delete;
  X11EventWatcher& operator=(const X11EventWatcher&) = delete;

  void setCallback(std::function<void()> callback);
  // Calls the callback from the watcher's thread soon: our own commands
  // change the state without any X event telling anyone.
  void notify();
  // What the ramps show from now on, as far as we know: ours, warm at
  // `kelvin`, or nothing of ours (nullopt: no looks). Also called with
  // nullopt just before we write, so that a look racing the write is dropped.
  void expect(std::optional<double> kelvin);
  // Asks for a look after the settle time; callable from any thread for as
  // long as it is kept (it holds the thread's state, not this object).
  std::function<void()> looker() const;
  // How many looks have read the ramps back so far (for tests and figures).
  int looks() const;
  // The connection broke and the thread has ended.
  bool lost() const;

  struct State;

 private:
  explicit X11EventWatcher(std::shared_ptr<State> state);
  WorkerThread<State> worker_;
};

}  // namespace duskwarden::provider::x11
