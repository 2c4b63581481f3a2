#pragma once
// The few options the program understands, parsed before any display is
// needed, so --version and --help work anywhere.

#include "platform/bundle/Bundle.h"

#include <string>
#include <vector>

namespace duskwarden {

struct CommandLine {
  enum class Action { run, printVersion, printHelp, usageError };
  Action action = Action::run;
  std::string error;  // for usageError
  // Started by the session's start-at-login entry (--autostart), not by the user.
  bool launchedAtLogin = false;

  static CommandLine parse(const std::vector<std::string>& arguments);  // without argv[0]
};

inline constexpr int kExitUsage = 2;

// "Duskwarden 1.0.0 (build 1)"
std::string versionLine(const Bundle& bundle);
std::string helpText(const std::string& program, const Bundle& bundle);

}  // namespace duskwarden
