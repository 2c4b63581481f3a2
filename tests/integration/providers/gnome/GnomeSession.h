#pragma once
// A private GNOME colour session for the tests of this process: its own
// dbus-daemon (so dconf and everything it activates inherit the test's
// private HOME and XDG directories), an Xvfb, and the real gsd-color, which
// can be killed and started again.

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "XvfbServer.h"

namespace duskwarden::testing {

class GnomeSession {
 public:
  GnomeSession();  // sets DBUS_SESSION_BUS_ADDRESS for this process
  ~GnomeSession();
  bool ok() const { return busPid_ > 0 && !address_.empty() && xvfb_ && xvfb_->running(); }

  bool startDaemon();  // waits until it owns its name; starts anew one that ended by itself
  void killDaemon();   // as a crash would
  bool daemonRunning() const { return daemonPid_ > 0; }

  // Runs a command on the private bus; its standard output (trimmed).
  std::string run(const std::vector<std::string>& argv, int* status = nullptr);
  std::string gsettingsGet(const std::string& key);
  bool gsettingsSet(const std::string& key, const std::string& value);
  void resetKeys();

 private:
  pid_t busPid_ = -1;
  pid_t daemonPid_ = -1;
  std::string address_;
  std::unique_ptr<XvfbServer> xvfb_;
};

}  // namespace duskwarden::testing
