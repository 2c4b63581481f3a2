// Keep Always On never gives up silently: an off seen while one of the
// manager's own commands is settling is looked at again when the command
// window closes, and a re-enable that does not take effect is retried with a
// bounded back-off. Virtual time throughout.

#include "ManagerHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

namespace duskwarden::testing {
namespace {

constexpr const char* kReEnabling = "Night Shift was disabled but auto-enable is active. Re-enabling in 0.5 seconds...";
constexpr const char* kEnabling = "Enabling Night Shift...";

std::size_t errorsContaining(const Harness& h, const std::string& text) {
  std::size_t n = 0;
  for (const auto& e : h.errors())
    if (e.message.find(text) != std::string::npos) ++n;
  return n;
}

class OffInsideTheWindow : public ::testing::TestWithParam<double> {};

// The user (or the desktop) turns night light off again while the manager's
// own enable is still inside its 1.0 s window: not fought then, but once the
// window closes.
TEST_P(OffInsideTheWindow, IsReEnabledOnceTheWindowCloses) {
  Harness h;
  h.startOnWithKeepAlwaysOn();
  h.manager->enableNightShift();
  h.clock->runUntilIdle();  // the command runs at t = 0
  ASSERT_TRUE(h.manager->isInternalUpdateForTesting());
  h.clock->advanceBy(GetParam());
  h.externalChange(false);
  const double offAt = h.clock->now();
  const double closes = 1.0 - GetParam();
  if (GetParam() + 0.1 < 1.0) {  // read and applied inside the window: not fought yet
    h.clock->advanceBy(closes - 0.001);
    EXPECT_FALSE(h.manager->isNightShiftEnabled.get());
    EXPECT_EQ(h.count(kReEnabling), 0u);
  }
  // By the time the window has closed and 0.5 s more have passed (or the
  // off, read right at the close, took the ordinary path), it is re-enabled.
  h.clock->advanceBy(offAt + std::max(closes, 0.1) + 0.501 - h.clock->now());
  EXPECT_EQ(h.count(kReEnabling), 1u);
  EXPECT_EQ(h.count(kEnabling), 2u);
  EXPECT_EQ(h.provider.setEnabledCalls.load(), 2);
  h.clock->advanceBy(3.0);
  EXPECT_TRUE(h.manager->isNightShiftEnabled.get());
  EXPECT_EQ(h.provider.setEnabledCalls.load(), 2);  // and nothing more once it is on
  EXPECT_TRUE(h.errors().empty());
}

INSTANTIATE_TEST_SUITE_P(At, OffInsideTheWindow, ::testing::Values(0.2, 0.6, 0.9));

// A desktop still setting up its displays resets the screen right after
// launch, inside the creation command's window.
TEST(ManagerKeepOn, OffAtLaunchInsideTheCreationWindowIsReEnabled) {
  Harness h;
  h.provider.statusByte1 = 1;
  h.startWith(true);
  h.settle();  // first read: on
  ASSERT_TRUE(h.manager->isNightShiftEnabled.get());
  h.clock->advanceBy(0.4);
  h.externalChange(false);
  h.clock->advanceBy(0.3);
  ASSERT_FALSE(h.manager->isNightShiftEnabled.get());
  ASSERT_EQ(h.provider.setEnabledCalls.load(), 0);
  h.clock->advanceBy(2.0);
  EXPECT_EQ(h.provider.setEnabledCalls.load(), 1);
  EXPECT_TRUE(h.manager->isNightShiftEnabled.get());
}

// The manager's own switch-over (off for a moment while turning on) is still
// not fought, neither inside the window nor after it.
TEST(ManagerKeepOn, OwnSwitchOverIsNotFought) {
  Harness h;
  h.startOnWithKeepAlwaysOn();
  h.manager->enableNightShift();
  h.clock->runUntilIdle();
  h.clock->advanceBy(0.1);
  h.externalChange(false);
  h.clock->advanceBy(0.2);
  h.externalChange(true);
  h.clock->advanceBy(5.0);
  EXPECT_EQ(h.count(kReEnabling), 0u);
  EXPECT_EQ(h.provider.setEnabledCalls.load(), 1);
  EXPECT_TRUE(h.manager->isNightShiftEnabled.get());
}

// A platform that refuses: retried after 0.5, 0.5, 1, 2, 4 s, then every 30 s,
// each failed attempt logged once, a handful of provider calls a minute.
TEST(ManagerKeepOn, ARefusingPlatformIsRetriedWithABoundedBackOff) {
  Harness h;
  h.startOnWithKeepAlwaysOn();
  h.provider.setEnabledTakesEffect = 0;
  h.externalChange(false);
  h.clock->advanceBy(0.1);  // applied: re-enable in 0.5 s
  ASSERT_EQ(h.count(kReEnabling), 1u);

  // Times (from the apply) at which each enable reaches the provider: every
  // command's window closes 1.0 s after it, then the next waits its delay.
  std::vector<double> sent;
  const double start = h.clock->now();
  int seen = 0;
  while (h.clock->now() - start < 130.0) {
    h.clock->advanceBy(0.05);
    if (h.provider.setEnabledCalls.load() > seen) {
      seen = h.provider.setEnabledCalls.load();
      sent.push_back(h.clock->now() - start);
    }
  }
  ASSERT_GE(sent.size(), 8u);
  const std::vector<double> expected = {0.5, 2.0, 4.0, 7.0, 12.0, 43.0, 74.0, 105.0};
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(sent[i], expected[i], 0.06) << "attempt " << i;
  EXPECT_EQ(errorsContaining(h, "Night Shift is still off after re-enabling"), sent.size());
  EXPECT_EQ(h.count(kReEnabling), 1u);  // only the outside turn-off itself

  // The steady state: over ten minutes, few enable commands and reads a minute.
  const int enables = h.provider.setEnabledCalls.load();
  const int reads = h.provider.getStatusCalls.load();
  h.clock->advanceBy(600.0);
  const double perMinuteEnables = (h.provider.setEnabledCalls.load() - enables) / 10.0;
  const double perMinuteCalls = perMinuteEnables + (h.provider.getStatusCalls.load() - reads) / 10.0;
  EXPECT_LE(perMinuteEnables, 2.0);
  EXPECT_LE(perMinuteCalls, 5.0);
  EXPECT_FALSE(h.manager->isNightShiftEnabled.get());

  // The platform accepts again: the next try takes, the retries end, and a
  // later outside turn-off is back on the ordinary 0.5 s path.
  h.provider.setEnabledTakesEffect = 1;
  h.clock->advanceBy(33.0);
  ASSERT_TRUE(h.manager->isNightShiftEnabled.get());
  const int settled = h.provider.setEnabledCalls.load();
  h.clock->advanceBy(120.0);
  EXPECT_EQ(h.provider.setEnabledCalls.load(), settled);
  h.provider.setEnabledTakesEffect = 0;
  h.externalChange(false);
  h.clock->advanceBy(0.6);
  EXPECT_EQ(h.provider.setEnabledCalls.load(), settled + 1);
  // ...and a new run of refusals starts again from the short delays.
  h.clock->advanceBy(1.5);
  EXPECT_EQ(h.provider.setEnabledCalls.load(), settled + 2);
}

TEST(ManagerKeepOn, SwitchingKeepAlwaysOnOffStopsTheRetries) {
  Harness h;
  h.startOnWithKeepAlwaysOn();
  h.provider.setEnabledTakesEffect = 0;
  h.externalChange(false);
  h.clock->advanceBy(5.0);  // two attempts have failed by now
  ASSERT_GE(h.provider.setEnabledCalls.load(), 2);
  h.manager->autoEnable = false;
  const int calls = h.provider.setEnabledCalls.load();
  h.clock->advanceBy(300.0);
  EXPECT_EQ(h.provider.setEnabledCalls.load(), calls);

  // Switched on again, it starts over at once and from the short delays.
  h.manager->autoEnable = true;
  h.clock->advanceBy(2.5);
  EXPECT_EQ(h.provider.setEnabledCalls.load(), calls + 2);
}

std::size_t infoContaining(const Harness& h, const std::string& text) {
  std::size_t n = 0;
  for (const auto& e : h.sink->entries())
    if (e.level == LogLevel::info && e.message.find(text) != std::string::npos) ++n;
  return n;
}

struct HeldOffCase {
  int reason;
  const char* message;
  bool holdsOff;       // waited for quietly, or retried with an error per attempt
  bool comesOnByItself;  // the desktop turns it back on, or only lets go
};

class WhileTheProviderSaysWhy : public ::testing::TestWithParam<HeldOffCase> {};

// Another program's inhibition or gamma, or a locked setting: no retry of ours
// can help, so Keep Always On says so once, tries every 30 s and whenever the
// desktop reports a change, and says once when it is over.
TEST_P(WhileTheProviderSaysWhy, KeepAlwaysOnWaitsQuietlyOnlyWhenNightLightIsHeldOff) {
  const HeldOffCase& c = GetParam();
  Harness h;
  h.startOnWithKeepAlwaysOn();
  h.provider.setEnabledTakesEffect = 0;
  h.provider.setReason(c.reason, c.message);
  h.externalChange(false);
  h.clock->advanceBy(125.0);
  if (!c.holdsOff) {
    EXPECT_GE(errorsContaining(h, "Night Shift is still off after re-enabling"), 5u);
    EXPECT_EQ(infoContaining(h, "Keep Always On is waiting"), 0u);
    return;
  }
  EXPECT_TRUE(h.errors().empty());
  EXPECT_EQ(infoContaining(h, std::string("Keep Always On is waiting: night light is held off (") + c.message), 1u);
  EXPECT_EQ(h.provider.setEnabledCalls.load(), 5) << "the re-enable, then one every 31 s";

  h.provider.setReason(DW_NIGHTLIGHT_REASON_NONE, "");
  const int calls = h.provider.setEnabledCalls.load();
  if (c.comesOnByItself) {
    h.externalChange(true);
  } else {
    h.provider.setEnabledTakesEffect = 1;
    ASSERT_TRUE(h.provider.fire());  // let go, still off: re-enabled at once, not 30 s later
  }
  h.clock->advanceBy(1.2);
  EXPECT_TRUE(h.manager->isNightShiftEnabled.get());
  EXPECT_EQ(h.provider.setEnabledCalls.load(), calls + (c.comesOnByItself ? 0 : 1));
  EXPECT_EQ(infoContaining(h, "Keep Always On stops waiting"), 1u);
  h.clock->advanceBy(120.0);
  EXPECT_EQ(h.provider.setEnabledCalls.load(), calls + (c.comesOnByItself ? 0 : 1));
  EXPECT_TRUE(h.errors().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, WhileTheProviderSaysWhy,
    ::testing::Values(HeldOffCase{DW_NIGHTLIGHT_REASON_INHIBITED, "KDE Night Color is inhibited", true, true},
                      HeldOffCase{DW_NIGHTLIGHT_REASON_HELD, "another client holds the gamma", true, false},
                      HeldOffCase{DW_NIGHTLIGHT_REASON_LOCKED, "kwinrc's Active is locked", true, true},
                      HeldOffCase{DW_NIGHTLIGHT_REASON_BUSY, "kwinrc.lock is held", false, false}));

// A backend slow to set up: the first read comes 0.7 s after launch, so the
// creation command's window (its command reached no client) closes while the
// launch check's enable is still settling. Neither is a failed attempt.
TEST(ManagerKeepOn, TheCreationCommandsWindowIsNoFailedAttempt) {
  Harness h;
  h.provider.statusOk = 0;
  h.startWith(true);
  h.clock->advanceBy(0.7);
  h.provider.statusOk = 1;
  ASSERT_TRUE(h.provider.fire());
  h.clock->advanceBy(5.0);
  EXPECT_TRUE(h.errors().empty());
  EXPECT_EQ(h.provider.setEnabledCalls.load(), 1);
  EXPECT_TRUE(h.manager->isNightShiftEnabled.get());
}

// A damaged defaults file says nothing about what the user wants: Keep Always
// On is neither applied nor switched off, the file and the login item stay as
// they are, until the user sets it.
TEST(ManagerKeepOn, AnUnreadableStoredSettingChangesNothingUntilTheUserSetsIt) {
  Harness h;
  const std::string damaged = "# my note\n[Defaults]\nautoEnable=true\nthis line has a typo\n";
  {
    std::ofstream f(h.defaults->path());
    f << damaged;
  }
  h.defaults = std::make_unique<UserDefaults>(h.defaults->path());  // read it as a launch would
  h.provider.statusByte1 = 0;
  h.start();
  h.clock->advanceBy(5.0);
  EXPECT_FALSE(h.manager->autoEnable.get());
  EXPECT_TRUE(h.loginItem.writes.empty());
  EXPECT_EQ(h.provider.setEnabledCalls.load(), 0);
  EXPECT_EQ(h.count(kEnabling), 0u);
  std::ifstream in(h.defaults->path());
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), damaged);

  h.manager->autoEnable = true;  // the user's switch
  EXPECT_THAT(h.loginItem.writes, ::testing::ElementsAre(true));
  EXPECT_EQ(UserDefaults(h.defaults->path()).readBool(Setting::autoEnable), std::optional<bool>(true));
  EXPECT_TRUE(std::filesystem::exists(h.defaults->path().string() + ".bak"));
  h.clock->advanceBy(1.0);
  EXPECT_EQ(h.provider.setEnabledCalls.load(), 1);
}

}  // namespace
}  // namespace duskwarden::testing
