#pragma once
// The options the program understands, parsed before any display is needed,
// so --version, --help and every mistake in a command answer anywhere.
//
// Without a command the program runs (or shows the running copy). With one
// of the command table's (--enable, --status, ...) it only asks the running
// copy to carry it out; its value is checked here, before anyone is contacted.

#include "control/CommandTable.h"
#include "platform/bundle/BuildInfo.h"

#include <string>
#include <vector>

namespace duskwarden {

struct CommandLine {
  enum class Action { run, printVersion, printHelp, usageError, command };

  Action action = Action::run;
  std::string error;  // for usageError
  // Started by the session's start-at-login entry (--autostart), not by the user.
  bool launchedAtLogin = false;

  // For Action::command.
  const Command* command = nullptr;
  std::string value;        // its checked value, as the socket carries it ("0.25", "on")
  bool forScripts = false;  // with its option for scripts (--status --json) or a --format
  std::string format;       // the form for scripts ("json", "waybar"); empty for people
  bool follow = false;      // with its follow option (--status --follow)

  static CommandLine parse(const std::vector<std::string>& arguments);  // without argv[0]
};

// "Duskwarden 1.0.0 (build 1)"
std::string versionLine(const BuildInfo& build);
std::string helpText(const std::string& program, const BuildInfo& build);

}  // namespace duskwarden
