#pragma once
// The wlroots backend's own thread. It blocks in poll() on the compositor's
// socket and an eventfd that the caller's commands write; while no
// compositor is connected, on an inotify watch for its socket instead.
// Nothing is polled on a timer.
//
// The caller sets a target (on or off, and the temperature); the thread
// moves the compositor toward it and reports each change of the settled
// state through the status callback. When the compositor goes away the
// state is off; when its socket comes back the thread connects again and
// restores the target.

#include <functional>
#include <memory>

#include "backendkit/Reason.h"
#include "backendkit/WorkerThread.h"
#include "wlroots/GammaSession.h"

namespace duskwarden::provider::wlroots {

class GammaLoop {
 public:
  // Starts the thread on a session already open to the compositor at
  // `socketPath`; nullptr (logged) when it cannot.
  static std::unique_ptr<GammaLoop> start(std::unique_ptr<GammaSession> session, std::string socketPath, Target target);
  // Once this returns no callback runs any more, unless it is called from
  // within the callback itself (see backendkit/WorkerThread.h). Our controls
  // are destroyed, so the compositor restores the outputs' gamma.
  ~GammaLoop();
  GammaLoop(const GammaLoop&) = delete;
  GammaLoop& operator=(const GammaLoop&) = delete;

  void setCallback(std::function<void()> callback);
  // setOn(true) is also an explicit request: outputs whose control failed
  // or was refused are asked again.
  void setOn(bool on);
  void setKelvin(double kelvin);
  Target target() const;
  // The settled state (GammaSession::enabled); off while no compositor is connected.
  bool enabled() const;
  // HELD while another client keeps an output's gamma from us; cleared when
  // on is seen, or off asked for. The backend adds its own (a failed save).
  ReasonBox& reason() const;

  struct State;

 private:
  explicit GammaLoop(std::shared_ptr<State> state);
  WorkerThread<State> worker_;
};

}  // namespace duskwarden::provider::wlroots
