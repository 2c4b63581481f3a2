#include "control/CommandLine.h"

#include <algorithm>
#include <optional>

namespace duskwarden {

namespace {

// The usage lines wrap the commands' synopses at this many characters.
constexpr std::size_t kSynopsisWidth = 48;

CommandLine usageError(std::string message) {
  CommandLine result;
  result.action = CommandLine::Action::usageError;
  result.error = std::move(message);
  return result;
}

CommandLine printHelp() {
  CommandLine result;
  result.action = CommandLine::Action::printHelp;
  return result;
}

std::string goesWith(const std::string& scriptOption) {
  return scriptOption + " goes with " + std::string(commandForScriptsOption(scriptOption)->option);
}

// What the loop over the arguments has seen so far.
struct Seen {
  CommandLine result;
  std::string commandOption;  // the command as the user wrote it, for messages
  std::string scriptOption;   // a command's option for scripts (--json)
  bool version = false;
};

// The checks that need every argument.
CommandLine finish(Seen seen) {
  CommandLine& result = seen.result;
  if (seen.commandOption.empty()) {
    if (!seen.scriptOption.empty()) return usageError(goesWith(seen.scriptOption));
    if (seen.version) result.action = CommandLine::Action::printVersion;
    return result;
  }
  if (seen.version) return usageError("--version cannot be combined with " + seen.commandOption);
  if (result.launchedAtLogin) return usageError("--autostart cannot be combined with " + seen.commandOption);
  if (!seen.scriptOption.empty() && result.command->forScripts != seen.scriptOption)
    return usageError(goesWith(seen.scriptOption));
  result.action = CommandLine::Action::command;
  result.forScripts = !seen.scriptOption.empty();
  return result;
}

// A command and its value: nothing, or the usage error.
std::optional<CommandLine> takeCommand(Seen& seen, const Command& command, const std::string& option,
                                       const std::optional<std::string>& value) {
  if (value) {
    auto checked = command.value->check(*value);
    if (!checked) return usageError(command.value->invalid(option, *value));
    seen.result.value = std::move(*checked);
  }
  if (!seen.commandOption.empty()) return usageError("one command at a time: " + seen.commandOption + " and " + option);
  seen.commandOption = option;
  seen.result.command = &command;
  return std::nullopt;
}

}  // namespace

CommandLine CommandLine::parse(const std::vector<std::string>& arguments) {
  Seen seen;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h") return printHelp();  // help wins over whatever follows
    // "--name=value" or "--name value" for the options that take one.
    const auto equals = argument.find('=');
    const std::string name = argument.starts_with("--") ? argument.substr(0, equals) : argument;
    const Command* command = commandWithOption(name);
    const bool takesValue = command && command->value;
    std::optional<std::string> value;
    if (takesValue && equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (takesValue) {
      if (i + 1 == arguments.size()) return usageError("option '" + name + "' needs a value");
      value = arguments[++i];
    } else if (name != argument) {
      return usageError("option '" + name + "' takes no value");
    }

    if (name == "--version" || name == "-V") {
      seen.version = true;
    } else if (name == "--autostart") {
      seen.result.launchedAtLogin = true;
    } else if (commandForScriptsOption(name)) {
      seen.scriptOption = name;
    } else if (command) {
      if (auto error = takeCommand(seen, *command, name, value)) return *error;
    } else {
      return usageError(argument.starts_with("-") ? "unknown option '" + argument + "'"
                                                  : "unexpected argument '" + argument + "'");
    }
  }
  return finish(std::move(seen));
}

std::string versionLine(const Bundle& bundle) {
  return bundle.stringForKey("CFBundleName").value_or("Duskwarden") + " " +
         bundle.stringForKey("CFBundleShortVersionString").value_or("?") + " (build " +
         bundle.stringForKey("CFBundleVersion").value_or("?") + ")";
}

namespace {

// "       duskwarden --enable | --disable | ...", wrapped.
std::string commandUsage(const std::string& program) {
  std::string usage;
  std::string line;
  for (const Command& command : commands()) {
    const std::string next = synopsis(command);
    if (!line.empty() && line.size() + 3 + next.size() > kSynopsisWidth) {
      usage += "       " + program + " " + line + "\n";
      line.clear();
    }
    line += (line.empty() ? "" : " | ") + next;
  }
  return usage + "       " + program + " " + line + "\n";
}

// "      --enable                 turn Night Shift on", one line each.
std::string commandList() {
  std::size_t width = 0;
  for (const Command& command : commands()) width = std::max(width, synopsis(command).size());
  std::string list;
  for (const Command& command : commands()) {
    std::string entry = synopsis(command);
    entry.resize(width + 2, ' ');
    list += "      " + entry + std::string(command.help) + "\n";
  }
  return list;
}

// "--status": the commands that do not start the program.
std::string notStarting() {
  std::string options;
  for (const Command& command : commands())
    if (!command.startsProgram) options += (options.empty() ? "" : ", ") + std::string(command.option);
  return options;
}

}  // namespace

std::string helpText(const std::string& program, const Bundle& bundle) {
  const std::string name = bundle.stringForKey("CFBundleName").value_or("Duskwarden");
  return "Usage: " + program + " [--help | --version]\n" + commandUsage(program) + name +
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
         "except for " + notStarting() + "); one at a time:\n" + commandList() +
         "\n"
         "Exit status: 0 done, 1 refused or failed, 2 wrong usage, 3 (" + notStarting() + ") not running.\n";
}

}  // namespace duskwarden
