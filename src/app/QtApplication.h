#pragma once
// The Application over Qt Widgets: a status item on whichever tray the
// desktop offers (TrayStatusItem), a popup window hosting the popover view,
// the standard updater controller.

#include "app/Application.h"
#include "platform/bundle/BuildInfo.h"
#include "platform/dispatch/DispatchQueue.h"
#include "tray/DesktopSession.h"

#include <QString>
#include <functional>

namespace duskwarden {

class TrayStatusItem;

class QtApplication final : public Application {
 public:
  struct TraySetup {
    DesktopSession session;
    QString xDisplay;                    // the X display of an XEmbed tray; empty off X11
    std::function<Menu()> menu;          // the tray menu, for hosts that draw it themselves
    std::function<void()> showControls;  // that menu's first command
    std::function<void()> menuOpened;    // a host is showing that menu
  };

  // `build` gives the popover's version line and the updater's facts; the
  // popover's view re-applies on `mainQueue`.
  QtApplication(const BuildInfo& build, std::shared_ptr<DispatchQueue> mainQueue, std::function<double()> now,
                TraySetup tray);

  void configureCloudBackend() override;
  std::unique_ptr<UpdaterController> makeUpdaterController(bool startingUpdater) override;
  std::unique_ptr<Popover> makePopover(std::shared_ptr<NightShiftManager> manager) override;
  std::unique_ptr<StatusItem> makeStatusItem() override;

  const std::optional<Event>& currentEvent() const override { return events_.currentEvent(); }
  void setActivationPolicy(ActivationPolicy policy) override;
  void terminate() override;

  ActivationPolicy activationPolicy() const { return policy_; }
  // The status item made last (owned by whoever asked for it).
  TrayStatusItem* trayItem() const { return trayItem_; }

 private:
  const BuildInfo& build_;
  std::shared_ptr<DispatchQueue> mainQueue_;
  std::function<double()> now_;
  TraySetup tray_;
  TrayStatusItem* trayItem_ = nullptr;
  EventSource events_;
  ActivationPolicy policy_ = ActivationPolicy::regular;
};

}  // namespace duskwarden
