#include "ViewFixture.h"

#include <QStyleFactory>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "TestEnvironment.h"

namespace duskwarden::ui::testing {

void ensureApplication() {
  static int argc = 1;
  static char name[] = "test_contentview_widget";
  static char* argv[] = {name, nullptr};
  if (!QApplication::instance()) {
    new QApplication(argc, argv);
    // One style everywhere, so pictures and sizes do not depend on the machine.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  }
}

QPalette lightPalette() {
  QPalette p(QColor(0xEC, 0xEC, 0xEC));
  p.setColor(QPalette::WindowText, QColor(0x1D, 0x1D, 0x1F));
  p.setColor(QPalette::Text, QColor(0x1D, 0x1D, 0x1F));
  return p;
}

QPalette darkPalette() {
  QPalette p(QColor(0x2A, 0x2A, 0x2C));
  p.setColor(QPalette::WindowText, QColor(0xF2, 0xF2, 0xF7));
  p.setColor(QPalette::Text, QColor(0xF2, 0xF2, 0xF7));
  p.setColor(QPalette::Base, QColor(0x1C, 0x1C, 0x1E));
  return p;
}

void ViewFixture::SetUp() {
  ensureApplication();
  installMainQueue(main);
  provider = &scriptedProvider();
  provider->reset();
  setLogSinks({sink});
  framework = std::make_unique<BlueLightFramework>(DW_TEST_PROVIDER_PATH);
  defaults = std::make_unique<UserDefaults>(duskwarden::testing::makeTempDir("defaults") / "defaults.conf");
}

void ViewFixture::TearDown() {
  view.reset();
  manager.reset();
  clock.reset();  // drops pending work, which may hold the last reference
  installMainQueue(nullptr);
  setLogSinks({});
}

void ViewFixture::start(const std::string& version) {
  NightShiftManager::Dependencies deps;
  deps.mainQueue = main;
  deps.clientQueue = client;
  deps.framework = framework.get();
  deps.defaults = defaults.get();
  deps.loginItem = &loginItem;
  manager = NightShiftManager::create(std::move(deps));
  turn();  // client setup and the first status read
  ASSERT_TRUE(manager->hasPerformedInitialCheckForTesting());
  view = std::make_unique<ContentView>(manager, version, *main);
  view->setPalette(darkPalette());
  view->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  turn();
}

void ViewFixture::setState(bool e, bool k) {
  // Keep the platform where the state says, so a read cannot undo it.
  provider->statusByte1 = e ? 1 : 0;
  provider->setEnabledTakesEffect = 0;
  manager->isNightShiftEnabled = e;  // from outside this only publishes
  manager->autoEnable = k;
  turn();
}

std::size_t ViewFixture::count(const std::string& line) const {
  auto all = lines();
  return static_cast<std::size_t>(std::count(all.begin(), all.end(), line));
}

QPoint ViewFixture::sliderPoint(double x) const {
  CustomGradientSlider* c = sliderControl();
  return c->mapTo(view.get(), c->toWidgetForTesting({x, 12}).toPoint());
}

void ViewFixture::click(QWidget* w) {
  QTest::mouseClick(view->windowHandle(), Qt::LeftButton, {}, w->mapTo(view.get(), w->rect().center()));
}

}  // namespace duskwarden::ui::testing
