#pragma once
// The options the program understands, parsed before any display is needed,
// so --version, --help and every mistake in a command answer anywhere.
//
// Without a command the program runs (or shows the running copy). With one
// (--enable, --disable, --strength, --keep-always-on, --status) it only asks
// the running copy to carry it out; its values are checked here, before
// anyone is contacted.

#include "platform/bundle/Bundle.h"

#include <string>
#include <vector>

namespace duskwarden {

struct CommandLine {
  enum class Action { run, printVersion, printHelp, usageError, command };
  enum class Command { enable, disable, strength, keepAlwaysOn, status };

  Action action = Action::run;
  std::string error;  // for usageError
  // Started by the session's start-at-login entry (--autostart), not by the user.
  bool launchedAtLogin = false;

  // For Action::command.
  Command command = Command::status;
  float strength = 0.0f;      // --strength, 0..1
  bool keepAlwaysOn = false;  // --keep-always-on on|off
  bool json = false;          // --status --json

  static CommandLine parse(const std::vector<std::string>& arguments);  // without argv[0]
};

inline constexpr int kExitUsage = 2;

// "Duskwarden 1.0.0 (build 1)"
std::string versionLine(const Bundle& bundle);
std::string helpText(const std::string& program, const Bundle& bundle);

}  // namespace duskwarden
