#include "GnomeSession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "Wait.h"

namespace duskwarden::testing {

namespace {

constexpr const char* kSchema = "org.gnome.settings-daemon.plugins.color";

pid_t spawn(const std::vector<std::string>& argv, int outFd, int keepFd) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (outFd >= 0) ::dup2(outFd, STDOUT_FILENO);
    if (keepFd >= 0) ::fcntl(keepFd, F_SETFD, 0);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  return pid;
}

std::string readLine(int fd, int timeoutMs) {
  std::string text;
  pollfd pfd{fd, POLLIN, 0};
  while (text.find('\n') == std::string::npos && ::poll(&pfd, 1, timeoutMs) > 0) {
    char buffer[256];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

void stop(pid_t& pid, int signal) {
  if (pid <= 0) return;
  ::kill(pid, signal);
  ::waitpid(pid, nullptr, 0);
  pid = -1;
}

}  // namespace

GnomeSession::GnomeSession() {
  // gsd-color is a GTK program: keep it from activating the accessibility bus.
  ::setenv("NO_AT_BRIDGE", "1", 1);
  ::setenv("GTK_A11Y", "none", 1);
  ::unsetenv("GSETTINGS_BACKEND");
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return;
  busPid_ = spawn({"dbus-daemon", "--session", "--nofork", "--nosyslog", "--print-address=" + std::to_string(fds[1])},
                  -1, fds[1]);
  ::close(fds[1]);
  address_ = readLine(fds[0], 10000);
  ::close(fds[0]);
  if (address_.empty()) return;
  ::setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
  xvfb_ = std::make_unique<XvfbServer>();
  if (xvfb_->running()) ::setenv("DISPLAY", xvfb_->name().c_str(), 1);
}

GnomeSession::~GnomeSession() {
  killDaemon();
  xvfb_.reset();
  stop(busPid_, SIGTERM);  // dconf-service leaves with its bus
}

bool GnomeSession::startDaemon() {
  int ended = 0;
  if (daemonPid_ > 0 && ::waitpid(daemonPid_, &ended, WNOHANG) == daemonPid_) {
    // Not ended by a test: say how, so a later failure has its cause, and start anew.
    std::fprintf(stderr, "gsd-color (pid %d) had ended by itself: %s %d\n", daemonPid_,
                 WIFSIGNALED(ended) ? "signal" : "exit status",
                 WIFSIGNALED(ended) ? WTERMSIG(ended) : WEXITSTATUS(ended));
    daemonPid_ = -1;
  }
  if (daemonPid_ > 0) return true;
  daemonPid_ = spawn({"/usr/libexec/gsd-color"}, -1, -1);
  // gdbus wait blocks until the name appears: event-driven, bounded.
  int status = -1;
  run({"timeout", "10", "gdbus", "wait", "--session", "org.gnome.SettingsDaemon.Color"}, &status);
  return status == 0;
}

void GnomeSession::killDaemon() {
  if (daemonPid_ <= 0) return;
  stop(daemonPid_, SIGKILL);
  // The bus drops a dead owner's name a moment after the process is reaped.
  // A daemon started before that finds the name taken and quits quietly, so
  // wait for the name to go (there is no "vanished" wait to block on).
  EXPECT_TRUE(waitUntil("gsd-color's name to leave the bus", [&] {
    return run({"gdbus", "call", "--session", "-d", "org.freedesktop.DBus", "-o", "/org/freedesktop/DBus", "-m",
                "org.freedesktop.DBus.NameHasOwner", "org.gnome.SettingsDaemon.Color"}) != "(true,)";
  }, std::chrono::seconds(10)));
}

std::string GnomeSession::run(const std::vector<std::string>& argv, int* status) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return {};
  const pid_t pid = spawn(argv, fds[1], -1);
  ::close(fds[1]);
  std::string out;
  char buffer[512];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int st = 0;
  ::waitpid(pid, &st, 0);
  if (status) *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

std::string GnomeSession::gsettingsGet(const std::string& key) { return run({"gsettings", "get", kSchema, key}); }

bool GnomeSession::gsettingsSet(const std::string& key, const std::string& value) {
  int status = -1;
  run({"gsettings", "set", kSchema, key, value}, &status);
  return status == 0;
}

void GnomeSession::resetKeys() { run({"gsettings", "reset-recursively", kSchema}); }

}  // namespace duskwarden::testing
