#include "control/CommandLine.h"

#include "platform/text/Text.h"

#include <algorithm>
#include <optional>

namespace duskwarden {

namespace {

// The usage lines wrap the commands' synopses at this many characters.
constexpr std::size_t kSynopsisWidth = 48;
// --help fits a terminal's 80 columns: the options' and commands' help wraps there.
constexpr std::size_t kHelpWidth = 80;

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
  return text::arg(text::translate("CommandLine", "%1 goes with %2"),
                   {scriptOption, commandForScriptsOption(scriptOption)->option});
}

// What the loop over the arguments has seen so far.
struct Seen {
  CommandLine result;
  std::string commandOption;  // the command as the user wrote it, for messages
  std::string scriptOption;   // a command's option for scripts (--json)
  std::string followOption;   // a command's follow option (--follow)
  std::optional<std::string> format;  // --format's value
  bool version = false;
};

// --json and --follow go with their command; --format with one that has forms.
std::optional<CommandLine> checkModifiers(const Seen& seen) {
  const Command* command = seen.result.command;
  if (!seen.scriptOption.empty() && (!command || command->forScripts != seen.scriptOption))
    return usageError(goesWith(seen.scriptOption));
  if (!seen.followOption.empty() && (!command || command->follow != seen.followOption))
    return usageError(text::arg(text::translate("CommandLine", "%1 goes with %2"),
                                {seen.followOption, commandFollowedWith(seen.followOption)->option}));
  if (!seen.format) return std::nullopt;
  if (!command || command->formats.empty())
    return usageError(text::arg(text::translate("CommandLine", "%1 goes with a command that shows something, such as --status"),
                                {std::string(kFormatOption)}));
  const auto& forms = command->formats;
  if (std::find(forms.begin(), forms.end(), *seen.format) == forms.end()) {
    std::string known;
    for (const auto form : forms) known += (known.empty() ? "" : ", ") + std::string(form);
    return usageError(text::arg(text::translate("CommandLine", "invalid value '%1' for %2: expected one of %3"),
                                {*seen.format, std::string(kFormatOption), known}));
  }
  if (!seen.scriptOption.empty() && *seen.format != forms.front())
    return usageError(text::arg(text::translate("CommandLine", "%1 cannot be combined with %2 %3"),
                                {seen.scriptOption, std::string(kFormatOption), *seen.format}));
  return std::nullopt;
}

// The checks that need every argument.
CommandLine finish(Seen seen) {
  CommandLine& result = seen.result;
  if (auto error = checkModifiers(seen)) return *error;
  if (seen.commandOption.empty()) {
    if (seen.version) result.action = CommandLine::Action::printVersion;
    return result;
  }
  if (seen.version)
    return usageError(
        text::arg(text::translate("CommandLine", "--version cannot be combined with %1"), {seen.commandOption}));
  if (result.launchedAtLogin)
    return usageError(
        text::arg(text::translate("CommandLine", "--autostart cannot be combined with %1"), {seen.commandOption}));
  result.action = CommandLine::Action::command;
  if (!seen.scriptOption.empty()) result.format = std::string(result.command->formats.front());
  if (seen.format) result.format = *seen.format;
  result.forScripts = !result.format.empty();
  result.follow = !seen.followOption.empty();
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
  if (!seen.commandOption.empty())
    return usageError(
        text::arg(text::translate("CommandLine", "one command at a time: %1 and %2"), {seen.commandOption, option}));
  seen.commandOption = option;
  seen.result.command = &command;
  return std::nullopt;
}

}  // namespace

CommandLine CommandLine::parse(const std::vector<std::string>& arguments) {
  Seen seen;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    // "--name=value" or "--name value" for the options that take one.
    const auto equals = argument.find('=');
    const std::string name = argument.starts_with("--") ? argument.substr(0, equals) : argument;
    const Command* command = commandWithOption(name);
    const LocalOption local = command ? command->local : LocalOption::none;
    if (local == LocalOption::help && name == argument) return printHelp();  // help wins over whatever follows
    const bool takesValue = (command && command->value) || name == kFormatOption;
    std::optional<std::string> value;
    if (takesValue && equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (takesValue) {
      if (i + 1 == arguments.size())
        return usageError(text::arg(text::translate("CommandLine", "option '%1' needs a value"), {name}));
      value = arguments[++i];
    } else if (name != argument) {
      return usageError(text::arg(text::translate("CommandLine", "option '%1' takes no value"), {name}));
    }

    if (name == kFormatOption) {
      seen.format = *value;
    } else if (local == LocalOption::version) {
      seen.version = true;
    } else if (local == LocalOption::autostart) {
      seen.result.launchedAtLogin = true;
    } else if (commandForScriptsOption(name)) {
      seen.scriptOption = name;
    } else if (commandFollowedWith(name)) {
      seen.followOption = name;
    } else if (command) {
      if (auto error = takeCommand(seen, *command, name, value)) return *error;
    } else {
      return usageError(text::arg(argument.starts_with("-")
                                      ? text::translate("CommandLine", "unknown option '%1'")
                                      : text::translate("CommandLine", "unexpected argument '%1'"),
                                  {argument}));
    }
  }
  return finish(std::move(seen));
}

