#pragma once
// Starts the program the way a launcher (an applications menu, a keyboard
// shortcut daemon) does: detached in a session of its own, in the home
// directory, with standard input from /dev/null and its output in the
// journal (or nowhere), not tied to the terminal that asked. Nothing waits
// for it to end; while the starter runs it can still see whether it did.

#include <sys/types.h>

#include <optional>
#include <string>

namespace duskwarden {

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

 private:
  BackgroundLaunch(pid_t pid, bool outputInJournal) : pid_(pid), outputInJournal_(outputInJournal) {}
  pid_t pid_;
  bool outputInJournal_;
  std::optional<int> exitStatus_;
};

}  // namespace duskwarden
