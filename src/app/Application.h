#pragma once
// What the delegate needs of the desktop: the popover, the updater and the
// application itself (factories, current event, activation policy, quit).
// QtApplication is the real one; tests use recording fakes.

#include "tray/Popover.h"
#include "tray/StatusItem.h"

#include <memory>
#include <optional>

namespace duskwarden {

class NightShiftManager;

class Updater {
 public:
  virtual ~Updater() = default;
  virtual void checkForUpdates() = 0;
};

class UpdaterController {
 public:
  virtual ~UpdaterController() = default;
  virtual Updater& updater() = 0;
};

enum class ActivationPolicy : int { regular = 0, accessory = 1, prohibited = 2 };

class Application {
 public:
  virtual ~Application() = default;

  // The cloud client stack's one-time configuration at launch.
  virtual void configureCloudBackend() = 0;
  virtual std::unique_ptr<UpdaterController> makeUpdaterController(bool startingUpdater) = 0;
  // A popover whose content is the popover view for `manager`.
  virtual std::unique_ptr<Popover> makePopover(std::shared_ptr<NightShiftManager> manager) = 0;
  virtual std::unique_ptr<StatusItem> makeStatusItem() = 0;

  virtual const std::optional<Event>& currentEvent() const = 0;
  virtual void setActivationPolicy(ActivationPolicy policy) = 0;
  virtual void terminate() = 0;
};

}  // namespace duskwarden
