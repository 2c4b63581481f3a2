#pragma once
// systemd-logind as python3-dbusmock's template, on a private bus that this
// process uses as its system bus (DBUS_SYSTEM_BUS_ADDRESS is set while it
// lives): for resume (PrepareForSleep) and VT switches (a session's Active).

#include <sys/types.h>

#include <string>
#include <vector>

namespace duskwarden::testing {

class LogindMock {
 public:
  LogindMock();  // waits until the mock owns its name
  ~LogindMock();
  LogindMock(const LogindMock&) = delete;
  LogindMock& operator=(const LogindMock&) = delete;
  bool ok() const { return ok_; }

  // A session of our user; returns its object path.
  std::string addSession(const std::string& id);
  void setActive(const std::string& sessionPath, bool active);
  void prepareForSleep(bool starting);

 private:
  bool gdbus(std::vector<std::string> args, std::string* out = nullptr);
  pid_t busPid_ = -1, mockPid_ = -1;
  std::string oldAddress_;
  bool hadAddress_ = false, ok_ = false;
};

}  // namespace duskwarden::testing
