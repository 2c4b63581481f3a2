#pragma once
// A command given on the command line (--enable, --status, ...), sent to the
// running copy over its socket, and what it answered, told the way a
// command-line tool does: a line on stdout or stderr and an exit status.
//
// With no copy running, --status says so (exit status 3); any other command
// starts one in the background first, as a launcher would, waits (bounded)
// for its socket and then delivers the command.

#include "control/CommandLine.h"

#include <string>

namespace duskwarden {

inline constexpr int kExitNotRunning = 3;

// Returns the process's exit status.
int runRemoteCommand(const CommandLine& options, const std::string& program);

}  // namespace duskwarden
