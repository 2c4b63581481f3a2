#include "app/CommandLine.h"

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

TEST(CommandLine, VersionLineAndHelpComeFromTheBundle) {
  const Bundle bundle{InfoDictionary{{"CFBundleName", std::string("Duskwarden")},
                                     {"CFBundleShortVersionString", std::string("1.2.3")},
                                     {"CFBundleVersion", std::string("42")}}};
  EXPECT_EQ(versionLine(bundle), "Duskwarden 1.2.3 (build 42)");
  const std::string help = helpText("duskwarden", bundle);
  EXPECT_TRUE(help.starts_with("Usage: duskwarden [--help | --version]\n")) << help;
  EXPECT_NE(help.find("--version"), std::string::npos);
  EXPECT_NE(help.find("--autostart  used by the start-at-login entry"), std::string::npos) << help;
}
