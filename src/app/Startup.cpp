#include "app/Startup.h"

#include "control/BackgroundLaunch.h"
#include "platform/environment/StartEnvironment.h"
#include "base/xdg/XdgPaths.h"
#include "platform/text/Text.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <clocale>
#include <cstdio>
#include <cstdlib>

namespace duskwarden {

namespace {

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The descriptor the launcher named, made close-on-exec; -1 when none.
int takeStartReport() {
  const std::string named = env(kStartReportVariable);
  ::unsetenv(kStartReportVariable);  // not for the programs we start
  int fd = -1;
  if (named.empty() || std::from_chars(named.data(), named.data() + named.size(), fd).ec != std::errc() || fd < 0 ||
      ::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0)
    return -1;
  return fd;
}

}  // namespace

void settleEnvironment(const std::string& program) {
  for (const auto& name : dropRelativeXdgPaths())
    std::fprintf(stderr, "%s: %s\n", program.c_str(),
                 text::arg(text::translate("CommandLine", "ignoring %1: it is not an absolute path"), {name}).c_str());
  settleSessionBusAddress();
}

bool displayReachable(std::string* why) {
  const std::string platform = env("QT_QPA_PLATFORM");
  if (!platform.empty() && !platform.starts_with("xcb")) return true;  // Qt reports its own platform's errors
  if (platform.empty() && !env("WAYLAND_DISPLAY").empty()) return true;
  const std::string display = env("DISPLAY");
  if (display.empty()) {
    *why = text::translate("CommandLine", "no display (DISPLAY is not set); start it inside a desktop session");
    return false;
  }
  Display* connection = XOpenDisplay(display.c_str());
  if (!connection) {
    *why = text::arg(text::translate("CommandLine", "cannot open display '%1'"), {display});
    return false;
  }
  XCloseDisplay(connection);
  return true;
}

void keepSystemMessagesEnglish() { std::setlocale(LC_MESSAGES, "C"); }

QString runtimeDirectory(const std::string& program, std::size_t longestName) {
  const auto dir = usableRuntimeDirectory(longestName);
  const auto problem = runtimeDirectoryProblem(longestName);
  if (dir && problem) {
    const std::string given = env("XDG_RUNTIME_DIR");
    const std::string line =
        *problem == RuntimeDirectoryProblem::unset
            ? text::arg(text::translate("CommandLine", "XDG_RUNTIME_DIR is not set; using %1"), {dir->string()})
        : *problem == RuntimeDirectoryProblem::tooLong
            ? text::arg(text::translate("CommandLine", "XDG_RUNTIME_DIR (%1) is too long for a socket path; using %2"),
                        {given, dir->string()})
            : text::arg(text::translate("CommandLine", "XDG_RUNTIME_DIR (%1) is not a directory; using %2"),
                        {given, dir->string()});
    std::fprintf(stderr, "%s: %s\n", program.c_str(), line.c_str());
  }
  return dir ? QString::fromStdString(dir->string()) : QString();
}

StartReport::StartReport() : fd_(takeStartReport()) {}

int StartReport::fail(const std::string& program, const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", program.c_str(), message.c_str());
  if (fd_.get() >= 0) [[maybe_unused]] const ssize_t n = ::write(fd_.get(), message.data(), message.size());
  return 1;
}

PlatformChoice::PlatformChoice(const DesktopSession& session) {
  if (auto platform = preferredQtPlatform(session)) {
    ::setenv("QT_QPA_PLATFORM", platform->c_str(), 1);
    chosen_ = true;
  }
}

void PlatformChoice::toolkitStarted() {
  if (chosen_) ::unsetenv("QT_QPA_PLATFORM");
}

TerminationSignals::TerminationSignals() {
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
  writeEnd = pipe_[1];
  notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
    char numbers[16];
    while (::read(pipe_[0], numbers, sizeof numbers) > 0) {
    }
    requested_ = true;
    QCoreApplication::quit();
  });
  struct sigaction action {};
  action.sa_handler = &TerminationSignals::handle;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    // One ignored by whoever started us (nohup, a background job) stays ignored.
    struct sigaction previous {};
    if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

TerminationSignals::~TerminationSignals() = default;

void TerminationSignals::handle(int signal) {
  const int saved = errno;
  const char byte = static_cast<char>(signal);
  [[maybe_unused]] const ssize_t ignored = ::write(writeEnd, &byte, 1);
  errno = saved;
}

}  // namespace duskwarden
