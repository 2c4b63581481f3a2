#pragma once
// A private Xvfb for one test: started on a display number it picks itself
// (-displayfd, so parallel tests never collide), stopped when destroyed.

#include <sys/types.h>

#include <string>
#include <vector>

namespace duskwarden::testing {

class XvfbServer {
 public:
  // Extra arguments go to Xvfb (e.g. "-extension", "RANDR"). `display`
  // >= 0 asks for that number instead of a free one.
  explicit XvfbServer(std::vector<std::string> extraArgs = {}, int display = -1);
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  bool running() const { return pid_ > 0 && number_ >= 0; }
  int number() const { return number_; }
  std::string name() const { return ":" + std::to_string(number_); }
  // Kills the server (as a crash would).
  void kill();

 private:
  pid_t pid_ = -1;
  int number_ = -1;
};

// Runs a command with DISPLAY set to `display`; its exit status (-1 when it
// could not run). Output goes to the test's log.
int runWithDisplay(const std::string& display, const std::vector<std::string>& argv);

}  // namespace duskwarden::testing
