#include "tray/QtPopover.h"
#include "tray/QtStatusItem.h"
#include "control/SingleInstance.h"

#include "TestEnvironment.h"

#include "QtSpin.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

using namespace duskwarden;
using duskwarden::testing::spinUntil;
using namespace std::chrono_literals;

namespace {

void app() { duskwarden::testing::ensureQtApp<QApplication>(); }


TEST(TrayActivation, PrimaryIsALeftUpContextIsARightUpAndControlIsCarried) {
  const auto left = eventForActivation(QSystemTrayIcon::Trigger, Qt::NoModifier);
  ASSERT_TRUE(left);
  EXPECT_EQ(left->type, EventType::leftMouseUp);
  EXPECT_EQ(left->modifierFlags, 0u);

  const auto controlLeft = eventForActivation(QSystemTrayIcon::Trigger, Qt::ControlModifier | Qt::ShiftModifier);
  ASSERT_TRUE(controlLeft);
  EXPECT_EQ(controlLeft->modifierFlags, kControlKeyMask);

  const auto right = eventForActivation(QSystemTrayIcon::Context, Qt::NoModifier);
  ASSERT_TRUE(right);
  EXPECT_EQ(right->type, EventType::rightMouseUp);

  EXPECT_FALSE(eventForActivation(QSystemTrayIcon::DoubleClick, Qt::NoModifier));
  EXPECT_FALSE(eventForActivation(QSystemTrayIcon::MiddleClick, Qt::NoModifier));
}

TEST(TrayMenu, CarriesTitlesSeparatorAndShortcutAndRunsActionsAfterTheMenuCloses) {
  app();
  int checks = 0;
  int quits = 0;
  Menu menu{{MenuItem{"Check for Updates...", "", [&] { ++checks; }}, MenuItem::separatorItem(),
             MenuItem{"Quit Duskwarden", "Ctrl+Q", [&] { ++quits; }}}};
  auto qmenu = makeQMenu(menu);
  const auto actions = qmenu->actions();
  ASSERT_EQ(actions.size(), 3);
  EXPECT_EQ(actions[0]->text(), "Check for Updates...");
  EXPECT_TRUE(actions[0]->shortcut().isEmpty());
  EXPECT_TRUE(actions[1]->isSeparator());
  EXPECT_EQ(actions[2]->text(), "Quit Duskwarden");
  EXPECT_EQ(actions[2]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));

  actions[2]->trigger();
  EXPECT_EQ(quits, 0) << "runs on a later turn, once the menu is gone";
  ASSERT_TRUE(spinUntil("the quit action to run", [&] { return quits == 1; }));
  EXPECT_EQ(checks, 0);

  // Ctrl+Q answers while the menu is open; the action still runs when the
  // menu deletes itself on closing, as the tray's menus do.
  QPointer<QMenu> shown = makeQMenu(menu).release();
  shown->setAttribute(Qt::WA_DeleteOnClose);
  shown->popup(QPoint(100, 100));
  ASSERT_TRUE(spinUntil("the menu to show", [&] { return shown->isVisible(); }));
  QTest::keyClick(shown.data(), Qt::Key_Q, Qt::ControlModifier);
  EXPECT_TRUE(spinUntil("the quit action and the menu to close", [&] { return quits == 2 && shown.isNull(); }));
}

// Share of a pixmap's opaque pixels that are light and that are dark.
std::pair<double, double> lightAndDark(const QImage& image) {
  int opaque = 0, light = 0, dark = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.alpha() < 200) continue;
      ++opaque;
      if (c.lightness() > 200) ++light;
      if (c.lightness() < 60) ++dark;
    }
  return {opaque ? double(light) / opaque : 0, opaque ? double(dark) / opaque : 0};
}

TEST(TrayIcon, BothSymbolsReadOnLightAndDarkPanelsAtEveryPixelSizeAndUnknownOnesMakeNoIcon) {
  app();
  for (const char* name : {"moonphase.first.quarter", "moonphase.full.moon.inverse"}) {
    const QIcon icon = trayIconForSymbol(SymbolImage{name, "x", {16.0, SymbolWeight::heavy}});
    ASSERT_FALSE(icon.isNull()) << name;
    for (int side : {16, 20, 24, 48}) {  // 20: no baked mask, drawn from the SVG
      const QImage image = icon.pixmap(QSize(side, side)).toImage();
      EXPECT_EQ(image.width(), side) << name << " rendered at its own size, not scaled";
      const auto [light, dark] = lightAndDark(image);
      EXPECT_GT(light, 0.1) << name << " @" << side << ": needs light pixels for dark panels";
      EXPECT_GT(dark, 0.05) << name << " @" << side << ": needs dark pixels for light panels";
    }
  }
  EXPECT_TRUE(trayIconForSymbol(SymbolImage{"no.such.symbol", "x", {16.0, SymbolWeight::heavy}}).isNull());

  EventSource events;
  QtStatusItem item(events);
  EXPECT_FALSE(item.setImage(SymbolImage{"no.such.symbol", "x", {16.0, SymbolWeight::heavy}}));
  EXPECT_TRUE(item.trayIconForTesting().icon().isNull());
}

