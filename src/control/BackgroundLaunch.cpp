#include "control/BackgroundLaunch.h"

#ifdef DW_HAVE_SYSTEMD
#include <systemd/sd-journal.h>
#endif

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "base/fd/UniqueFd.h"
#include "base/xdg/XdgPaths.h"

extern char** environ;

namespace duskwarden {

namespace {

// Where the started program's output goes: the journal, as for a program a
// desktop session starts, else nowhere. -1 when neither can be opened.
int outputDescriptor(bool* inJournal) {
#ifdef DW_HAVE_SYSTEMD
  const int journal = sd_journal_stream_fd("duskwarden", LOG_INFO, 0);
  *inJournal = journal >= 0;
  if (journal >= 0) return journal;
#endif
  *inJournal = false;
  return ::open("/dev/null", O_WRONLY | O_CLOEXEC);
}

// The descriptor number the started program finds its report on.
constexpr int kReportFd = 3;

// This process's environment with the report's variable added.
std::vector<char*> environmentWithReport(std::string* entry) {
  *entry = std::string(kStartReportVariable) + "=" + std::to_string(kReportFd);
  std::vector<char*> env;
  for (char** e = environ; *e != nullptr; ++e)
    if (std::strncmp(*e, kStartReportVariable, std::strlen(kStartReportVariable)) != 0) env.push_back(*e);
  env.push_back(entry->data());
  env.push_back(nullptr);
  return env;
}

// Owns the spawn attributes and file actions for one call.
struct SpawnSetup {
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_t actions;
  SpawnSetup() {
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_init(&actions);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
};

}  // namespace

std::optional<BackgroundLaunch> BackgroundLaunch::start(const std::string& executable, const std::string& argv0,
                                                        std::string* error) {
  SpawnSetup setup;
  // Signals as a launcher leaves them: none blocked, none ignored (a
  // terminal's nohup or a shell's background job must not carry over).
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGCHLD, SIGUSR1, SIGUSR2, SIGTSTP, SIGTTIN, SIGTTOU})
    sigaddset(&defaults, signal);
  posix_spawnattr_setsigmask(&setup.attributes, &none);
  posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
  posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  bool inJournal = false;
  const int output = outputDescriptor(&inJournal);
  posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (output >= 0) {
    posix_spawn_file_actions_adddup2(&setup.actions, output, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&setup.actions, output, STDERR_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&setup.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  }
  // Not the caller's working directory, which it may want to unmount.
  const std::filesystem::path home = userHome();
  std::error_code ec;
  const bool useHome = home.is_absolute() && std::filesystem::is_directory(home, ec);
  posix_spawn_file_actions_addchdir_np(&setup.actions, useHome ? home.c_str() : "/");

  // Why it could not start, if it cannot: a pipe whose write end it finds as
  // descriptor kReportFd (above it here, so that dup2 clears close-on-exec).
  int report[2] = {-1, -1};
  std::string reportEntry;
  std::vector<char*> env;
  if (::pipe2(report, O_CLOEXEC | O_NONBLOCK) == 0) {
    const int writeEnd = ::fcntl(report[1], F_DUPFD_CLOEXEC, kReportFd + 1);
    ::close(report[1]);
    report[1] = writeEnd;
    posix_spawn_file_actions_adddup2(&setup.actions, report[1], kReportFd);
    env = environmentWithReport(&reportEntry);
  }
  auto readEnd = std::make_shared<UniqueFd>(report[0]);

  std::string name = argv0;
  char* const argv[] = {name.data(), nullptr};
  pid_t pid = -1;
  const int rc =
      ::posix_spawn(&pid, executable.c_str(), &setup.actions, &setup.attributes, argv, env.empty() ? environ : env.data());
  if (output >= 0) ::close(output);
  if (report[1] >= 0) ::close(report[1]);
  if (rc != 0) {
    *error = executable + ": " + std::strerror(rc);
    return std::nullopt;
  }
  return BackgroundLaunch(pid, inJournal, std::move(readEnd));
}

std::string BackgroundLaunch::startError() const {
  std::string said;
  char buffer[512];
  for (ssize_t n; report_ && report_->get() >= 0 && (n = ::read(report_->get(), buffer, sizeof buffer)) > 0;)
    said.append(buffer, static_cast<std::size_t>(n));
  while (!said.empty() && (said.back() == '\n' || said.back() == '\r')) said.pop_back();
  return said;
}

bool BackgroundLaunch::running() {
  if (exitStatus_) return false;
  int status = 0;
  const pid_t done = ::waitpid(pid_, &status, WNOHANG);
  if (done == 0) return true;
  if (done == pid_) {
    exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  } else {
    exitStatus_ = -1;  // cannot be waited for (SIGCHLD ignored): no longer ours to watch
  }
  return false;
}

}  // namespace duskwarden
