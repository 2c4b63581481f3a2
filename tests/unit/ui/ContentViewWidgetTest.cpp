// The popover on a real manager: what it shows in each state, what its
// controls do to the manager, and how it follows the manager's changes.

#include <QTest>

#include "ViewFixture.h"

namespace duskwarden::ui::testing {
namespace {

using Widget = ViewFixture;

struct Expected {
  bool e, k;
  const char* header;
  ColorRole headerColor;
  const char* badge;
  ColorRole badgeColor;
  const char* shield;
  ColorSpec cardBackground;
  ColorSpec cardTitle;
  bool enable, disable;
};

const Expected kRows[] = {
    {false, false, "moonphase.full.moon.inverse", ColorRole::secondary, "Status: Inactive", ColorRole::red,
     "shield.fill", {ColorRole::primary, 0.1}, {ColorRole::primary, 1}, true, false},
    {true, false, "moonphase.first.quarter", ColorRole::orange, "Status: Active", ColorRole::green, "shield.fill",
     {ColorRole::primary, 0.1}, {ColorRole::primary, 1}, false, true},
    {true, true, "moonphase.first.quarter", ColorRole::orange, "Status: Active", ColorRole::green,
     "checkmark.shield.fill", {ColorRole::blue, 0.9}, {ColorRole::white, 1}, false, false},
    {false, true, "moonphase.full.moon.inverse", ColorRole::secondary, "Status: Inactive", ColorRole::red,
     "checkmark.shield.fill", {ColorRole::blue, 0.9}, {ColorRole::white, 1}, true, false},
};

TEST_F(Widget, ShowsEachRowOfTheStateTable) {
  start();
  for (const Expected& row : kRows) {
    SCOPED_TRACE(::testing::Message() << "E=" << row.e << " K=" << row.k);
    setState(row.e, row.k);
    ASSERT_EQ(manager->isNightShiftEnabled.get(), row.e);
    auto* header = child("headerSymbol");
    EXPECT_EQ(header->property("symbolName").toString(), row.header);
    EXPECT_EQ(header->property("symbolColor").value<QColor>(), resolved({row.headerColor}));
    EXPECT_EQ(label("statusBadge")->text(), row.badge);
    EXPECT_EQ(textColor("statusBadge"), resolved({row.badgeColor}));
    EXPECT_EQ(child("keepAlwaysOnCard")->property("backdropColor").value<QColor>(), resolved(row.cardBackground));
    EXPECT_EQ(child("shieldSymbol")->property("symbolName").toString(), row.shield);
    EXPECT_EQ(textColor("cardTitle"), resolved(row.cardTitle));
    EXPECT_EQ(toggle()->isChecked(), row.k);
    EXPECT_TRUE(toggle()->isEnabled());
    EXPECT_EQ(button("enableButton")->isEnabled(), row.enable);
    EXPECT_EQ(button("disableButton")->isEnabled(), row.disable);
    // "Enable" is filled with blue while it can be pressed; a disabled button is dimmed.
    const QImage enable = button("enableButton")->grab().toImage();
    const QColor middle = enable.pixelColor(enable.width() / 2, 4);
    if (row.enable) EXPECT_EQ(middle.rgb(), resolved({ColorRole::blue}).rgb());
    else EXPECT_NE(middle.rgb(), resolved({ColorRole::blue}).rgb());
    EXPECT_TRUE(sliderControl()->isEnabled());
    EXPECT_EQ(label("versionLabel")->text(), "V42");
  }
  EXPECT_EQ(toggle()->accessibleName(), "Warden Mode");
  EXPECT_TRUE(toggle()->text().isEmpty()) << "the label is for accessibility only";
}

TEST_F(Widget, SwitchWritesKeepAlwaysOnAndNothingElse) {
  start();
  setState(true, false);
  sink->clear();
  const int applied = view->applyCountForTesting();

  click(toggle());
  EXPECT_TRUE(manager->autoEnable.get());
  EXPECT_EQ(lines(), (std::vector<std::string>{"Auto-enable toggled: true",
                                               "Auto-enable toggled: true. Launch at Login set to: true"}));
  turn();
  // Card and Disable button change in the same re-application.
  EXPECT_EQ(view->applyCountForTesting(), applied + 1);
  EXPECT_EQ(child("shieldSymbol")->property("symbolName").toString(), "checkmark.shield.fill");
  EXPECT_FALSE(button("disableButton")->isEnabled());

  click(toggle());
  turn();
  EXPECT_FALSE(manager->autoEnable.get());
  EXPECT_EQ(child("shieldSymbol")->property("symbolName").toString(), "shield.fill");
  EXPECT_TRUE(button("disableButton")->isEnabled());
  EXPECT_EQ(count("Disabling Night Shift..."), 0u);
  EXPECT_EQ(count("Enabling Night Shift..."), 0u);
  EXPECT_EQ(provider->setEnabledCalls.load(), 0);
}

TEST_F(Widget, SwitchingOnWhileOffShowsTheCardAtOnceAndTheStatusWhenRead) {
  start();
  sink->clear();
  click(toggle());
  // Only the manager's own reaction follows the write.
  EXPECT_EQ(lines(), (std::vector<std::string>{"Auto-enable toggled: true",
                                               "Auto-enable toggled: true. Launch at Login set to: true",
                                               "Auto-enable activated while Night Shift is off. Enabling...",
                                               "Enabling Night Shift..."}));
  turn();
  EXPECT_EQ(child("keepAlwaysOnCard")->property("backdropColor").value<QColor>(), resolved({ColorRole::blue, 0.9}));
  EXPECT_EQ(label("statusBadge")->text(), "Status: Inactive");
  EXPECT_TRUE(button("enableButton")->isEnabled());

  clock->advanceBy(0.5);  // the manager's re-read after its command
  EXPECT_EQ(label("statusBadge")->text(), "Status: Active");
  EXPECT_EQ(textColor("statusBadge"), resolved({ColorRole::green}));
  EXPECT_FALSE(button("enableButton")->isEnabled());
  EXPECT_FALSE(button("disableButton")->isEnabled());
}

TEST_F(Widget, CommandButtonsCallTheManagerAndTheBadgeWaitsForTheStatus) {
  start();
  sink->clear();
  click(button("enableButton"));
  EXPECT_EQ(lines(), std::vector<std::string>{"Enabling Night Shift..."});
  turn();
  EXPECT_EQ(provider->setEnabledCalls.load(), 1);
  EXPECT_EQ(label("statusBadge")->text(), "Status: Inactive");
  EXPECT_TRUE(button("enableButton")->isEnabled());

  clock->advanceBy(0.5);
  EXPECT_EQ(label("statusBadge")->text(), "Status: Active");
  EXPECT_FALSE(button("enableButton")->isEnabled());
  ASSERT_TRUE(button("disableButton")->isEnabled());

  click(button("disableButton"));
  EXPECT_EQ(count("Disabling Night Shift..."), 1u);
  turn();
  EXPECT_EQ(label("statusBadge")->text(), "Status: Active");
  clock->advanceBy(0.5);
  EXPECT_EQ(label("statusBadge")->text(), "Status: Inactive");
  EXPECT_EQ(provider->lastEnabled.load(), 0);
}

TEST_F(Widget, DisabledDisableButtonDoesNotReachTheManager) {
  start();
  setState(true, true);
  sink->clear();
  click(button("disableButton"));
  EXPECT_TRUE(lines().empty());
}

TEST_F(Widget, DragWritesAlongTheWayAndCommitsTheLastValueOnce) {
  start();
  manager->colorTemperatureStrength = 0.2F;
  turn();
  sink->clear();
  std::vector<float> written;
  auto sub = manager->colorTemperatureStrength.sink([&](const float& v) { written.push_back(v); });
  written.clear();  // the current value, sent on subscribing

  const double w = sliderControl()->trackWidth();
  ASSERT_GT(w, 250.0);
  const double start = 0.2F * w + 4;  // the thumb's centre
  QTest::mousePress(view->windowHandle(), Qt::LeftButton, {}, sliderPoint(start));
  for (int i = 1; i <= 20; ++i) {
    QTest::mouseMove(view->windowHandle(), sliderPoint(start + (0.8 * w - start) * i / 20));
    turn();  // the view follows each write on the next turn
  }
  EXPECT_EQ(count("Setting color temperature strength to: 0.800000"), 0u) << "nothing reaches the platform mid-drag";
  QTest::mouseRelease(view->windowHandle(), Qt::LeftButton, {}, sliderPoint(0.8 * w));

  ASSERT_GE(written.size(), 10u);
  EXPECT_GT(written.front(), 0.2F);
  EXPECT_EQ(written.back(), 0.8F);
  EXPECT_TRUE(std::is_sorted(written.begin(), written.end()));
  auto setLines = [&] {
    std::size_t n = 0;
    for (const auto& l : lines()) n += l.rfind("Setting color temperature strength to:", 0) == 0;
    return n;
  };
  EXPECT_EQ(setLines(), 1u);
  EXPECT_EQ(count("Setting color temperature strength to: 0.800000"), 1u);
  turn();
  EXPECT_EQ(provider->setStrengthCalls.load(), 1);
  EXPECT_EQ(provider->lastStrength.load(), 0.8F);
  EXPECT_EQ(manager->colorTemperatureStrength.get(), 0.8F);
}

// A status read during a drag does not move the thumb; a release without
// further movement commits the dragged value, not the one read.
TEST_F(Widget, AStatusReadMidDragNeitherMovesTheThumbNorIsCommitted) {
  start();
  const double w = sliderControl()->trackWidth();
  const double from = 0.5 * w + 4;
  QTest::mousePress(view->windowHandle(), Qt::LeftButton, {}, sliderPoint(from));
  QTest::mouseMove(view->windowHandle(), sliderPoint(0.8 * w));
  turn();
  const double dragged = sliderControl()->shownValueForTesting();
  ASSERT_NEAR(dragged, 0.8, 0.02);
  provider->strength = 0.3F;
  manager->updateStatus();
  turn();
  ASSERT_EQ(manager->colorTemperatureStrength.get(), 0.3F) << "the read was published";
  EXPECT_EQ(sliderControl()->shownValueForTesting(), dragged);
  sink->clear();
  QTest::mouseRelease(view->windowHandle(), Qt::LeftButton, {}, sliderPoint(0.8 * w));
  turn();
  EXPECT_EQ(provider->lastStrength.load(), static_cast<float>(dragged));
  EXPECT_EQ(manager->colorTemperatureStrength.get(), static_cast<float>(dragged));
}

TEST_F(Widget, ClickOnTheSliderThatIsNoDragCallsNothing) {
  start();
  const double w = sliderControl()->trackWidth();
  const double centre = 0.5 * w + 4;
  sink->clear();
  std::size_t writes = 0;
  auto sub = manager->colorTemperatureStrength.sink([&](const float&) { ++writes; });
  writes = 0;
  QTest::mousePress(view->windowHandle(), Qt::LeftButton, {}, sliderPoint(centre));
  QTest::mouseMove(view->windowHandle(), sliderPoint(centre + 5));
  QTest::mouseRelease(view->windowHandle(), Qt::LeftButton, {}, sliderPoint(centre + 5));
  QTest::mouseClick(view->windowHandle(), Qt::LeftButton, {}, sliderPoint(0.1 * w));  // on the bar
  turn();
  EXPECT_EQ(writes, 0u);
  EXPECT_TRUE(lines().empty());
  EXPECT_EQ(provider->setStrengthCalls.load(), 0);
}

TEST_F(Widget, ReappliesOncePerTurnHoweverManyWrites) {
  start();
  const int before = view->applyCountForTesting();
  for (int i = 0; i < 50; ++i) manager->colorTemperatureStrength = static_cast<float>(i) / 50;
  EXPECT_EQ(view->applyCountForTesting(), before) << "objectWillChange comes before the value; wait a turn";
  turn();
  EXPECT_EQ(view->applyCountForTesting(), before + 1);
  EXPECT_EQ(view->description().strength.value, static_cast<double>(49.0F / 50));
  turn();
  EXPECT_EQ(view->applyCountForTesting(), before + 1);

  // An applied status writes two properties: still one re-application.
  provider->statusByte1 = 1;
  manager->updateStatus();
  turn();
  EXPECT_EQ(view->applyCountForTesting(), before + 2);
  EXPECT_EQ(label("statusBadge")->text(), "Status: Active");
}

TEST_F(Widget, PendingReapplicationAfterTheViewIsGoneIsHarmless) {
  start();
  manager->autoEnable = false;
  view.reset();
  turn();
  manager->colorTemperatureStrength = 0.3F;
  turn();
  EXPECT_EQ(manager->objectWillChange.subscriberCountForTesting(), 0u);
}

TEST_F(Widget, ClosingMidDragCommitsOnceEvenWhenTheViewHeldTheLastManager) {
  start();
  const double w = sliderControl()->trackWidth();
  const double centre = 0.5 * w + 4;
  QTest::mousePress(view->windowHandle(), Qt::LeftButton, {}, sliderPoint(centre));
  QTest::mouseMove(view->windowHandle(), sliderPoint(0.2 * w));
  ASSERT_EQ(manager->colorTemperatureStrength.get(), 0.2F);
  std::weak_ptr<NightShiftManager> weak = manager;
  manager.reset();  // the view now holds the only reference
  view.reset();     // hiding ends the drag during teardown
  EXPECT_EQ(count("Setting color temperature strength to: 0.200000"), 1u);
  clock->runUntilIdle();
}

TEST_F(Widget, IsThreeSixtyWideAndAsTallAsItsContent) {
  start();
  view->resize(600, 100);
  QApplication::processEvents();
  EXPECT_EQ(view->width(), contentview::kWidth);
  EXPECT_EQ(view->height(), view->sizeHint().height());
  // The slider's track spans the column between the paddings.
  EXPECT_EQ(sliderControl()->trackWidth(), contentview::kWidth - 2 * contentview::kPadding);
  // No single-line text is squeezed below what it needs.
  for (const char* name : {"title", "statusBadge", "cardTitle", "lessWarm", "moreWarm", "versionLabel"}) {
    EXPECT_GE(label(name)->width(), label(name)->sizeHint().width()) << name;
  }
  EXPECT_GE(label("cardCaption")->height(), label("cardCaption")->heightForWidth(label("cardCaption")->width()));
  // The version sits at the trailing edge.
  EXPECT_TRUE(label("versionLabel")->alignment() & Qt::AlignRight);
  EXPECT_EQ(label("versionLabel")->geometry().right(), contentview::kWidth - contentview::kPadding - 1);
}

TEST_F(Widget, VersionLineOfABuildWithoutANumberShowsV) {
  start("");
  EXPECT_EQ(label("versionLabel")->text(), "V");
}

}  // namespace
}  // namespace duskwarden::ui::testing
