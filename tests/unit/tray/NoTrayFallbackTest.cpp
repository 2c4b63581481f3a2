#include "tray/NoTrayFallback.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace duskwarden;

namespace {

struct Shell {
  bool tray = false;
  std::vector<std::string> did;
  std::vector<std::string> said;

  NoTrayFallback fallback(bool atLogin) {
    return NoTrayFallback(
        NoTrayFallback::Actions{[this] { return tray; }, [this] { did.push_back("popover"); },
                                [this] { did.push_back("window"); }, [this] { did.push_back("close window"); },
                                [this](const std::string& line) { said.push_back(line); }},
        "Duskwarden", atLogin);
  }
};

TEST(NoTrayFallback, AUsersLaunchOpensTheWindowALoginLaunchOnlySaysSoAndEitherWithATrayDoesNothing) {
  Shell user;
  user.fallback(false).launched();
  EXPECT_EQ(user.did, (std::vector<std::string>{"window"}));
  ASSERT_EQ(user.said.size(), 1u);
  EXPECT_NE(user.said[0].find("no system tray"), std::string::npos);
  EXPECT_NE(user.said[0].find("Start Duskwarden again"), std::string::npos) << "says how to reach the window";

  Shell login;
  login.fallback(true).launched();
  EXPECT_TRUE(login.did.empty()) << "a login start opens nothing";
  ASSERT_EQ(login.said.size(), 1u);
  EXPECT_NE(login.said[0].find("no system tray"), std::string::npos);

  Shell withTray;
  withTray.tray = true;
  withTray.fallback(false).launched();
  EXPECT_TRUE(withTray.did.empty() && withTray.said.empty());
}

TEST(NoTrayFallback, ALaterLaunchReachesTheWindowOrThePopoverAndATrayThatComesTakesOver) {
  Shell shell;
  auto fallback = shell.fallback(true);
  fallback.activationRequested();
  EXPECT_EQ(shell.did, (std::vector<std::string>{"window"}));

  shell.tray = true;
  fallback.trayChanged(true);
  fallback.activationRequested();
  EXPECT_EQ(shell.did, (std::vector<std::string>{"window", "close window", "popover"}));
  EXPECT_EQ(shell.said.size(), 0u) << "a tray arriving needs no words";

  shell.tray = false;
  fallback.trayChanged(false);
  fallback.activationRequested();
  EXPECT_EQ(shell.did.back(), "window");
  ASSERT_EQ(shell.said.size(), 1u);
  EXPECT_NE(shell.said[0].find("went away"), std::string::npos);
}

}  // namespace
