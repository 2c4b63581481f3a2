#pragma once
// The Application over Qt Widgets: a QSystemTrayIcon status item, a popup
// window hosting the popover view, the standard updater controller.

#include "app/Application.h"

#include <functional>

namespace duskwarden {

class QtApplication final : public Application {
 public:
  explicit QtApplication(std::function<double()> now);

  void configureCloudBackend() override;
  std::unique_ptr<UpdaterController> makeUpdaterController(bool startingUpdater) override;
  std::unique_ptr<Popover> makePopover(std::shared_ptr<NightShiftManager> manager) override;
  std::unique_ptr<StatusItem> makeStatusItem() override;

  const std::optional<Event>& currentEvent() const override { return events_.currentEvent(); }
  void setActivationPolicy(ActivationPolicy policy) override;
  void terminate() override;

  ActivationPolicy activationPolicy() const { return policy_; }

 private:
  std::function<double()> now_;
  EventSource events_;
  ActivationPolicy policy_ = ActivationPolicy::regular;
};

}  // namespace duskwarden
