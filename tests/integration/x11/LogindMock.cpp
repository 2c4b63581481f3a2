#include "LogindMock.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace duskwarden::testing {

namespace {

constexpr const char* kName = "org.freedesktop.login1";
constexpr const char* kPath = "/org/freedesktop/login1";

pid_t spawn(const std::vector<std::string>& argv, int outFd) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (outFd >= 0) ::dup2(outFd, STDOUT_FILENO);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  return pid;
}

std::string readAll(int fd, int timeoutMs, bool lineOnly) {
  std::string text;
  pollfd pfd{fd, POLLIN, 0};
  while (!(lineOnly && text.find('\n') != std::string::npos) && ::poll(&pfd, 1, timeoutMs) > 0) {
    char buffer[256];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

void stop(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
}

}  // namespace

LogindMock::LogindMock() {
  if (const char* old = std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) {
    hadAddress_ = true;
    oldAddress_ = old;
  }
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return;
  busPid_ = spawn({"dbus-daemon", "--session", "--nofork", "--nosyslog", "--print-address=1"}, fds[1]);
  ::close(fds[1]);
  const std::string address = readAll(fds[0], 10000, true);
  ::close(fds[0]);
  if (address.empty()) return;
  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
  // The system interpreter: dbusmock is a Debian package.
  mockPid_ = spawn({"/usr/bin/python3", "-m", "dbusmock", "--system", "--template", "logind"}, -1);
  ok_ = gdbus({"wait", "--system", "--timeout", "15", kName});
}

LogindMock::~LogindMock() {
  stop(mockPid_);
  stop(busPid_);
  if (hadAddress_)
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", oldAddress_.c_str(), 1);
  else
    ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

bool LogindMock::gdbus(std::vector<std::string> args, std::string* out) {
  args.insert(args.begin(), "gdbus");
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  const pid_t pid = spawn(args, fds[1]);
  ::close(fds[1]);
  const std::string text = readAll(fds[0], 30000, false);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (out) *out = text;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string LogindMock::addSession(const std::string& id) {
  std::string out;
  gdbus({"call", "--system", "--dest", kName, "--object-path", kPath, "--method",
         "org.freedesktop.DBus.Mock.AddSession", id, "seat0", "uint32 " + std::to_string(::getuid()), "tester", "true"},
        &out);
  // "(objectpath '/org/freedesktop/login1/session/c1',)"
  const auto begin = out.find('\'');
  const auto end = out.rfind('\'');
  return begin == std::string::npos || end <= begin ? std::string() : out.substr(begin + 1, end - begin - 1);
}

void LogindMock::setActive(const std::string& sessionPath, bool active) {
  gdbus({"call", "--system", "--dest", kName, "--object-path", sessionPath, "--method",
         "org.freedesktop.DBus.Mock.UpdateProperties", "org.freedesktop.login1.Session",
         std::string("{'Active': <") + (active ? "true" : "false") + ">}"});
}

void LogindMock::prepareForSleep(bool starting) {
  gdbus({"call", "--system", "--dest", kName, "--object-path", kPath, "--method", "org.freedesktop.DBus.Mock.EmitSignal",
         "org.freedesktop.login1.Manager", "PrepareForSleep", "b", std::string("[<") + (starting ? "true" : "false") + ">]"});
}

}  // namespace duskwarden::testing
