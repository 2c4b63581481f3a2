#pragma once
// Recording stand-ins for the desktop pieces the delegate talks to, and a
// manager on virtual time without a provider.

#include "app/Application.h"
#include "dispatch/TestClock.h"
#include "nightshift/NightShiftManager.h"
#include "platform/defaults/UserDefaults.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace duskwarden::testing {

using Journal = std::vector<std::string>;

class FakeStatusItem final : public StatusItem {
 public:
  explicit FakeStatusItem(Journal& journal) : journal_(journal) {}
  StatusItemButton& button() override { return button_; }
  bool setImage(const SymbolImage& image) override;
  std::optional<Rect> screenBounds() const override { return bounds; }
  void popUpMenu(const Menu& menu) override;

  StatusItemButton button_;
  std::optional<Rect> bounds = Rect{1200, 0, 24, 24};
  std::vector<SymbolImage> images;  // every image shown, in order
  std::vector<Menu> menus;          // every menu popped up
  std::vector<std::string> unknownSymbols;  // names the fake cannot draw

 private:
  Journal& journal_;
};

class FakePopover final : public Popover {
 public:
  explicit FakePopover(Journal& journal) : journal_(journal) {}
  void setContentSize(Size size) override;
  void setBehavior(PopoverBehavior b) override;
  bool isShown() const override { return shown; }
  void showRelativeTo(const std::optional<Rect>& anchor) override;
  void performClose() override;
  std::optional<double> lastClosedByOutsidePress() const override { return outsideClose; }

  // What a transient popover does on a press outside it.
  void closeByOutsidePress(double at) {
    shown = false;
    outsideClose = at;
  }

  bool shown = false;
  std::optional<Size> contentSize;
  std::optional<PopoverBehavior> behavior;
  std::vector<std::optional<Rect>> shows;
  int closes = 0;
  std::optional<double> outsideClose;

 private:
  Journal& journal_;
};

class FakeUpdater final : public UpdaterController, public Updater {
 public:
  Updater& updater() override { return *this; }
  void checkForUpdates() override { ++checks; }
  int checks = 0;
};

class FakeApplication final : public Application {
 public:
  void configureCloudBackend() override { journal.push_back("configureCloudBackend"); }
  std::unique_ptr<UpdaterController> makeUpdaterController(bool startingUpdater) override;
  std::unique_ptr<Popover> makePopover(std::shared_ptr<NightShiftManager> manager) override;
  std::unique_ptr<StatusItem> makeStatusItem() override;
  const std::optional<Event>& currentEvent() const override { return events.currentEvent(); }
  void setActivationPolicy(ActivationPolicy policy) override;
  void terminate() override { ++terminations; }

  // A click as the tray would deliver it: through the button, with the event current.
  bool click(EventType type, std::uint64_t modifiers = 0);

  Journal journal;
  EventSource events;
  FakeStatusItem* statusItem = nullptr;  // owned by the delegate
  FakePopover* popover = nullptr;
  FakeUpdater* updater = nullptr;
  std::shared_ptr<NightShiftManager> popoverManager;
  std::optional<ActivationPolicy> policy;
  int terminations = 0;
};

class NoLoginItem final : public LoginItem {
 public:
  bool isEnabled() override { return enabled; }
  void setEnabled(bool value) override { enabled = value; }
  bool enabled = false;
};

// A manager on virtual time whose provider library is absent, so nothing but
// the tests writes its published values.
struct VirtualManager {
  VirtualManager();
  std::size_t pendingReads() const { return client->pendingCount(); }

  std::shared_ptr<TestClock> clock = TestClock::create();
  std::shared_ptr<ManualQueue> main = clock->makeQueue("main");
  std::shared_ptr<ManualQueue> client = clock->makeQueue(kClientQueueLabel);
  BlueLightFramework framework{"/nonexistent/libduskwarden-nightlight.so"};
  std::unique_ptr<UserDefaults> defaults;
  NoLoginItem loginItem;
  std::shared_ptr<NightShiftManager> manager;
};

}  // namespace duskwarden::testing
