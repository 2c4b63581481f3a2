#include "control/CommandLine.h"

#include <gtest/gtest.h>

using namespace duskwarden;
using Action = CommandLine::Action;

TEST(CommandLine, RecognisesItsOptionsAndRejectsEverythingElse) {
  EXPECT_EQ(CommandLine::parse({}).action, Action::run);
  EXPECT_EQ(CommandLine::parse({"--version"}).action, Action::printVersion);
  EXPECT_EQ(CommandLine::parse({"-V"}).action, Action::printVersion);
  EXPECT_EQ(CommandLine::parse({"--help"}).action, Action::printHelp);
  EXPECT_EQ(CommandLine::parse({"--version", "-h"}).action, Action::printHelp);

  const auto unknown = CommandLine::parse({"--frobnicate"});
  EXPECT_EQ(unknown.action, Action::usageError);
  EXPECT_EQ(unknown.error, "unknown option '--frobnicate'");
  EXPECT_FALSE(CommandLine::parse({}).launchedAtLogin);
  const auto atLogin = CommandLine::parse({"--autostart"});
  EXPECT_EQ(atLogin.action, Action::run);
  EXPECT_TRUE(atLogin.launchedAtLogin);

  const auto stray = CommandLine::parse({"--version", "extra"});
  EXPECT_EQ(stray.action, Action::usageError);
  EXPECT_EQ(stray.error, "unexpected argument 'extra'");
}

TEST(CommandLine, CommandsCarryTheirCheckedValues) {
  const auto parse = [](std::vector<std::string> arguments) { return CommandLine::parse(arguments); };
  const auto word = [](const CommandLine& line) { return line.command ? std::string(line.command->word) : "none"; };
  EXPECT_EQ(word(parse({"--enable"})), "enable");
  EXPECT_EQ(word(parse({"--disable"})), "disable");
  const auto strength = parse({"--strength", "0.25"});
  EXPECT_EQ(strength.action, Action::command);
  EXPECT_EQ(word(strength), "strength");
  EXPECT_EQ(strength.value, "0.25");
  EXPECT_EQ(parse({"--strength=1"}).value, "1");
  const auto keep = parse({"--keep-always-on", "off"});
  EXPECT_EQ(word(keep), "keep-always-on");
  EXPECT_EQ(keep.value, "off");
  EXPECT_EQ(parse({"--keep-always-on=on"}).value, "on");
  EXPECT_FALSE(parse({"--status"}).forScripts);
  EXPECT_TRUE(parse({"--json", "--status"}).forScripts);
  EXPECT_EQ(parse({"--status", "--help"}).action, Action::printHelp);

  const struct {
    std::vector<std::string> arguments;
    const char* error;
  } refused[] = {
      {{"--strength", "nan"}, "invalid strength 'nan': expected a decimal number from 0.0 to 1.0, such as 0.5"},
      {{"--strength", "0,5"}, "invalid strength '0,5': expected a decimal number from 0.0 to 1.0, such as 0.5"},
      {{"--strength="}, "invalid strength '': expected a decimal number from 0.0 to 1.0, such as 0.5"},
      {{"--strength", "-0.5"}, "invalid strength '-0.5': expected a decimal number from 0.0 to 1.0, such as 0.5"},
      {{"--strength"}, "option '--strength' needs a value"},
      {{"--keep-always-on", "yes"}, "invalid value 'yes' for --keep-always-on: expected on or off"},
      {{"--enable=1"}, "option '--enable' takes no value"},
      {{"--enable", "--strength", "1"}, "one command at a time: --enable and --strength"},
      {{"--json"}, "--json goes with --status"},
      {{"--enable", "--json"}, "--json goes with --status"},
      {{"--autostart", "--disable"}, "--autostart cannot be combined with --disable"},
      {{"--status", "--version"}, "--version cannot be combined with --status"},
  };
  for (const auto& [arguments, error] : refused) {
    const auto result = parse(arguments);
    EXPECT_EQ(result.action, Action::usageError) << arguments[0];
    EXPECT_EQ(result.error, error);
  }
}

TEST(CommandLine, VersionLineAndHelpComeFromTheBuildAndTheTable) {
  const BuildInfo build{"Duskwarden", "42", "1.2.3", ""};
  EXPECT_EQ(versionLine(build), "Duskwarden 1.2.3 (build 42)");
  const std::string help = helpText("duskwarden", build);
  EXPECT_TRUE(help.starts_with("Usage: duskwarden [--help | --version]\n")) << help;
  EXPECT_NE(help.find("--version"), std::string::npos);
  EXPECT_NE(help.find("  -h, --help       show this help and exit\n"
                      "  -V, --version    show the version and exit\n"
                      "      --autostart  used by the start-at-login entry: opens no window\n"),
            std::string::npos)
      << help;
  for (const char* command : {"--enable", "--disable", "--strength VALUE", "--keep-always-on on|off", "--status [--json]"})
    EXPECT_NE(help.find(command), std::string::npos) << command;
}
