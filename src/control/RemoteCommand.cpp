#include "control/RemoteCommand.h"

#include "base/loader/Executable.h"
#include "control/BackgroundLaunch.h"
#include "control/InstanceClient.h"
#include "control/InstanceProtocol.h"
#include "control/OutcomeWords.h"
#include "control/SingleInstance.h"
#include "base/xdg/XdgPaths.h"
#include "platform/text/Text.h"

#include <QFile>

#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

namespace duskwarden {

namespace {

namespace protocol = instanceprotocol;
using Outcome = InstanceAnswer::Outcome;

// A running copy answers within its own answer timeout (5 s) of reading the line.
constexpr int kRunningCopyTimeoutMs = 8000;
// A copy we start needs its display, toolkit and socket first; on a busy
// machine that is a few seconds.
constexpr int kStartedCopyTimeoutMs = 20000;
// The answer's way back, after the running copy's deadline and before ours.
constexpr double kAnswerMarginSeconds = 1.0;

// The request, with the deadline after which the running copy must drop it:
// the client has said "did not answer" by then.
std::string requestFor(const CommandLine& options, int timeoutMs) {
  const double deadline = protocol::monotonicNow() + timeoutMs / 1000.0 - kAnswerMarginSeconds;
  std::vector<std::string> arguments;
  if (!options.value.empty()) arguments.push_back(options.value);
  return protocol::requestLine(options.command->word, arguments, deadline);
}

class Session {
 public:
  Session(const CommandLine& options, std::string program, const BuildInfo& build)
      : options_(options), command_(*options.command), program_(std::move(program)), name_(build.name) {}

  int run();

 private:
  int fail(const std::string& message) const {
    std::fprintf(stderr, "%s: %s\n", program_.c_str(), message.c_str());
    return kExitFailed;
  }
  int notRunning() const;
  int follow() const;
  int report(const InstanceAnswer& answer, const std::optional<BackgroundLaunch>& started) const;
  int reportAnswer(const std::string& line) const;
  std::string goal() const;

