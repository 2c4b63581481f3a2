#pragma once
// A command given on the command line (--enable, --status, ...), sent to the
// running copy over its socket, and what it answered, told the way a
// command-line tool does: a line on stdout or stderr and an exit status.
//
// With no copy running, a command that does not start the program (--status)
// says so (kExitNotRunning); any other starts one in the background first, as
// a launcher would, waits (bounded) for its socket and then delivers the command.

#include "control/CommandLine.h"
#include "platform/bundle/BuildInfo.h"

#include <string>

namespace duskwarden {

// Returns the process's exit status.
int runRemoteCommand(const CommandLine& options, const std::string& program, const BuildInfo& build);

}  // namespace duskwarden
