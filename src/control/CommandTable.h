#pragma once
// Everything the command line takes, one row each: the options a launch
// answers itself (--help, --version, --autostart) and the commands the
// running copy takes from other launches, each with the option on the
// command line, the word on the socket, the value it takes, what it asks of
// the manager (its handler), its line in --help, and what a client does when
// no copy runs. The command line (CommandLine), --help, the request a client
// sends (RemoteCommand), the running copy's handling and the words it knows
// (InstanceCommands) all read this table; a test holds the man page and
// README's command list to it.
//
// Adding a command is one row in CommandTable.cpp, its handler, and its lines
// in the man page and README.
//
// Plain C++: no Qt.

#include "nightshift/NightShiftManager.h"

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace duskwarden {

// Exit statuses of a launch that carries a command.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;    // refused, not carried out, no night light here, no answer
inline constexpr int kExitUsage = 2;     // checked before anyone is contacted
inline constexpr int kExitNotRunning = 3;  // only for commands that do not start the program

// A value a command takes. It is checked on the command line, before anyone
// is contacted, and again by the running copy, since anyone may write to the socket.
struct CommandValue {
  std::string_view name;  // as --help shows it: "VALUE", "on|off"
  // The value as the socket carries it ("0.7", "on"), or nothing when `text` is not one.
  std::optional<std::string> (*check)(std::string_view text);
  // The usage error for `text` given to `option`.
  std::string (*invalid)(std::string_view option, std::string_view text);
};

// What a handler works with in the running copy, on the main thread: it
// asks the manager, handing it `request`, whose completion answers the
// client with the outcome, or answers at once through `reply`.
struct CommandCall {
  NightShiftManager& manager;
  std::string value;  // checked, as the socket carries it; empty for a command without one
  NightShiftManager::Request request;  // the client's deadline; its completion replies
  std::function<void(std::string_view answer)> reply;
};

// What a launch does with an option it answers itself.
enum class LocalOption { none, help, version, autostart };

struct Command {
  std::string_view option{};  // "--strength"
  std::string_view shortOption{};  // "-h", for an option that has one
  LocalOption local = LocalOption::none;  // for the options this launch answers itself
  std::string_view word{};    // "strength" on the socket; empty for a local option
  const CommandValue* value = nullptr;  // nullptr: takes none
  std::string_view help{};    // its line in --help
  std::string_view goal{};    // "turn Night Shift on": what a failure says could not be done
  void (*handle)(const CommandCall& call) = nullptr;
  // With no copy running: true starts one in the background first, as a
  // launcher would; false says it is not running (kExitNotRunning).
  bool startsProgram = true;
  // An option only this command takes ("--json"); with it, standard output
  // carries nothing but the answer, in a form for scripts: the same as
  // `--format json`.
  std::string_view forScripts{};
  // The forms for scripts --format names ("json", "waybar"); the first is `forScripts`'s.
  std::span<const std::string_view> formats{};
  // An option only this command takes ("--follow"): the answer now, then a
  // line at each change the running copy sees, until it quits.
  std::string_view follow{};
  // What a successful answer prints, in `format` (one of `formats`; empty for
  // people); nothing when the answer is not one. nullptr: the answer is "ok"
  // and nothing is printed.
  std::optional<std::string> (*show)(std::string_view answer, std::string_view format) = nullptr;
};

// The option naming a command's form for scripts: "--format waybar".
inline constexpr std::string_view kFormatOption = "--format";

// Every command for the running copy, in the order --help lists them.
std::span<const Command> commands();
// The options a launch answers itself, in the order --help lists them.
std::span<const Command> localOptions();
// A command or a local option, by its long or short option.
const Command* commandWithOption(std::string_view option);
const Command* commandWithWord(std::string_view word);

// The command whose option for scripts is `option`.
const Command* commandForScriptsOption(std::string_view option);
// The command whose follow option is `option`.
const Command* commandFollowedWith(std::string_view option);

// "--strength VALUE", "--status [--json] [--follow] [--format json|waybar]": the command as --help shows it.
std::string synopsis(const Command& command);

}  // namespace duskwarden
