#include "app/AppDelegate.h"

#include "ShellFakes.h"

#include <gtest/gtest.h>

using namespace duskwarden;
using namespace duskwarden::testing;

namespace {

class AppDelegateTest : public ::testing::Test {
 protected:
  std::shared_ptr<AppDelegate> makeDelegate() {
    return AppDelegate::create(
        AppDelegate::Environment{&app, &build_, [this] { return vm.manager; }, vm.main, [this] { return now; }});
  }
  void launch() {
    delegate = makeDelegate();
    delegate->applicationDidFinishLaunching();
    vm.clock->runUntilIdle();  // the first icon
  }
  FakePopover& popover() { return *app.popover; }
  FakeStatusItem& item() { return *app.statusItem; }

  VirtualManager vm;
  FakeApplication app;
  BuildInfo build_{"Duskwarden", "1", "1.0", ""};
  const std::string unsupported = "Night light is not supported on this desktop";
  double now = 100.0;
  std::shared_ptr<AppDelegate> delegate;
};

TEST_F(AppDelegateTest, LaunchRunsItsStepsInOrderAndTheFirstIconComesOnTheNextMainTurn) {
  delegate = makeDelegate();
  delegate->applicationDidFinishLaunching();

  EXPECT_EQ(app.journal, (Journal{"configureCloudBackend", "makeUpdaterController starting=true", "makePopover",
                                  "setContentSize", "setBehavior", "makeStatusItem", "setActivationPolicy 1"}));
  EXPECT_EQ(popover().contentSize, (Size{320.0, 420.0}));
  EXPECT_EQ(popover().behavior, PopoverBehavior::transient);
  EXPECT_EQ(app.popoverManager, vm.manager);
  EXPECT_EQ(item().button().actionMaskForTesting(),
            eventMask(EventType::leftMouseUp) | eventMask(EventType::rightMouseUp));
  EXPECT_TRUE(item().images.empty()) << "no image until the subscription delivers";
  EXPECT_TRUE(static_cast<bool>(delegate->statusCancellableForTesting()));
  EXPECT_FALSE(popover().shown) << "no window at start";

  vm.clock->runUntilIdle();
  ASSERT_EQ(item().images.size(), 1u);
  EXPECT_EQ(item().images[0].symbolName, "moonphase.full.moon.inverse");
  // This manager has no night light: the tooltip says so under the state.
  EXPECT_EQ(item().images[0].accessibilityDescription, "Night Shift Inactive\n" + unsupported);
  EXPECT_EQ(item().images[0].configuration, (ImageSymbolConfiguration{16.0, SymbolWeight::heavy}));
}

TEST_F(AppDelegateTest, IconFollowsTheFlagOnTheNextMainQueueTurn) {
  launch();
  vm.manager->isNightShiftEnabled = true;
  EXPECT_EQ(item().images.size(), 1u) << "delivery waits for the main queue";
  vm.clock->runUntilIdle();
  ASSERT_EQ(item().images.size(), 2u);
  EXPECT_EQ(item().images.back().symbolName, "moonphase.first.quarter");
  EXPECT_EQ(item().images.back().accessibilityDescription, "Night Shift Active\n" + unsupported);

  vm.manager->isNightShiftEnabled = false;
  vm.clock->runUntilIdle();
  EXPECT_EQ(item().images.back().symbolName, "moonphase.full.moon.inverse");
  EXPECT_EQ(item().images.back().accessibilityDescription, "Night Shift Inactive\n" + unsupported);
}

TEST_F(AppDelegateTest, AnImageThatCannotBeMadeLeavesTheIconAsItWas) {
  launch();
  item().unknownSymbols = {"moonphase.first.quarter"};
  vm.manager->isNightShiftEnabled = true;
  vm.clock->runUntilIdle();
  ASSERT_EQ(item().images.size(), 1u);
  EXPECT_EQ(item().images.back().symbolName, "moonphase.full.moon.inverse");
}

TEST_F(AppDelegateTest, LeftClickTogglesThePopoverAndOnlyOpeningRereadsTheStatus) {
  launch();
  const auto reads = vm.pendingReads();

  EXPECT_FALSE(app.click(EventType::leftMouseDown)) << "a left press is not an action";
  EXPECT_FALSE(popover().shown);
  EXPECT_EQ(vm.pendingReads(), reads);

  EXPECT_TRUE(app.click(EventType::leftMouseUp));
  EXPECT_TRUE(popover().shown);
  EXPECT_EQ(vm.pendingReads(), reads + 1) << "one updateStatus() before showing";
  ASSERT_EQ(popover().shows.size(), 1u);
  EXPECT_EQ(popover().shows[0], item().bounds) << "anchored at the icon";

  EXPECT_TRUE(app.click(EventType::leftMouseUp));
  EXPECT_FALSE(popover().shown);
  EXPECT_EQ(popover().closes, 1);
  EXPECT_EQ(vm.pendingReads(), reads + 1) << "closing does not re-read";
  EXPECT_TRUE(item().menus.empty());
}

TEST_F(AppDelegateTest, RightClickAndControlClickShowTheMenuAndLeaveThePopoverAlone) {
  launch();
  app.click(EventType::leftMouseUp);
  ASSERT_TRUE(popover().shown);
  const auto reads = vm.pendingReads();

  app.click(EventType::rightMouseUp);
  app.click(EventType::rightMouseUp, kControlKeyMask);
  app.click(EventType::leftMouseUp, kControlKeyMask);

  EXPECT_EQ(item().menus.size(), 3u);
  EXPECT_TRUE(popover().shown) << "the menu does not close an open popover";
  EXPECT_EQ(popover().closes, 0);
  EXPECT_EQ(popover().shows.size(), 1u);
  EXPECT_EQ(vm.pendingReads(), reads);

  // Control-click with the popover hidden still opens no popover.
  popover().performClose();
  app.click(EventType::leftMouseUp, kControlKeyMask);
  EXPECT_FALSE(popover().shown);
  EXPECT_EQ(item().menus.size(), 4u);
}

TEST_F(AppDelegateTest, TheClickThatClosedThePopoverByPressingTheIconDoesNotReopenIt) {
  launch();
  app.click(EventType::leftMouseUp);
  ASSERT_TRUE(popover().shown);

  // The press on the icon reaches the popup first, then the tray reports it.
  popover().closeByOutsidePress(now);
  now += 0.05;
  app.click(EventType::leftMouseUp);
  EXPECT_FALSE(popover().shown);
  EXPECT_EQ(popover().shows.size(), 1u);

  // A later, separate click opens it again.
  now += kOutsideCloseGraceSeconds;
  app.click(EventType::leftMouseUp);
  EXPECT_TRUE(popover().shown);
  EXPECT_EQ(popover().shows.size(), 2u);
}

TEST_F(AppDelegateTest, ClicksWithoutACurrentEventOrBeforeLaunchDoNothing) {
  delegate = makeDelegate();
  delegate->handleStatusBarClick();
  delegate->togglePopover();
  delegate->showPopover();
  delegate->updateStatusIcon(true);
  delegate->checkForUpdates();
  EXPECT_TRUE(app.journal.empty());
  EXPECT_EQ(vm.pendingReads(), 0u);

  delegate->applicationDidFinishLaunching();
  vm.clock->runUntilIdle();
  delegate->handleStatusBarClick();  // no event is being handled
  EXPECT_FALSE(popover().shown);
  EXPECT_TRUE(item().menus.empty());
}

TEST_F(AppDelegateTest, ShowPopoverOpensAHiddenPopoverAndKeepsAShownOneOpen) {
  launch();
  delegate->showPopover();
  EXPECT_TRUE(popover().shown);
  delegate->showPopover();
  EXPECT_TRUE(popover().shown);
  EXPECT_EQ(popover().shows.size(), 1u);
  EXPECT_EQ(popover().closes, 0);
}

TEST_F(AppDelegateTest, MenuHasItsItemsTitlesAndShortcutsAndIsBuiltAnewEachTime) {
  launch();
  app.click(EventType::rightMouseUp);
  app.click(EventType::rightMouseUp);
  ASSERT_EQ(item().menus.size(), 2u);
  const Menu& menu = item().menus[1];
  ASSERT_EQ(menu.items.size(), 3u);
  EXPECT_EQ(menu.items[0].title, "Check for Updates...");
  EXPECT_EQ(menu.items[0].keyEquivalent, "");
  EXPECT_TRUE(menu.items[1].isSeparator);
  EXPECT_EQ(menu.items[2].title, "Quit Duskwarden");
  EXPECT_EQ(menu.items[2].keyEquivalent, "Ctrl+Q");

  menu.items[0].action();
  EXPECT_EQ(app.updater->checks, 1);
  EXPECT_EQ(app.terminations, 0);
  menu.items[2].action();
  EXPECT_EQ(app.terminations, 1);
}

TEST_F(AppDelegateTest, QuitTitleNamesTheBuildsApplication) {
  build_.name = "Renamed";
  EXPECT_EQ(makeDelegate()->buildStatusMenu().items.back().title, "Quit Renamed");
}

TEST_F(AppDelegateTest, AnIconValueQueuedWhenTheDelegateGoesAwayIsDropped) {
  launch();
  vm.manager->isNightShiftEnabled = true;  // queued for delivery
  delegate.reset();
  EXPECT_NO_FATAL_FAILURE(vm.clock->runUntilIdle());
  vm.manager->isNightShiftEnabled = false;  // the subscription died with the delegate
  EXPECT_EQ(vm.main->pendingCount(), 0u);
}

TEST(StatusItemButton, RunsOnlyForMaskedEventsWithTheEventCurrentWhileItRuns) {
  EventSource events;
  StatusItemButton button;
  std::optional<Event> seen;
  button.setAction([&] { seen = events.currentEvent(); });
  button.sendActionOn(eventMask(EventType::rightMouseUp));

  EXPECT_FALSE(button.send(Event{EventType::leftMouseUp, 0}, events));
  EXPECT_FALSE(seen);
  EXPECT_TRUE(button.send(Event{EventType::rightMouseUp, kControlKeyMask}, events));
  ASSERT_TRUE(seen);
  EXPECT_EQ(seen->type, EventType::rightMouseUp);
  EXPECT_EQ(seen->modifierFlags, kControlKeyMask);
  EXPECT_FALSE(events.currentEvent()) << "no event is current once it is handled";
}

}  // namespace
