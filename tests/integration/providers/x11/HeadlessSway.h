#pragma once
// A real sway for one test, headless, with Xwayland enabled: the X server of
// a Wayland session. sway refuses to run as root, so under root it runs as
// nobody (65534) and lets root's X clients in with xhost. Stopped with all
// its children (Xwayland) when destroyed.

#include <sys/types.h>

#include <string>

namespace duskwarden::testing {

class HeadlessSway {
 public:
  HeadlessSway();  // waits (bounded) until sway names its X display
  ~HeadlessSway();
  HeadlessSway(const HeadlessSway&) = delete;
  HeadlessSway& operator=(const HeadlessSway&) = delete;

  bool running() const { return pid_ > 0 && !xDisplay_.empty(); }
  // Xwayland's display (":1"); Xwayland starts on the first connection.
  const std::string& xDisplay() const { return xDisplay_; }
  // sway's own output, for a failed start.
  std::string log() const;

 private:
  pid_t pid_ = -1;
  std::string dir_;
  std::string xDisplay_;
};

}  // namespace duskwarden::testing
