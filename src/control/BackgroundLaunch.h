#pragma once
// Starts the program the way a launcher (an applications menu, a keyboard
// shortcut daemon) does: detached in a session of its own, in the home
// directory, with standard input from /dev/null and its output in the
// journal (or nowhere), not tied to the terminal that asked. Nothing waits
// for it to end; while the starter runs it can still see whether it did, and
// what it said when it could not start: the started program finds a
// descriptor for that named by kStartReportVariable.

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>

namespace duskwarden {

class UniqueFd;

// Names the descriptor on which a program started this way says why it
// could not start (app/Startup.h: StartReport).
inline constexpr const char* kStartReportVariable = "DUSKWARDEN_START_REPORT_FD";

class BackgroundLaunch {
 public:
  // Starts `executable` with `argv0` as its name and no arguments, in this
  // process's environment. Nothing, with `error` set, when it cannot.
  static std::optional<BackgroundLaunch> start(const std::string& executable, const std::string& argv0,
                                               std::string* error);

  // True while the process runs; once it has ended, exitStatus() says how.
  bool running();
  // The exit status, or 128 + the signal that ended it; nothing while it runs.
  std::optional<int> exitStatus() const { return exitStatus_; }
  pid_t pid() const { return pid_; }
  // Whether its output goes to the journal; otherwise it goes nowhere.
  bool outputInJournal() const { return outputInJournal_; }
  // What it said when it could not start, once it has ended; empty when
  // nothing (or when asked before). Read once.
  std::string startError() const;

 private:
  BackgroundLaunch(pid_t pid, bool outputInJournal, std::shared_ptr<UniqueFd> report)
      : pid_(pid), outputInJournal_(outputInJournal), report_(std::move(report)) {}
  pid_t pid_;
  bool outputInJournal_;
  std::shared_ptr<UniqueFd> report_;  // the read end
  std::optional<int> exitStatus_;
};

}  // namespace duskwarden