// Qt 6.8 hands an icon engine the logical size where 6.4 handed device
// pixels: either way a scale-2 icon is drawn at twice the pixels, not scaled up.
TEST(TrayIcon, IsDrawnAtTheDevicePixelsOfItsScale) {
  app();
  const QIcon icon = trayIconForSymbol(SymbolImage{"moonphase.first.quarter", "x", {16.0, SymbolWeight::heavy}});
  for (const qreal scale : {1.0, 2.0}) {
    QImage image = icon.pixmap(QSize(22, 22), scale).toImage();
    image.save(QString::fromStdString((duskwarden::testing::artifactsDir() / "tray-icon-22-at-").string()) +
               QString::number(scale) + ".png");
    EXPECT_EQ(image.size(), QSize(22, 22) * scale) << scale;
    EXPECT_EQ(image.devicePixelRatio(), scale);
    image.setDevicePixelRatio(1.0);
    EXPECT_EQ(image, icon.pixmap(QSize(22, 22) * scale, 1.0).toImage()) << "drawn afresh at " << scale;
  }
}

class PopoverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app();
    popover = std::make_unique<QtPopover>(
        [this] {
          ++contentsMade;
          auto* content = new QWidget;
          content->setFixedSize(360, 480);
          return content;
        },
        [this] { return now; });
    popover->setContentSize(Size{320, 420});
  }
  PopoverWindow& window() { return *popover->window(); }
  double now = 10.0;
  int contentsMade = 0;
  std::unique_ptr<QtPopover> popover;
};

TEST_F(PopoverTest, BuildsItsContentOnTheFirstOpenOnlyAndKeepsIt) {
  EXPECT_EQ(contentsMade, 0);
  EXPECT_FALSE(popover->isShown());
  popover->performClose();  // harmless before anything exists
  EXPECT_FALSE(popover->lastClosedByOutsidePress());
  EXPECT_EQ(popover->window(), nullptr);

  popover->showRelativeTo(Rect{600, 0, 24, 24});
  ASSERT_TRUE(popover->isShown());
  QPointer<QWidget> content = popover->content();
  for (int i = 0; i < 3; ++i) {
    popover->performClose();
    popover->showRelativeTo(Rect{600, 0, 24, 24});
  }
  EXPECT_EQ(contentsMade, 1);
  EXPECT_EQ(popover->content(), content.data()) << "the same widgets, kept while closed";
  EXPECT_EQ(content->window(), popover->window());

  // Closed, it gives its native window (and the backing store's pixels) back on the next turn.
  popover->performClose();
  ASSERT_NE(window().windowHandle(), nullptr);
  ASSERT_TRUE(spinUntil("the native window to go", [&] { return window().windowHandle() == nullptr; }, 2s));
  popover->showRelativeTo(Rect{600, 0, 24, 24});
  EXPECT_TRUE(popover->isShown());
  EXPECT_NE(window().windowHandle(), nullptr);
  EXPECT_EQ(popover->content(), content.data());

  // A content without a size of its own takes the size given before it existed.
  QtPopover sized([] { return new QWidget; }, [] { return 0.0; });
  sized.setContentSize(Size{320, 420});
  sized.showRelativeTo(std::nullopt);
  EXPECT_EQ(sized.content()->size(), QSize(320, 420));
  sized.performClose();
}

TEST_F(PopoverTest, ShowsTheWholeContentBelowATopPanelIcon) {
  popover->showRelativeTo(Rect{600, 0, 24, 24});
  ASSERT_TRUE(popover->isShown());
  const QRect frame = window().geometry();
  EXPECT_EQ(frame.size(), QSize(360, 480)) << "the content decides the size";
  EXPECT_GE(frame.top(), 24);
  EXPECT_EQ(frame.center().x(), 611) << "centred under the icon";
  popover->performClose();
  EXPECT_FALSE(popover->isShown());
  EXPECT_FALSE(popover->lastClosedByOutsidePress());
}

