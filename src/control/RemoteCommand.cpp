#include "control/RemoteCommand.h"

#include "control/BackgroundLaunch.h"
#include "control/InstanceClient.h"
#include "control/InstanceProtocol.h"
#include "control/SingleInstance.h"
#include "platform/bundle/Bundle.h"
#include "platform/common/XdgPaths.h"

#include <QFile>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

namespace duskwarden {

namespace {

namespace protocol = instanceprotocol;
using Command = CommandLine::Command;
using Outcome = InstanceAnswer::Outcome;

constexpr int kExitFailed = 1;
// A running copy answers within its own answer timeout (5 s) of reading the line.
constexpr int kRunningCopyTimeoutMs = 8000;
// A copy we start needs its display, toolkit and socket first; on a busy
// machine that is a few seconds.
constexpr int kStartedCopyTimeoutMs = 20000;

std::string requestFor(const CommandLine& options) {
  switch (options.command) {
    case Command::enable:
      return protocol::requestLine(protocol::kEnable);
    case Command::disable:
      return protocol::requestLine(protocol::kDisable);
    case Command::strength:
      return protocol::requestLine(protocol::kStrength, {protocol::formatStrength(options.strength)});
    case Command::keepAlwaysOn:
      return protocol::requestLine(protocol::kKeepAlwaysOn, {options.keepAlwaysOn ? "on" : "off"});
    case Command::status:
      return protocol::requestLine(protocol::kStatus);
  }
  return {};
}

const char* onOff(bool on) { return on ? "on" : "off"; }

std::string humanStatus(const protocol::Status& status) {
  const std::string strength = std::isfinite(status.strength) ? protocol::formatStrength(status.strength) : "unknown";
  return std::string("Night Shift: ") + (status.supported ? onOff(status.enabled) : "not supported here") +
         "; strength: " + strength + "; Keep Always On: " + onOff(status.keepAlwaysOn) +
         "; backend: " + status.backend.value_or("none");
}

// Every value is a number, a Boolean or a word of [A-Za-z0-9_-]: nothing to escape.
std::string jsonStatus(const protocol::Status& status) {
  const auto boolean = [](bool value) { return value ? "true" : "false"; };
  return std::string("{\"enabled\": ") + boolean(status.enabled) + ", \"strength\": " +
         (std::isfinite(status.strength) ? protocol::formatStrength(status.strength) : "null") +
         ", \"keepAlwaysOn\": " + boolean(status.keepAlwaysOn) + ", \"backend\": " +
         (status.backend ? "\"" + *status.backend + "\"" : "null") + ", \"supported\": " + boolean(status.supported) +
         "}";
}

class Session {
 public:
  Session(const CommandLine& options, std::string program) : options_(options), program_(std::move(program)) {}

  int run();

 private:
  int fail(const std::string& message) const {
    std::fprintf(stderr, "%s: %s\n", program_.c_str(), message.c_str());
    return kExitFailed;
  }
  int report(const InstanceAnswer& answer, const std::optional<BackgroundLaunch>& started) const;
  int reportAnswer(const std::string& line) const;

  const CommandLine& options_;
  std::string program_;
  std::string socket_;
  QString lock_;
  std::string name_ = Bundle::main().stringForKey("CFBundleName").value_or("Duskwarden");
};

int Session::run() {
  std::optional<std::filesystem::path> runtime = userRuntimeDirectory();
  if (!runtime) runtime = fallbackRuntimeDirectory();
  if (!runtime) return fail("no runtime directory: XDG_RUNTIME_DIR is not set and no private one could be made");
  const QString directory = QString::fromStdString(runtime->string());
  const QString id = QString::fromLatin1(kBundleIdentifier);
  socket_ = QFile::encodeName(SingleInstance::socketPath(directory, id)).toStdString();
  lock_ = SingleInstance::lockPath(directory, id);
  const std::string request = requestFor(options_);

  // A copy that holds the lock is running or about to listen: worth waiting for.
  InstanceAnswer answer = ask(socket_, request, kRunningCopyTimeoutMs, [this] { return SingleInstance::isHeld(lock_); });
  std::optional<BackgroundLaunch> started;
  if (answer.outcome == Outcome::notListening && !SingleInstance::isHeld(lock_)) {
    if (options_.command == Command::status) {
      if (options_.json) {
        std::fprintf(stderr, "%s is not running\n", name_.c_str());
      } else {
        std::printf("%s is not running\n", name_.c_str());
      }
      return kExitNotRunning;
    }
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::string error;
    started = BackgroundLaunch::start(ec ? program_ : self.string(), program_, &error);
    if (!started) return fail("cannot start " + name_ + ": " + error);
    answer = ask(socket_, request, kStartedCopyTimeoutMs,
                 [this, &started] { return started->running() || SingleInstance::isHeld(lock_); });
  }
  return report(answer, started);
}

int Session::report(const InstanceAnswer& answer, const std::optional<BackgroundLaunch>& started) const {
  switch (answer.outcome) {
    case Outcome::answered:
      return reportAnswer(answer.line);
    case Outcome::foreignPeer:
      return fail(socket_ + " belongs to another user; nothing was sent");
    case Outcome::noAnswer:
      return fail("the running " + name_ + " did not answer");
    case Outcome::notListening:
      break;
  }
  if (started && started->exitStatus() && *started->exitStatus() > 0)
    return fail(name_ + " was started but ended with status " + std::to_string(*started->exitStatus()) +
                "; its messages are in the journal (journalctl SYSLOG_IDENTIFIER=duskwarden)");
  if (started) return fail(name_ + " was started but did not open " + socket_ + " in time");
  return fail("a running " + name_ + " holds " + QFile::encodeName(lock_).toStdString() + " but does not answer on " +
              socket_);
}

int Session::reportAnswer(const std::string& line) const {
  if (line == protocol::kAnswerOk && options_.command != Command::status) return 0;
  if (line == protocol::kAnswerRefused)
    return fail("Night Shift stays on while Keep Always On is set; switch that off first (--keep-always-on off)");
  if (line == protocol::kAnswerUnsupported)
    return fail("night light is not supported on this desktop; the log says why (journalctl SYSLOG_IDENTIFIER=duskwarden)");
  if (line == protocol::kErrorUnsupportedVersion)
    return fail("the running " + name_ + " is another version and does not know this command; quit it and try again");
  if (options_.command == Command::status) {
    if (const auto status = protocol::parseStatus(line)) {
      std::printf("%s\n", (options_.json ? jsonStatus(*status) : humanStatus(*status)).c_str());
      return 0;
    }
  }
  std::string shown = line;  // whatever it is, not raw bytes on the terminal
  for (char& c : shown)
    if (c < ' ' || c > '~') c = '?';
  return fail("the running " + name_ + " answered: " + shown);
}

}  // namespace

int runRemoteCommand(const CommandLine& options, const std::string& program) { return Session(options, program).run(); }

}  // namespace duskwarden
