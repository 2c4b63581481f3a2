#pragma once
// Waiting for the desktop: at login KWin, the settings daemon or the
// compositor may come seconds after us, or be there but not answer yet.
// While a backend ranked above the one in use (or any, when none is usable)
// may still come, this watches for it, without polling: one thread sleeps in
// poll() until
//  - one of its service's names gets an owner on the session bus
//    (NameOwnerChanged), and that owner answers a Ping: a service that is
//    there but stopped (a loaded machine at login) is asked once and answers
//    when it runs again;
//  - the socket WAYLAND_DISPLAY names appears (a compositor starting, or
//    starting again).
// Then it calls `retry` with that backend's entry, on its own thread.

#include <functional>
#include <memory>
#include <vector>

#include "backendkit/Backend.h"
#include "backendkit/WorkerThread.h"

namespace duskwarden::provider {

class BackendWatch {
 public:
  using Retry = std::function<void(const BackendEntry& entry)>;
  // Nothing when there is nothing to watch for (no session bus, no names, no
  // Wayland socket); logs why a part of the watch could not be set up.
  static std::unique_ptr<BackendWatch> start(std::vector<const BackendEntry*> entries, Retry retry);
  // Stops the thread; no retry begins after this (one running ends first,
  // unless this is called from within it).
  ~BackendWatch();

  struct State;

 private:
  explicit BackendWatch(std::shared_ptr<State> state);
  WorkerThread<State> thread_;
};

}  // namespace duskwarden::provider