TEST_F(PopoverTest, ClosesOnEscapeAndRemembersWhenAPressOutsideClosedIt) {
  popover->showRelativeTo(std::nullopt);
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&window(), &escape);
  EXPECT_FALSE(popover->isShown());
  EXPECT_FALSE(popover->lastClosedByOutsidePress()) << "Escape is not an outside press";

  popover->showRelativeTo(std::nullopt);
  now = 42.0;
  const QPointF outside(-5, -5);
  QMouseEvent press(QEvent::MouseButtonPress, outside, window().mapToGlobal(outside), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window(), &press);
  EXPECT_FALSE(popover->isShown());
  EXPECT_EQ(popover->lastClosedByOutsidePress(), 42.0);

  popover->showRelativeTo(std::nullopt);
  const QPointF inside(10, 10);
  QMouseEvent pressInside(QEvent::MouseButtonPress, inside, window().mapToGlobal(inside), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
  now = 50.0;
  QApplication::sendEvent(&window(), &pressInside);
  EXPECT_TRUE(popover->isShown());
  EXPECT_EQ(popover->lastClosedByOutsidePress(), 42.0);
  popover->performClose();
}

TEST_F(PopoverTest, ClosesWhenTheFocusItHeldMovesAwayButNotWhenTheCompositorTakesItStraightBack) {
  QWidget other;
  other.resize(100, 100);
  other.show();
  auto focusIs = [](QWidget& w) { return [&w] { return QGuiApplication::focusWindow() == w.windowHandle(); }; };
  popover->showRelativeTo(Rect{600, 0, 24, 24});
  ASSERT_TRUE(spinUntil("the popover to take the focus on showing", focusIs(window()), 2s));

  // Taken back at once (wlroots gives the focus back to its own choice): it stays.
  now += kFocusSettleSeconds / 5;
  other.activateWindow();
  ASSERT_TRUE(spinUntil("the other window to take the focus", focusIs(other), 2s));
  EXPECT_TRUE(popover->isShown());
  EXPECT_FALSE(popover->lastClosedByOutsidePress());

  // Held, then lost to another window: the user went elsewhere.
  window().activateWindow();
  ASSERT_TRUE(spinUntil("the popover to take the focus back", focusIs(window()), 2s));
  now += 2 * kFocusSettleSeconds;
  other.activateWindow();
  ASSERT_TRUE(spinUntil("the popover to close", [&] { return !popover->isShown(); }, 2s));
  EXPECT_EQ(popover->lastClosedByOutsidePress(), now) << "a tray click right after is the same gesture";
}

TEST(SingleInstance, ASecondCopyAsksTheFirstToShowItselfAndAStaleSocketDoesNotBlockTheFirst) {
  app();
  const QString dir = QString::fromStdString(duskwarden::testing::makeTempDir("instance").string());
  // A socket left behind by a copy that crashed: bound, and nobody listening.
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s/dw.socket", qPrintable(dir));
  const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(::bind(stale, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(stale);

  SingleInstance first(dir, "dw");
  QString error;
  ASSERT_EQ(first.start(&error), SingleInstance::Role::primary) << error.toStdString();
  int activations = 0;
  first.onActivationRequested = [&] { ++activations; };

  std::atomic<int> role{-1};
  QString secondError;
  std::thread secondCopy([&] {
    SingleInstance second(dir, "dw");
    role = static_cast<int>(second.start(&secondError, 5000));
  });
  EXPECT_TRUE(spinUntil("the second copy's role", [&] { return role.load() != -1; }, 10s));
  secondCopy.join();
  EXPECT_EQ(role.load(), static_cast<int>(SingleInstance::Role::secondary)) << secondError.toStdString();
  EXPECT_EQ(activations, 1);
}

TEST(SingleInstance, ACopyHoldingTheLockButNotAnsweringIsReportedNotTakenForSuccess) {
  app();
  const QString dir = QString::fromStdString(duskwarden::testing::makeTempDir("instance").string());
  SingleInstance first(dir, "dw");
  QString error;
  ASSERT_EQ(first.start(&error), SingleInstance::Role::primary);
  // The first copy's loop never runs here, so it never answers.
  std::atomic<int> role{-1};
  std::thread secondCopy([&] {
    SingleInstance second(dir, "dw");
    QString e;
    role = static_cast<int>(second.start(&e, 300));
  });
  secondCopy.join();
  EXPECT_EQ(role.load(), static_cast<int>(SingleInstance::Role::unavailable));
}

}  // namespace
