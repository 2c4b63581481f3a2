#include "control/RemoteCommand.h"

#include "control/BackgroundLaunch.h"
#include "control/CommandOutcome.h"
#include "control/InstanceClient.h"
#include "control/InstanceProtocol.h"
#include "control/SingleInstance.h"
#include "decimal/Decimal.h"
#include "nightshift/NightShiftManager.h"
#include "platform/common/XdgPaths.h"
#include "platform/log/Logger.h"
#include "platform/text/Text.h"

#include <QFile>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

namespace duskwarden {

namespace {

namespace protocol = instanceprotocol;
using Outcome = InstanceAnswer::Outcome;

// A running copy answers within its own answer timeout (5 s) of reading the line.
constexpr int kRunningCopyTimeoutMs = 8000;
// A copy we start needs its display, toolkit and socket first; on a busy
// machine that is a few seconds.
constexpr int kStartedCopyTimeoutMs = 20000;

std::string requestFor(const CommandLine& options) {
  if (options.value.empty()) return protocol::requestLine(options.command->word);
  return protocol::requestLine(options.command->word, {options.value});
}

class Session {
 public:
  Session(const CommandLine& options, std::string program, const Bundle& bundle)
      : options_(options),
        command_(*options.command),
        program_(std::move(program)),
        name_(bundle.stringForKey("CFBundleName").value_or("Duskwarden")) {}

  int run();

 private:
  int fail(const std::string& message) const {
    std::fprintf(stderr, "%s: %s\n", program_.c_str(), message.c_str());
    return kExitFailed;
  }
  int notRunning() const;
  int report(const InstanceAnswer& answer, const std::optional<BackgroundLaunch>& started) const;
  int reportAnswer(const std::string& line) const;
  std::string failureText(const protocol::Failure& failure) const;

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
  const std::string request = requestFor(options_);

  // A copy that holds the lock is running or about to listen: worth waiting for.
  InstanceAnswer answer = ask(socket_, request, kRunningCopyTimeoutMs, [this] { return SingleInstance::isHeld(lock_); });
  std::optional<BackgroundLaunch> started;
  if (answer.outcome == Outcome::notListening && !SingleInstance::isHeld(lock_)) {
    if (!command_.startsProgram) return notRunning();
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::string error;
    started = BackgroundLaunch::start(ec ? program_ : self.string(), program_, &error);
    if (!started) return fail(text::arg(text::translate("CommandLine", "cannot start %1: %2"), {name_, error}));
    answer = ask(socket_, request, kStartedCopyTimeoutMs,
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
  if (line == protocol::kAnswerOk && !command_.show) return kExitDone;
  if (const auto failure = protocol::parseFailure(line)) return fail(failureText(*failure));
  if (line == protocol::kAnswerRefused)
    return fail(text::translate(
        "CommandLine",
        "Night Shift stays on while Keep Always On is set; switch that off first (--keep-always-on off)"));
  if (line == protocol::kAnswerUnsupported)
    return fail(journalReachable()
                    ? text::translate("CommandLine",
                                      "night light is not supported on this desktop; the journal says why "
                                      "(journalctl SYSLOG_IDENTIFIER=duskwarden)")
                    : text::arg(text::translate("CommandLine",
                                                "night light is not supported on this desktop; the running %1's "
                                                "standard error says why"),
                                {name_}));
  if (line == protocol::kErrorUnsupportedVersion)
    return fail(text::arg(
        text::translate("CommandLine",
                        "the running %1 is another version and does not know this command; quit it and try again"),
        {name_}));
  if (command_.show) {
    if (const auto shown = command_.show(line, options_.forScripts)) {
      std::printf("%s\n", shown->c_str());
      return kExitDone;
    }
  }
  std::string shown = line;  // whatever it is, not raw bytes on the terminal
  for (char& c : shown)
    if (c < ' ' || c > '~') c = '?';
  return fail(text::arg(text::translate("CommandLine", "the running %1 answered: %2"), {name_, shown}));
}

std::string Session::failureText(const protocol::Failure& failure) const {
  const std::string goal =
      command_.goal.empty()
          ? text::arg(text::translate("CommandLine", "carry out %1"), {std::string(command_.option)})
          : text::translate("CommandLine", command_.goal.data());
  if (failure.why == protocol::kUnconfirmed)
    return text::arg(
        text::translate("CommandLine", "asked to %1, but the desktop did not report it done within %2 seconds"),
        {goal, decimal::shortest(commandoutcome::kDeadlineSeconds)});
  return text::arg(text::translate("CommandLine", "could not %1: %2"),
                   {goal, describe({protocol::reasonCode(failure.why), failure.message})});
}

}  // namespace

int runRemoteCommand(const CommandLine& options, const std::string& program, const Bundle& bundle) {
  return Session(options, program, bundle).run();
}

}  // namespace duskwarden
