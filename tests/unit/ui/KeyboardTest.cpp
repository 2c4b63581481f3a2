// The popover without a pointer: keys on the
// strength row (a burst commits once), Return and Enter, and the text
// scale following the desktop's font.

#include <QTest>

#include "ViewFixture.h"
#include "ui/StrengthRow.h"

namespace duskwarden::ui::testing {
namespace {

using Keyboard = ViewFixture;

TEST_F(Keyboard, KeysStepTheStrengthOnItsGrid) {
  start();
  const struct {
    float from;
    Qt::Key key;
    float to;
  } rows[] = {
      {0.43F, Qt::Key_Right, 0.45F}, {0.45F, Qt::Key_Up, 0.5F},      {0.45F, Qt::Key_Left, 0.4F},
      {0.43F, Qt::Key_Down, 0.4F},   {0.43F, Qt::Key_PageUp, 0.5F},  {0.3F, Qt::Key_PageDown, 0.25F},
      {0.7F, Qt::Key_Home, 0.0F},    {0.2F, Qt::Key_End, 1.0F},      {1.0F, Qt::Key_Right, 1.0F},
      {0.0F, Qt::Key_Left, 0.0F},    {0.35F, Qt::Key_Right, 0.4F},   {0.6F, Qt::Key_Tab, 0.6F},
  };
  auto* row = child<StrengthRow>("strengthRow");
  for (const auto& r : rows) {
    SCOPED_TRACE(::testing::Message() << r.from << " key " << r.key);
    manager->colorTemperatureStrength = r.from;
    QTest::keyClick(row, r.key);
    EXPECT_FLOAT_EQ(manager->colorTemperatureStrength.get(), r.to);
    clock->advanceBy(strengthrow::kBurstQuietSeconds);  // each row its own burst
  }
}

TEST_F(Keyboard, ABurstOfKeysCommitsOnceAfterTheLastReleaseAndNotWhileAKeyIsHeld) {
  start();
  manager->colorTemperatureStrength = 0.5F;
  auto* row = child<StrengthRow>("strengthRow");
  sink->clear();
  auto press = [&](bool autoRepeat) {
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(), autoRepeat);
    QApplication::sendEvent(row, &down);
  };
  for (int i = 0; i < 3; ++i) {
    QTest::keyClick(row, Qt::Key_Right);
    clock->advanceBy(0.3);  // a quick hand: each gap shorter than the quiet period
  }
  press(false);
  for (int i = 0; i < 5; ++i) press(true);  // held: auto-repeats, no release
  manager->updateStatus();  // a status read mid-burst publishes the platform's 0.5
  clock->runUntilIdle();
  for (int i = 0; i < 5; ++i) press(true);
  clock->advanceBy(2.0);
  turn();
  EXPECT_FLOAT_EQ(manager->colorTemperatureStrength.get(), 1.0F) << "the view follows every step";
  EXPECT_EQ(provider->setStrengthCalls.load(), 0) << "nothing reaches the platform while a key is held";

  QTest::keyRelease(row, Qt::Key_Right);
  clock->advanceBy(0.49);
  EXPECT_EQ(provider->setStrengthCalls.load(), 0);
  clock->advanceBy(0.01);
  clock->runUntilIdle();
  EXPECT_EQ(count("Setting color temperature strength to: 1.000000"), 1u);
  EXPECT_EQ(provider->setStrengthCalls.load(), 1);

  // Leaving the row ends a burst at once.
  QTest::keyClick(row, Qt::Key_Home);
  row->hide();
  clock->runUntilIdle();
  EXPECT_EQ(count("Setting color temperature strength to: 0.000000"), 1u);
  clock->advanceBy(1.0);
  EXPECT_EQ(provider->setStrengthCalls.load(), 2);
}

// What assistive technology sets goes the same way: the accessibility e2e test.
TEST_F(Keyboard, ReturnAndEnterPressTheFocusedButtonOrSwitch) {
  start();
  QTest::keyClick(button("enableButton"), Qt::Key_Enter);
  EXPECT_EQ(count("Enabling Night Shift..."), 1u);
  QTest::keyClick(toggle(), Qt::Key_Return);
  EXPECT_TRUE(manager->autoEnable.get());
  EXPECT_EQ(count("Auto-enable toggled: true"), 1u);
}

TEST_F(Keyboard, TextFollowsALargerDesktopFontAndKeepsTheDesignAtTheDefault) {
  const QFont original = QApplication::font();
  start();
  const struct {
    double points;
    int title, caption, buttonHeight;
  } rows[] = {{9, 15, 10, 30}, {10, 15, 10, 30}, {15, 23, 15, 46}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.points);
    QFont desktop = original;
    desktop.setPointSizeF(r.points);
    QApplication::setFont(desktop);
    turn();
    turn();
    EXPECT_EQ(label("title")->font().pixelSize(), r.title);
    EXPECT_EQ(label("lessWarm")->font().pixelSize(), r.caption);
    EXPECT_EQ(button("enableButton")->sizeHint().height(), r.buttonHeight);
    EXPECT_EQ(view->height(), view->sizeHint().height()) << "the height follows the text";
  }
  QApplication::setFont(original);
}

}  // namespace
}  // namespace duskwarden::ui::testing