std::string versionLine(const BuildInfo& build) {
  return build.name + " " + build.shortVersion + " (build " + build.version + ")";
}

namespace {

// Columns, for the indent under a translated "Usage:".
std::size_t width(std::string_view utf8) {
  return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// "       duskwarden --enable | --disable | ...", wrapped, under "Usage: ".
std::string commandUsage(const std::string& program, const std::string& indent) {
  std::string usage;
  std::string line;
  for (const Command& command : commands()) {
    const std::string next = synopsis(command);
    if (!line.empty() && line.size() + 3 + next.size() > kSynopsisWidth) {
      usage += indent + program + " " + line + "\n";
      line.clear();
    }
    line += (line.empty() ? "" : " | ") + next;
  }
  return usage + indent + program + " " + line + "\n";
}

// `help` after `entry`, wrapped by words at kHelpWidth columns, the lines
// after the first indented to where the help begins.
std::string entryWithHelp(const std::string& entry, const std::string& help) {
  const std::string indent(width(entry), ' ');
  std::string out = entry;
  std::size_t column = width(entry);
  bool lineHasWord = false;
  std::size_t start = 0;
  while (start < help.size()) {
    std::size_t end = help.find(' ', start);
    if (end == std::string::npos) end = help.size();
    const std::string word = help.substr(start, end - start);
    start = end + 1;
    if (word.empty()) continue;
    if (lineHasWord && column + 1 + width(word) > kHelpWidth) {
      out += "\n" + indent;
      column = width(indent);
      lineHasWord = false;
    }
    if (lineHasWord) {
      out += ' ';
      ++column;
    }
    out += word;
    column += width(word);
    lineHasWord = true;
  }
  return out + "\n";
}

// "      --enable                 turn Night Shift on", one entry each.
// A synopsis longer than kSynopsisColumn has its help on the line below, so
// one long synopsis does not push every help text to the right.
std::string commandList() {
  constexpr std::size_t kSynopsisColumn = 24;
  std::size_t width = 0;
  for (const Command& command : commands())
    if (synopsis(command).size() <= kSynopsisColumn) width = std::max(width, synopsis(command).size());
  std::string list;
  for (const Command& command : commands()) {
    std::string entry = synopsis(command);
    if (entry.size() > width) {
      list += "      " + entry + "\n";
      entry.clear();
    }
    entry.resize(width + 2, ' ');
    list += entryWithHelp("      " + entry, text::translate("CommandLine", command.help.data()));
  }
  return list;
}

// "  -h, --help       show this help and exit", one entry each.
std::string optionList() {
  constexpr std::size_t kColumn = 17;
  std::string list;
  for (const Command& option : localOptions()) {
    std::string entry = (option.shortOption.empty() ? std::string("    ") : std::string(option.shortOption) + ", ");
    entry += option.option;
    entry.resize(std::max(kColumn, entry.size() + 1), ' ');
    list += entryWithHelp("  " + entry, text::translate("CommandLine", option.help.data()));
  }
  return list;
}

// "[--help | --version]": what a launch may be asked besides running; --autostart is the session's.
std::string runChoices() {
  std::string choices;
  for (const Command& option : localOptions())
    if (option.local != LocalOption::autostart) choices += (choices.empty() ? "[" : " | ") + std::string(option.option);
  return choices + "]";
}

// "--status": the commands that do not start the program.
std::string notStarting() {
  std::string options;
  for (const Command& command : commands())
    if (!command.startsProgram) options += (options.empty() ? "" : ", ") + std::string(command.option);
  return options;
}

}  // namespace

std::string helpText(const std::string& program, const BuildInfo& build) {
  const std::string& name = build.name;
  const std::string usage = text::translate("CommandLine", "Usage:");
  const std::string indent(width(usage) + 1, ' ');
  return usage + " " + program + " " + runChoices() + "\n" + commandUsage(program, indent) +
         text::arg(
             text::translate("CommandLine",
                             "%1 keeps the desktop's night light on. It lives in the system tray:\n"
                             "left-click its icon for the controls, right-click (or Control-click) for the\n"
                             "menu. Where the tray's menu opens on a left click, its first item is Show\n"
                             "Controls. Without a tray it keeps running and opens its controls in a window.\n"
                             "Starting it again while it runs opens its controls.\n"),
             {name}) +
         "\n" + optionList() + "\n" +
         text::arg(text::translate("CommandLine",
                                   "Commands for the running %1 (started first when it is not running,\n"
                                   "except for %2); one at a time:\n"),
                   {name, notStarting()}) +
         commandList() + "\n" +
         text::arg(text::translate("CommandLine",
                                   "Exit status: 0 done, 1 refused or failed, 2 wrong usage,\n"
                                   "3 (%1) not running.\n"),
                   {notStarting()});
}

}  // namespace duskwarden
