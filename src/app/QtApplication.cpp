#include "app/QtApplication.h"

#include "app/QtPopover.h"
#include "app/QtStatusItem.h"
#include "platform/update/SPUStandardUpdaterController.h"
#include "ui/ContentView.h"

#include <QApplication>

namespace duskwarden {

namespace {
class StandardUpdater final : public UpdaterController, public Updater {
 public:
  explicit StandardUpdater(bool startingUpdater) : controller_(startingUpdater) {}
  Updater& updater() override { return *this; }
  void checkForUpdates() override { controller_.updater().checkForUpdates(); }

 private:
  SPUStandardUpdaterController controller_;
};
}  // namespace

QtApplication::QtApplication(std::function<double()> now) : now_(std::move(now)) {}

void QtApplication::configureCloudBackend() {
  // Deliberately empty: no feature uses a cloud service, and a night-light
  // utility has no business talking to the network on its own.
}

std::unique_ptr<UpdaterController> QtApplication::makeUpdaterController(bool startingUpdater) {
  return std::make_unique<StandardUpdater>(startingUpdater);
}

std::unique_ptr<Popover> QtApplication::makePopover(std::shared_ptr<NightShiftManager> manager) {
  return std::make_unique<QtPopover>(new ui::ContentView(std::move(manager)), now_);
}

std::unique_ptr<StatusItem> QtApplication::makeStatusItem() { return std::make_unique<QtStatusItem>(events_); }

void QtApplication::setActivationPolicy(ActivationPolicy policy) {
  policy_ = policy;
  // An accessory lives in the tray: it owns no taskbar window (the popover
  // and menu are popups) and must not end when its last window closes, such
  // as an update dialog.
  if (policy == ActivationPolicy::accessory) QGuiApplication::setQuitOnLastWindowClosed(false);
}

void QtApplication::terminate() { QCoreApplication::quit(); }

}  // namespace duskwarden
