#include "XvfbServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace duskwarden::testing {

namespace {

pid_t spawn(const std::vector<std::string>& argv, const std::string* display, int keepFd) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (display) ::setenv("DISPLAY", display->c_str(), 1);
    if (keepFd >= 0) ::fcntl(keepFd, F_SETFD, 0);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  return pid;
}

}  // namespace

XvfbServer::XvfbServer(std::vector<std::string> extraArgs) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return;
  std::vector<std::string> argv{"Xvfb", "-displayfd", std::to_string(fds[1]), "-noreset", "-nolisten", "tcp",
                                "-screen", "0", "1024x768x24"};
  argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
  pid_ = spawn(argv, nullptr, fds[1]);
  ::close(fds[1]);
  // Xvfb writes its number once it accepts connections; wait for that, not a fixed time.
  std::string text;
  pollfd pfd{fds[0], POLLIN, 0};
  while (::poll(&pfd, 1, 10000) > 0) {
    char buffer[16];
    const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.find('\n') != std::string::npos) break;
  }
  ::close(fds[0]);
  if (!text.empty() && text.find('\n') != std::string::npos) number_ = std::atoi(text.c_str());
}

XvfbServer::~XvfbServer() { kill(); }

void XvfbServer::kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

int runWithDisplay(const std::string& display, const std::vector<std::string>& argv) {
  const pid_t pid = spawn(argv, &display, -1);
  if (pid < 0) return -1;
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace duskwarden::testing
