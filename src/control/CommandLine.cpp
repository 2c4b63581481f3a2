#include "control/CommandLine.h"

#include "control/InstanceProtocol.h"

#include <optional>

namespace duskwarden {

namespace {

namespace protocol = instanceprotocol;

CommandLine usageError(std::string message) {
  CommandLine result;
  result.action = CommandLine::Action::usageError;
  result.error = std::move(message);
  return result;
}

}  // namespace

CommandLine CommandLine::parse(const std::vector<std::string>& arguments) {
  CommandLine result;
  std::string commandOption;  // the command as the user wrote it, for messages
  bool version = false;
  bool json = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      result.action = Action::printHelp;
      return result;  // help wins over whatever follows
    }
    // "--name=value" or "--name value" for the options that take one.
    const auto equals = argument.find('=');
    const std::string name = argument.starts_with("--") ? argument.substr(0, equals) : argument;
    const bool takesValue = name == "--strength" || name == "--keep-always-on";
    std::optional<std::string> value;
    if (takesValue && equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (takesValue) {
      if (i + 1 == arguments.size()) return usageError("option '" + name + "' needs a value");
      value = arguments[++i];
    } else if (name != argument) {
      return usageError("option '" + name + "' takes no value");
    }

    std::optional<Command> command;
    if (name == "--version" || name == "-V") {
      version = true;
    } else if (name == "--autostart") {
      result.launchedAtLogin = true;
    } else if (name == "--json") {
      json = true;
    } else if (name == "--enable") {
      command = Command::enable;
    } else if (name == "--disable") {
      command = Command::disable;
    } else if (name == "--status") {
      command = Command::status;
    } else if (name == "--strength") {
      const auto strength = protocol::parseStrength(*value);
      if (!strength)
        return usageError("invalid strength '" + *value + "': expected a decimal number from 0.0 to 1.0, such as 0.5");
      result.strength = *strength;
      command = Command::strength;
    } else if (name == "--keep-always-on") {
      const auto on = protocol::parseSwitch(*value);
      if (!on) return usageError("invalid value '" + *value + "' for --keep-always-on: expected on or off");
      result.keepAlwaysOn = *on;
      command = Command::keepAlwaysOn;
    } else {
      return usageError(argument.starts_with("-") ? "unknown option '" + argument + "'"
                                                  : "unexpected argument '" + argument + "'");
    }
    if (command) {
      if (!commandOption.empty()) return usageError("one command at a time: " + commandOption + " and " + name);
      commandOption = name;
      result.command = *command;
    }
  }

  if (commandOption.empty()) {
    if (json) return usageError("--json goes with --status");
    if (version) result.action = Action::printVersion;
    return result;
  }
  if (version) return usageError("--version cannot be combined with " + commandOption);
  if (result.launchedAtLogin) return usageError("--autostart cannot be combined with " + commandOption);
  if (json && result.command != Command::status) return usageError("--json goes with --status");
  result.action = Action::command;
  result.json = json;
  return result;
}

std::string versionLine(const Bundle& bundle) {
  return bundle.stringForKey("CFBundleName").value_or("Duskwarden") + " " +
         bundle.stringForKey("CFBundleShortVersionString").value_or("?") + " (build " +
         bundle.stringForKey("CFBundleVersion").value_or("?") + ")";
}

std::string helpText(const std::string& program, const Bundle& bundle) {
  const std::string name = bundle.stringForKey("CFBundleName").value_or("Duskwarden");
  return "Usage: " + program + " [--help | --version]\n" +         //
         "       " + program + " --enable | --disable | --strength VALUE\n" +
         "       " + program + " --keep-always-on on|off | --status [--json]\n" + name +
         " keeps the desktop's night light on. It lives in the system tray:\n"
         "left-click its icon for the controls, right-click (or Control-click) for the menu.\n"
         "Where the tray's menu opens on a left click, its first item is Show Controls.\n"
         "Without a tray it keeps running and opens its controls in a window.\n"
         "Starting it again while it runs opens the running one's controls.\n"
         "\n"
         "  -h, --help       show this help and exit\n"
         "  -V, --version    show the version and exit\n"
         "      --autostart  used by the start-at-login entry: opens no window\n"
         "\n"
         "Commands for the running " + name + " (started first when it is not running,\n"
         "except for --status); one at a time:\n"
         "      --enable                 turn Night Shift on\n"
         "      --disable                turn Night Shift off; refused while Keep Always On is set\n"
         "      --strength VALUE         set the warmth, from 0.0 (least warm) to 1.0 (most warm)\n"
         "      --keep-always-on on|off  switch Keep Always On\n"
         "      --status [--json]        show the state, as a line or as JSON\n"
         "\n"
         "Exit status: 0 done, 1 refused or failed, 2 wrong usage, 3 (--status) not running.\n";
}

}  // namespace duskwarden