  const CommandLine& options_;
  const Command& command_;
  std::string program_;
  std::string socket_;
  QString lock_;
  std::string name_;
};

int Session::run() {
  const QString id = QString::fromLatin1(kBundleIdentifier);
  // The running copy's own choice, made the same way.
  const auto runtime = usableRuntimeDirectory(SingleInstance::longestFileName(id));
  if (!runtime)
    return fail(text::translate("CommandLine",
                                "no runtime directory: XDG_RUNTIME_DIR is not set and no private one could be made"));
  const QString directory = QString::fromStdString(runtime->string());
  socket_ = QFile::encodeName(SingleInstance::socketPath(directory, id)).toStdString();
  lock_ = SingleInstance::lockPath(directory, id);
  if (options_.follow) return follow();
  // A copy that holds the lock is running or about to listen: worth waiting for.
  InstanceAnswer answer = ask(socket_, requestFor(options_, kRunningCopyTimeoutMs), kRunningCopyTimeoutMs,
                              [this] { return SingleInstance::isHeld(lock_); });
  std::optional<BackgroundLaunch> started;
  if (answer.outcome == Outcome::notListening && !SingleInstance::isHeld(lock_)) {
    if (!command_.startsProgram) return notRunning();
    const auto self = loader::executablePath();
    std::string error;
    started = BackgroundLaunch::start(self ? self->string() : program_, program_, &error);
    if (!started) return fail(text::arg(text::translate("CommandLine", "cannot start %1: %2"), {name_, error}));
    answer = ask(socket_, requestFor(options_, kStartedCopyTimeoutMs), kStartedCopyTimeoutMs,
                 [this, &started] { return started->running() || SingleInstance::isHeld(lock_); });
  }
  return report(answer, started);
}

int Session::notRunning() const {
  // Output for scripts stays empty: the exit status says it.
  const std::string line = text::arg(text::translate("CommandLine", "%1 is not running"), {name_});
  std::fprintf(options_.forScripts ? stderr : stdout, "%s\n", line.c_str());
  return kExitNotRunning;
}

// Prints the answer now and at each change the running copy pushes, until
// it closes the connection. Between changes this process sleeps in one read.
int Session::follow() const {
  std::string printed;
  bool followed = false;
  const auto more = [&](std::string_view line) {
    const auto shown = command_.show(line, options_.format);
    if (!shown) return false;  // an error: reported below
    followed = true;
    // A change this form does not show (a status read confirming a value) prints nothing.
    if (*shown != printed) {
      printed = *shown;
      std::printf("%s\n", shown->c_str());
      std::fflush(stdout);
    }
    return true;
  };
  const auto answer = ask(socket_, protocol::requestLine(protocol::kFollow, {std::string(command_.word)}),
                          kRunningCopyTimeoutMs, [this] { return SingleInstance::isHeld(lock_); }, more);
  if (!followed) {
    if (answer.outcome == Outcome::notListening && !SingleInstance::isHeld(lock_)) return notRunning();
    if (answer.outcome == Outcome::answered && answer.line == protocol::kErrorBusy)
      return fail(text::arg(
          text::translate("CommandLine", "the running %1 has as many followers as it takes; stop one and try again"),
          {name_}));
    return report(answer, std::nullopt);
  }
  // The copy that quits lets go of its lock before its connections; one
  // that is killed, at about the same moment. Still held a second later: it
  // runs, and dropped this follower for falling behind.
  for (int i = 0; i < 20 && SingleInstance::isHeld(lock_); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if (SingleInstance::isHeld(lock_))
    return fail(text::arg(text::translate("CommandLine", "the running %1 stopped sending to this follower"), {name_}));
  return notRunning();
}

int Session::report(const InstanceAnswer& answer, const std::optional<BackgroundLaunch>& started) const {
  switch (answer.outcome) {
    case Outcome::answered:
      return reportAnswer(answer.line);
    case Outcome::foreignPeer:
      return fail(text::arg(text::translate("CommandLine", "%1 belongs to another user; nothing was sent"), {socket_}));
    case Outcome::noAnswer:
      return fail(text::arg(text::translate("CommandLine", "the running %1 did not answer"), {name_}));
    case Outcome::notListening:
      break;
  }
  const std::string said = started && started->exitStatus() ? started->startError() : std::string();
  if (!said.empty() && *started->exitStatus() > 0)
    return fail(text::arg(text::translate("CommandLine", "%1 was started but ended with status %2: %3"),
                          {name_, std::to_string(*started->exitStatus()), said}));
  if (started && started->exitStatus() && *started->exitStatus() > 0)
    return fail(text::arg(
        started->outputInJournal()
            ? text::translate("CommandLine",
                              "%1 was started but ended with status %2; its messages are in the journal "
                              "(journalctl SYSLOG_IDENTIFIER=duskwarden)")
            : text::translate("CommandLine",
                              "%1 was started but ended with status %2; nothing kept its messages (no journal "
                              "here); start %3 in a terminal to see them"),
        {name_, std::to_string(*started->exitStatus()), program_}));
  if (started)
    return fail(
        text::arg(text::translate("CommandLine", "%1 was started but did not open %2 in time"), {name_, socket_}));
  return fail(text::arg(text::translate("CommandLine", "a running %1 holds %2 but does not answer on %3"),
                        {name_, QFile::encodeName(lock_).toStdString(), socket_}));
}

int Session::reportAnswer(const std::string& line) const {
  if (!command_.show) {
    if (const auto outcome = protocol::parseOutcome(line)) {
      const OutcomeWord& word = outcomeWord(outcome->kind);
      if (word.said) std::fprintf(stderr, "%s: %s\n", program_.c_str(), word.said(*outcome, goal(), name_).c_str());
      return word.exitStatus;
    }
  }
  // Its deadline passed before the running copy got to it: dropped, as if it never came.
  if (line == protocol::kErrorTimeout)
    return fail(text::arg(text::translate("CommandLine", "the running %1 did not answer"), {name_}));
  if (line == protocol::kErrorUnsupportedVersion)
    return fail(text::arg(
        text::translate("CommandLine",
                        "the running %1 is another version and does not know this command; quit it and try again"),
        {name_}));
  if (command_.show) {
    if (const auto shown = command_.show(line, options_.format)) {
      std::printf("%s\n", shown->c_str());
      return kExitDone;
    }
  }
  std::string shown = line;  // whatever it is, not raw bytes on the terminal
  for (char& c : shown)
    if (c < ' ' || c > '~') c = '?';
  return fail(text::arg(text::translate("CommandLine", "the running %1 answered: %2"), {name_, shown}));
}

std::string Session::goal() const {
  return command_.goal.empty()
             ? text::arg(text::translate("CommandLine", "carry out %1"), {std::string(command_.option)})
             : text::translate("CommandLine", command_.goal.data());
}

}  // namespace

int runRemoteCommand(const CommandLine& options, const std::string& program, const BuildInfo& build) {
  return Session(options, program, build).run();
}

}  // namespace duskwarden
