#include "app/CommandLine.h"

namespace duskwarden {

CommandLine CommandLine::parse(const std::vector<std::string>& arguments) {
  CommandLine result;
  for (const auto& argument : arguments) {
    if (argument == "--help" || argument == "-h") {
      result.action = Action::printHelp;
      return result;  // help wins over whatever follows
    }
    if (argument == "--version" || argument == "-V") {
      result.action = Action::printVersion;
    } else if (argument == "--autostart") {
      result.launchedAtLogin = true;
    } else {
      result.action = Action::usageError;
      result.error = argument.starts_with("-") ? "unknown option '" + argument + "'"
                                               : "unexpected argument '" + argument + "'";
      return result;
    }
  }
  return result;
}

std::string versionLine(const Bundle& bundle) {
  return bundle.stringForKey("CFBundleName").value_or("Duskwarden") + " " +
         bundle.stringForKey("CFBundleShortVersionString").value_or("?") + " (build " +
         bundle.stringForKey("CFBundleVersion").value_or("?") + ")";
}

std::string helpText(const std::string& program, const Bundle& bundle) {
  const std::string name = bundle.stringForKey("CFBundleName").value_or("Duskwarden");
  return "Usage: " + program + " [--help | --version]\n" + name +
         " keeps the desktop's night light on. It lives in the system tray:\n"
         "left-click its icon for the controls, right-click (or Control-click) for the menu.\n"
         "Where the tray's menu opens on a left click, its first item is Show Controls.\n"
         "Without a tray it keeps running and opens its controls in a window.\n"
         "Starting it again while it runs opens the running one's controls.\n"
         "\n"
         "  -h, --help       show this help and exit\n"
         "  -V, --version    show the version and exit\n"
         "      --autostart  used by the start-at-login entry: opens no window\n";
}

}  // namespace duskwarden
