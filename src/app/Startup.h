#pragma once
// What the process settles before the toolkit starts, and the signals that
// end it: the environment, the display check, the runtime directory, the Qt
// platform choice.

#include "base/fd/UniqueFd.h"
#include "tray/DesktopSession.h"

#include <QString>

#include <cstddef>
#include <memory>
#include <string>

class QSocketNotifier;

namespace duskwarden {

// Before Qt or GLib read the environment: relative base directories count as
// unset, and D-Bus is told which session bus there is, if any, so no library
// starts one of its own that would outlive us.
void settleEnvironment(const std::string& program);

// Qt aborts when it cannot reach the display; check first so the user gets a
// sentence instead of a core dump.
bool displayReachable(std::string* why);

// The user's runtime directory, or a private one when it cannot hold a file
// named up to `longestName` bytes (said on stderr); empty when there is neither.
QString runtimeDirectory(const std::string& program, std::size_t longestName);

// Messages of the C library and GLib (strerror, GError texts) in English,
// once the toolkit has set the user's locale: they reach only the log, which
// stays English whatever the locale. Qt takes the user's language from the
// environment, not from this category, so the interface keeps it. Right after
// the toolkit starts and before our own threads (the provider's, the client
// queue) exist, since setlocale is process-wide.
void keepSystemMessagesEnglish();

// Why this start failed, for the command that launched it in the background
// (control/BackgroundLaunch.h): otherwise it would only say "ended with
// status 1" and leave the reason in the journal. Taken from the environment
// at start, before any other thread exists; nothing when it was not launched so.
class StartReport {
 public:
  StartReport();
  // Says `message` on stderr after the program's name, and to the launcher;
  // answers the exit status of a failed start.
  int fail(const std::string& program, const std::string& message);

 private:
  UniqueFd fd_;
};

// On a Wayland session with Xwayland the toolkit runs on X11 (see
// preferredQtPlatform); the choice is ours, so programs we start (a browser
// for a download page) must not inherit it.
class PlatformChoice {
 public:
  explicit PlatformChoice(const DesktopSession& session);
  void toolkitStarted();

 private:
  bool chosen_ = false;
};

// SIGTERM, SIGINT and SIGHUP end the process through the event loop, so the
// lock and the socket are removed on the way out. The handler only writes
// the signal's number to a pipe that the loop watches.
class TerminationSignals {
 public:
  TerminationSignals();
  ~TerminationSignals();
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // Whether one of the signals arrived (seen once the loop has run).
  bool requested() const { return requested_; }

 private:
  static void handle(int signal);

  static inline int writeEnd = -1;
  int pipe_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
  bool requested_ = false;
};

}  // namespace duskwarden
