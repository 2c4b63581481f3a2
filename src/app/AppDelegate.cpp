#include "app/AppDelegate.h"

#include "nightshift/NightShiftManager.h"
#include "platform/text/Text.h"
#include "ui/ContentViewModel.h"

namespace duskwarden {

std::shared_ptr<AppDelegate> AppDelegate::create(Environment environment) {
  return std::shared_ptr<AppDelegate>(new AppDelegate(std::move(environment)));
}

AppDelegate::AppDelegate(Environment environment) : env_(std::move(environment)) {}

std::shared_ptr<NightShiftManager> AppDelegate::manager() const { return env_.manager(); }

void AppDelegate::applicationDidFinishLaunching() {
  Application& app = *env_.application;
  app.configureCloudBackend();

  updaterController_ = app.makeUpdaterController(true);

  popover_ = app.makePopover(manager());
  if (popover_) {
    popover_->setContentSize(Size{320.0, 420.0});
    popover_->setBehavior(PopoverBehavior::transient);
  }

  statusItem_ = app.makeStatusItem();
  if (statusItem_) {
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    statusItem_->button().setAction([weak] {
      if (auto self = weak.lock()) self->handleStatusBarClick();
    });
    statusItem_->button().sendActionOn(eventMask(EventType::leftMouseUp) | eventMask(EventType::rightMouseUp));
  }

  // The first icon arrives through this path too, on a later main-queue turn.
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  statusCancellable_ = manager()->isNightShiftEnabled.sink(*env_.mainQueue, [weak](const bool& enabled) {
    if (auto self = weak.lock()) self->updateStatusIcon(enabled);
  });
  const auto reasonChanged = [weak](const auto&) {
    if (auto self = weak.lock()) self->updateStatusIcon(self->manager()->isNightShiftEnabled.get());
  };
  reasonCancellables_[0] = manager()->reason.sink(*env_.mainQueue, reasonChanged);
  reasonCancellables_[1] = manager()->backend.sink(*env_.mainQueue, reasonChanged);

  app.setActivationPolicy(ActivationPolicy::accessory);
}

void AppDelegate::updateStatusIcon(bool isNightShiftEnabled) {
  SymbolImage image = isNightShiftEnabled
                          ? SymbolImage{"moonphase.first.quarter", text::translate("Tray", "Night Shift Active"),
                                        menuBarSymbolConfiguration}
                          : SymbolImage{"moonphase.full.moon.inverse", text::translate("Tray", "Night Shift Inactive"),
                                        menuBarSymbolConfiguration};
  if (const std::string line = ui::reasonLine(*manager()); !line.empty()) image.accessibilityDescription += "\n" + line;
  // The state and the reason arrive apart: an icon already showing is not set again.
  if (!statusItem_ || (image.symbolName == shownImage_.symbolName &&
                       image.accessibilityDescription == shownImage_.accessibilityDescription))
    return;
  if (statusItem_->setImage(image)) shownImage_ = image;
}

void AppDelegate::handleStatusBarClick() {
  const auto& event = env_.application->currentEvent();
  if (!event) return;
  if (event->type == EventType::rightMouseUp) {
    showStatusMenu();
  } else if ((event->modifierFlags & kControlKeyMask) != 0) {
    showStatusMenu();
  } else {
    togglePopover();
  }
}

void AppDelegate::showStatusMenu() {
  if (statusItem_) statusItem_->popUpMenu(buildStatusMenu());
}

bool AppDelegate::closedByThisClick() const {
  const auto closedAt = popover_->lastClosedByOutsidePress();
  if (!closedAt) return false;
  const double elapsed = env_.now() - *closedAt;
  return elapsed >= 0 && elapsed < kOutsideCloseGraceSeconds;
}

void AppDelegate::togglePopover() {
  if (!statusItem_ || !popover_) return;
  // A press on the icon closes the open popover before the tray reports the
  // click; that click meant "close", so it must not open the popover again.
  if (popover_->isShown() || closedByThisClick()) {
    popover_->performClose();
    return;
  }
  showPopover();
}

void AppDelegate::showPopover() {
  if (!statusItem_ || !popover_ || popover_->isShown()) return;
  manager()->updateStatus();
  popover_->showRelativeTo(statusItem_->screenBounds());
}

Menu AppDelegate::buildStatusMenu() {
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  Menu menu;
  menu.items.push_back(MenuItem{text::translate("Tray", "Check for Updates..."), "", [weak] {
                                  if (auto self = weak.lock()) self->checkForUpdates();
                                }});
  menu.items.push_back(MenuItem::separatorItem());
  const std::string& name = env_.build->name;
  Application* app = env_.application;
  menu.items.push_back(
      MenuItem{text::arg(text::translate("Tray", "Quit %1"), {name}), "Ctrl+Q", [app] { app->terminate(); }});
  return menu;
}

void AppDelegate::checkForUpdates() {
  if (updaterController_) updaterController_->updater().checkForUpdates();
}

}  // namespace duskwarden
