#pragma once
// A private Xvfb for one test: started on a display number it picks itself
// (-displayfd, so parallel tests never collide), stopped when destroyed.

#include <sys/types.h>

#include <string>
#include <vector>

namespace duskwarden::testing {

// A display no test server is on: -displayfd hands out the lowest free
// number. A test that takes a server away points DISPLAY here first, since
// the number it frees is the next server's, whichever test starts it.
inline constexpr const char* kNoServerDisplay = ":4321";

class XvfbServer {
 public:
  // Extra arguments go to Xvfb (e.g. "-extension", "RANDR").
  explicit XvfbServer(std::vector<std::string> extraArgs = {});
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  bool running() const { return pid_ > 0 && number_ >= 0; }
  std::string name() const { return ":" + std::to_string(number_); }
  // Kills the server (as a crash would); returns once it is reaped, so its
  // sockets are closed.
  void kill();

 private:
  pid_t pid_ = -1;
  int number_ = -1;
};

// Runs a command with DISPLAY set to `display`; its exit status (-1 when it
// could not run). Output goes to the test's log.
int runWithDisplay(const std::string& display, const std::vector<std::string>& argv);

}  // namespace duskwarden::testing
