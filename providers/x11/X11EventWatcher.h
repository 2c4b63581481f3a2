#pragma once
// The provider's own thread for X11: waits on its own connection for the
// RandR changes that reset gamma (hotplug, mode set, resume) and for changes
// of the stored temperature, and calls the status callback for each. It
// blocks in poll(); nothing is polled on a timer.

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace duskwarden::provider::x11 {

class X11EventWatcher {
 public:
  // Connects and starts the thread; nullptr when it cannot connect, and
  // then `*error` names the request that failed.
  static std::unique_ptr<X11EventWatcher> start(std::function<void()> callback, std::string* error);
  // Once this returns no callback runs any more, unless it is called from
  // within the callback itself (then the thread ends right after it; see
  // common/CallbackSlot.h).
  ~X11EventWatcher();
  X11EventWatcher(const X11EventWatcher&) = delete;
  X11EventWatcher& operator=(const X11EventWatcher&) = delete;

  void setCallback(std::function<void()> callback);
  // Calls the callback from the watcher's thread soon: our own commands
  // change the state without any X event telling anyone.
  void notify();
  // The connection broke and the thread has ended.
  bool lost() const;

  struct State;

 private:
  explicit X11EventWatcher(std::shared_ptr<State> state);
  std::shared_ptr<State> state_;
  std::thread thread_;
};

}  // namespace duskwarden::provider::x11
