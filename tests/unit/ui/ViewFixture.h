#pragma once
// A ContentView over a real NightShiftManager on virtual time: the main queue
// and clientQueue are manual queues of one TestClock (the main one installed
// as the process's main queue, which the view re-applies on), the provider is
// the scripted test library loaded through the real binding, the defaults
// live in a temporary key file and the login item is a recording fake.

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ScriptedProviderControl.h"
#include "dispatch/TestClock.h"
#include "nightshift/NightShiftManager.h"
#include "platform/log/Logger.h"
#include "ui/ContentView.h"
#include "ui/GradientSlider.h"
#include "ui/ToggleSwitch.h"

namespace duskwarden::ui::testing {

class FakeLoginItem final : public LoginItem {
 public:
  bool isEnabled() override { return enabled; }
  void setEnabled(bool value) override { enabled = value; }
  bool enabled = false;
};

using duskwarden::testing::scriptedProvider;
void ensureApplication();

QPalette lightPalette();
QPalette darkPalette();

class ViewFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Makes the manager (first status read applied, Night Shift off) and a shown view.
  void start(const std::string& version);
  void start() { start("42"); }

  // One turn of the main loop: everything due now, including the view's
  // re-application, then Qt's own events (painting lays the slider out).
  void turn() {
    clock->runUntilIdle();
    QApplication::processEvents();
  }
  // Puts the manager in state (E, K) the way the platform and the switch would,
  // without running the manager's timed follow-ups.
  void setState(bool e, bool k);

  std::vector<std::string> lines() const { return sink->messages("NightShiftManager"); }
  std::size_t count(const std::string& line) const;

  template <class T = QWidget>
  T* child(const char* name) const {
    T* w = view->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QLabel* label(const char* name) const { return child<QLabel>(name); }
  QPushButton* button(const char* name) const { return child<QPushButton>(name); }
  ToggleSwitch* toggle() const { return child<ToggleSwitch>("wardenModeSwitch"); }
  CustomGradientSlider* sliderControl() const { return child<GradientSlider>("strengthSlider")->control(); }
  QColor textColor(const char* name) const { return label(name)->palette().color(QPalette::WindowText); }
  QColor resolved(ColorSpec color) const { return resolveColor(color, view->palette()); }

  // Pointer events through the window, at row coordinates of the slider.
  QPoint sliderPoint(double x) const;
  void click(QWidget* w);

  std::shared_ptr<TestClock> clock = TestClock::create();
  std::shared_ptr<ManualQueue> main = clock->makeQueue("main");
  std::shared_ptr<ManualQueue> client = clock->makeQueue(kClientQueueLabel);
  std::shared_ptr<MemoryLogSink> sink = std::make_shared<MemoryLogSink>();
  std::unique_ptr<BlueLightFramework> framework;
  std::unique_ptr<UserDefaults> defaults;
  FakeLoginItem loginItem;
  DwTestProviderControl* provider = nullptr;
  std::shared_ptr<NightShiftManager> manager;
  std::unique_ptr<ContentView> view;
};

}  // namespace duskwarden::ui::testing
