// NightShiftManager sequences on virtual time, checked through the log lines
// and the published values.

#include "ManagerHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace duskwarden::testing {
namespace {

using ::testing::ElementsAre;

constexpr const char* kEnabling = "Enabling Night Shift...";
constexpr const char* kReEnabling = "Night Shift was disabled but auto-enable is active. Re-enabling in 0.5 seconds...";
constexpr const char* kLaunchCheck =
    "Initial launch check: 'Keep Always On' is enabled, but Night Shift is off. Activating now.";
constexpr const char* kActivatedWhileOff = "Auto-enable activated while Night Shift is off. Enabling...";
constexpr double kEps = 0.001;

TEST(ManagerLaunch, FirstLaunchWithoutStoredKeyWritesFalseAndRunsNoCommand) {
  Harness h;
  h.provider.statusByte1 = 0;
  h.start();
  EXPECT_THAT(h.lines(), ElementsAre("Auto-enable toggled: false",
                                     "Auto-enable toggled: false. Launch at Login set to: false",
                                     "NightShiftManager initialized with autoEnable: false"));
  EXPECT_THAT(h.loginItem.writes, ElementsAre(false));
  // The key is written, not just read as missing.
  UserDefaults reread(h.defaults->path());
  EXPECT_FALSE(reread.boolForKey(Setting::autoEnable));
  EXPECT_TRUE(std::filesystem::exists(h.defaults->path()));

  h.clock->advanceBy(3.0);
  EXPECT_EQ(h.count(kEnabling), 0u);
  EXPECT_EQ(h.provider.setEnabledCalls.load(), 0);
  EXPECT_TRUE(h.manager->hasPerformedInitialCheckForTesting());
  EXPECT_FALSE(h.manager->isNightShiftEnabled.get());
}

TEST(ManagerLaunch, StoredAutoEnableWhileOffEnablesAgainAfterSetup) {
  Harness h;
  h.provider.statusByte1 = 0;
  h.provider.setEnabledTakesEffect = 0;  // to see which command reached the platform
  h.startWith(true);
  EXPECT_THAT(h.lines(), ElementsAre("Auto-enable toggled: true",
                                     "Auto-enable toggled: true. Launch at Login set to: true", kActivatedWhileOff,
                                     kEnabling, "NightShiftManager initialized with autoEnable: true"));
  EXPECT_THAT(h.loginItem.writes, ElementsAre(true));

  // The creation-time command runs before setup: no client yet.
  h.settle();
  EXPECT_EQ(h.count("CBBlueLightClient initialized successfully"), 1u);
  EXPECT_EQ(h.count(kLaunchCheck), 1u);
  EXPECT_EQ(h.count(kEnabling), 2u);
  EXPECT_EQ(h.provider.setEnabledCalls.load(), 1);
  EXPECT_EQ(h.provider.lastEnabled.load(), 1);
  EXPECT_EQ(h.count(kReEnabling), 0u);  // off to off is not a change

  // The launch check happens once per process.
  h.clock->advanceBy(3.0);
  EXPECT_EQ(h.count(kLaunchCheck), 1u);
}

TEST(ManagerLaunch, StoredAutoEnableWhileOnLogsTheCommandButSendsNothing) {
  Harness h;
  h.provider.statusByte1 = 1;
  h.startWith(true);
  EXPECT_EQ(h.count(kEnabling), 1u);
  h.clock->advanceBy(3.0);
  EXPECT_EQ(h.provider.setEnabledCalls.load(), 0);
  EXPECT_EQ(h.count(kLaunchCheck), 0u);
  EXPECT_TRUE(h.manager->isNightShiftEnabled.get());
  EXPECT_THAT(h.loginItem.writes, ElementsAre(true));
}

void startOnWithKeepAlwaysOn(Harness& h) { h.startOnWithKeepAlwaysOn(); }

TEST(ManagerKeepAlwaysOn, ExternalTurnOffIsReadAfterPointOneAndReEnabledHalfASecondAfterTheApply) {
  Harness h;
  startOnWithKeepAlwaysOn(h);

  h.externalChange(false);
  EXPECT_THAT(h.lines(), ElementsAre("Night Shift status change detected"));
  h.clock->advanceBy(0.1 - kEps);
  EXPECT_EQ(h.lines().size(), 1u);
  h.clock->advanceBy(kEps);
  EXPECT_THAT(h.lines(), ElementsAre("Night Shift status change detected",
                                     "Status update - enabled: false, strength: 0.500000", kReEnabling));
  EXPECT_THAT(h.published, ElementsAre("strength=0.500000", "enabled=false"));

  h.clock->advanceBy(0.5 - kEps);
  EXPECT_EQ(h.provider.setEnabledCalls.load(), 0);
  h.clock->advanceBy(kEps);
  EXPECT_EQ(h.count(kEnabling), 1u);
  EXPECT_EQ(h.provider.setEnabledCalls.load(), 1);
  EXPECT_TRUE(h.manager->isInternalUpdateForTesting());
  // No command writes the flag itself; the read 0.5 s after the command does.
  EXPECT_FALSE(h.manager->isNightShiftEnabled.get());

  h.clock->advanceBy(0.5);
  EXPECT_TRUE(h.manager->isNightShiftEnabled.get());
  EXPECT_TRUE(h.manager->isInternalUpdateForTesting());
  h.clock->advanceBy(0.5);
  EXPECT_FALSE(h.manager->isInternalUpdateForTesting());
  EXPECT_THAT(h.published,
              ElementsAre("strength=0.500000", "enabled=false", "strength=0.500000", "enabled=true"));
}

TEST(ManagerKeepAlwaysOn, SwitchedOffWithinTheReEnableDelayCancelsIt) {
  Harness h;
  startOnWithKeepAlwaysOn(h);
  h.externalChange(false);
  h.clock->advanceBy(0.1);
  ASSERT_EQ(h.count(kReEnabling), 1u);
  h.clock->advanceBy(0.3);
  h.manager->autoEnable = false;
  EXPECT_THAT(h.loginItem.writes.back(), false);
  h.clock->advanceBy(2.0);
  EXPECT_EQ(h.count(kEnabling), 0u);
  EXPECT_EQ(h.provider.setEnabledCalls.load(), 0);
  EXPECT_FALSE(h.manager->isNightShiftEnabled.get());
}

TEST(ManagerKeepAlwaysOn, ManualDisableIsRefusedWithOneLineAndNoEffect) {
  Harness h;
  startOnWithKeepAlwaysOn(h);
  const int willChange = h.willChangeCount;
  std::optional<NightShiftManager::Outcome::Kind> said;
  h.manager->disableNightShift({kRequestSeconds, [&](const NightShiftManager::Outcome& o) { said = o.kind; }});
  EXPECT_EQ(said, NightShiftManager::Outcome::Kind::refused);
  h.clock->advanceBy(2.0);
  EXPECT_THAT(h.lines(), ElementsAre("Manual disable blocked - auto-enable is active"));
  EXPECT_EQ(h.provider.setEnabledCalls.load(), 0);
  EXPECT_EQ(h.willChangeCount, willChange);
  EXPECT_TRUE(h.manager->isNightShiftEnabled.get());
}

TEST(ManagerKeepAlwaysOn, SwitchingOnWhileOffEnablesAtOnceAndRewritingRepeatsEverything) {
  Harness h;
  h.provider.statusByte1 = 0;
  h.startWith(false);
  h.settle();
  h.clearLog();

  h.manager->autoEnable = true;
  EXPECT_THAT(h.lines(), ElementsAre("Auto-enable toggled: true",
                                     "Auto-enable toggled: true. Launch at Login set to: true", kActivatedWhileOff,
                                     kEnabling));
  h.clock->runUntilIdle();  // no time passes
  EXPECT_EQ(h.provider.setEnabledCalls.load(), 1);

  // The same value again: stored, login item set and both lines logged again.
  h.clock->advanceBy(0.5);  // the read shows on
  ASSERT_TRUE(h.manager->isNightShiftEnabled.get());
  h.clearLog();
  h.manager->autoEnable = true;
  EXPECT_THAT(h.lines(), ElementsAre("Auto-enable toggled: true",
                                     "Auto-enable toggled: true. Launch at Login set to: true"));
  EXPECT_THAT(h.loginItem.writes, ElementsAre(false, true, true));
  EXPECT_TRUE(UserDefaults(h.defaults->path()).boolForKey(Setting::autoEnable));
}

TEST(ManagerKeepAlwaysOn, LoginItemValueLoggedIsTheOneReadBack) {
  Harness h;
  h.loginItem.failWrites = true;
  h.startWith(true);
  EXPECT_EQ(h.count("Auto-enable toggled: true. Launch at Login set to: false"), 1u);
}

TEST(ManagerCommands, DisableWithoutKeepAlwaysOnTurnsOffAndReadsBack) {
  Harness h;
  h.provider.statusByte1 = 1;
  h.startWith(false);
  h.settle();
  h.clearLog();
  h.manager->disableNightShift();
  EXPECT_THAT(h.lines(), ElementsAre("Disabling Night Shift..."));
  h.clock->runUntilIdle();
  EXPECT_EQ(h.provider.lastEnabled.load(), 0);
  EXPECT_TRUE(h.manager->isNightShiftEnabled.get());
  h.clock->advanceBy(0.5);
  EXPECT_FALSE(h.manager->isNightShiftEnabled.get());
}

TEST(ManagerCommands, StrengthIsPassedAndPublishedUnchangedAtTheBounds) {
  Harness h;
  h.startWith(false);
  h.settle();
  h.clearLog();
  h.published.clear();
  for (float s : {0.0f, 1.0f}) {
    h.manager->setColorTemperatureStrength(s);
    h.clock->runUntilIdle();
    EXPECT_EQ(h.provider.lastStrength.load(), s);
    EXPECT_EQ(h.provider.lastCommit.load(), 1);
    EXPECT_EQ(h.manager->colorTemperatureStrength.get(), s);
  }
  // Read back once each, right after it is set: that read decides the request.
  EXPECT_THAT(h.lines(), ElementsAre("Setting color temperature strength to: 0.000000",
                                     "Status update - enabled: false, strength: 0.000000",
                                     "Setting color temperature strength to: 1.000000",
                                     "Status update - enabled: false, strength: 1.000000"));
  EXPECT_THAT(h.published, ElementsAre("strength=0.000000", "strength=0.000000", "enabled=false", "strength=1.000000",
                                       "strength=1.000000", "enabled=false"));
  EXPECT_FALSE(h.manager->isInternalUpdateForTesting());
  EXPECT_EQ(h.provider.getStatusCalls.load(), 3);
}

TEST(ManagerCommands, WithoutAClientCommandsOnlyLogAndStrengthOnlyPublishes) {
  Harness h("/nonexistent/libduskwarden-nightlight.so");
  h.startWith(false);
  h.settle();
  h.manager->enableNightShift();
  h.clock->runUntilIdle();
  EXPECT_TRUE(h.manager->isInternalUpdateForTesting());  // the window still opens
  h.manager->setColorTemperatureStrength(0.8f);
  h.clock->advanceBy(2.0);
  EXPECT_FALSE(h.manager->isInternalUpdateForTesting());
  EXPECT_EQ(h.manager->colorTemperatureStrength.get(), 0.8f);
  EXPECT_FALSE(h.manager->isNightShiftEnabled.get());
  EXPECT_EQ(h.provider.setEnabledCalls.load() + h.provider.setStrengthCalls.load(), 0);
}

TEST(ManagerPublishing, UnchangedStatusStillNotifiesStrengthThenEnabled) {
  Harness h;
  h.provider.statusByte1 = 1;
  h.startWith(false);
  h.settle();
  h.published.clear();
  const int before = h.willChangeCount;
  h.manager->updateStatus();
  h.clock->runUntilIdle();
  EXPECT_THAT(h.published, ElementsAre("strength=0.500000", "enabled=true"));
  EXPECT_EQ(h.willChangeCount - before, 2);
}

TEST(ManagerWindow, TwoCommandsLessThanASecondApartShareOneFlag) {
  Harness h;
  h.startWith(false);
  h.settle();
  h.manager->enableNightShift();
  h.clock->runUntilIdle();
  const double first = h.clock->now();
  h.clock->advanceBy(0.6);
  h.manager->enableNightShift();
  h.clock->runUntilIdle();
  EXPECT_TRUE(h.manager->isInternalUpdateForTesting());
  h.clock->advanceBy(first + 1.0 - kEps - h.clock->now());
  EXPECT_TRUE(h.manager->isInternalUpdateForTesting());
  h.clock->advanceBy(kEps);
  // Closed by the first command's step although the second ran 0.4 s ago.
  EXPECT_FALSE(h.manager->isInternalUpdateForTesting());
  h.clock->advanceBy(0.6);
  EXPECT_FALSE(h.manager->isInternalUpdateForTesting());
}

}  // namespace
}  // namespace duskwarden::testing
