#include "HeadlessSway.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace duskwarden::testing {

namespace {

constexpr uid_t kNobody = 65534;

// In a forked child: drop to nobody when we are root.
void becomeUnprivileged() {
  if (::geteuid() != 0) return;
  if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(126);
}

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& log,
            bool ownGroup) {
  std::vector<char*> args, envp;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  args.push_back(nullptr);
  envp.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (ownGroup) ::setpgid(0, 0);  // so that Xwayland, its child, goes with it
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (out >= 0) {
      ::dup2(out, STDOUT_FILENO);
      ::dup2(out, STDERR_FILENO);
    }
    becomeUnprivileged();
    ::execve(args[0], args.data(), envp.data());
    ::_exit(127);
  }
  return pid;
}

}  // namespace

HeadlessSway::HeadlessSway() {
  // Outside the test's private root: nobody must be able to reach it.
  std::string tmpl = "/tmp/duskwarden-sway-XXXXXX";
  if (!::mkdtemp(tmpl.data())) return;
  dir_ = tmpl;
  const std::string runtime = dir_ + "/runtime", fifo = dir_ + "/display", config = dir_ + "/config";
  ::mkdir(runtime.c_str(), 0700);
  ::mkfifo(fifo.c_str(), 0600);
  std::ofstream(config) << "xwayland enable\n"
                        << "exec sh -c 'echo \"$DISPLAY\" > " << fifo << "'\n";
  if (::geteuid() == 0) {
    ::chmod(dir_.c_str(), 0755);
    for (const auto& path : {dir_, runtime, fifo, config})
      if (::chown(path.c_str(), kNobody, kNobody) != 0) return;
  }
  const std::vector<std::string> env{"PATH=/usr/bin:/bin", "HOME=" + dir_, "XDG_RUNTIME_DIR=" + runtime,
                                     "WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman"};
  // Opened before sway starts, without blocking; poll then waits for its line.
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (reader < 0) return;
  pid_ = spawn({"/usr/bin/sway", "-c", config}, env, dir_ + "/sway.log", true);
  std::string text;
  pollfd pfd{reader, POLLIN, 0};
  while (text.find('\n') == std::string::npos && ::poll(&pfd, 1, 15000) > 0) {
    char buffer[64];
    const ssize_t n = ::read(reader, buffer, sizeof buffer);
    if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
    if (n == 0 && (pfd.revents & POLLHUP)) break;
  }
  ::close(reader);
  if (const auto end = text.find('\n'); end != std::string::npos && text[0] == ':') xDisplay_ = text.substr(0, end);
  if (xDisplay_.empty() || ::geteuid() != 0) return;
  // Xwayland admits its own user only.
  const pid_t xhost = spawn({"/usr/bin/xhost", "+si:localuser:root"}, {"PATH=/usr/bin:/bin", "DISPLAY=" + xDisplay_},
                            dir_ + "/xhost.log", false);
  int status = 0;
  if (::waitpid(xhost, &status, 0) != xhost || !WIFEXITED(status) || WEXITSTATUS(status) != 0) xDisplay_.clear();
}

HeadlessSway::~HeadlessSway() {
  if (pid_ > 0) {
    ::kill(-pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  if (!dir_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
}

std::string HeadlessSway::log() const {
  std::ifstream in(dir_ + "/sway.log");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace duskwarden::testing
