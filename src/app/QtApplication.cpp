#include "app/QtApplication.h"

#include "tray/QtPopover.h"
#include "tray/TrayStatusItem.h"
#include "platform/bundle/BuildInfo.h"
#include "update/LoadableAppcastSource.h"
#include "update/SPUStandardUpdaterController.h"
#include "update/StandardUpdateUserDriver.h"
#include "update/SystemVersion.h"
#include "ui/ContentView.h"

#include <QApplication>
#include <QDBusConnection>

namespace duskwarden {

namespace {
class StandardUpdater final : public UpdaterController, public Updater {
 public:
  // The real dialogs, the network (through the update library, opened on the first check).
  StandardUpdater(bool startingUpdater, const BuildInfo& build)
      : controller_(startingUpdater, std::make_shared<StandardUpdateUserDriver>(),
                    std::make_shared<LoadableAppcastSource>(),
                    UpdaterSettings::fromBuild(build, runningSystemVersion())) {}
  Updater& updater() override { return *this; }
  void checkForUpdates() override { controller_.updater().checkForUpdates(); }

 private:
  SPUStandardUpdaterController controller_;
};
}  // namespace

QtApplication::QtApplication(const BuildInfo& build, std::shared_ptr<DispatchQueue> mainQueue,
                             std::function<double()> now, TraySetup tray)
    : build_(build), mainQueue_(std::move(mainQueue)), now_(std::move(now)), tray_(std::move(tray)) {}

void QtApplication::configureCloudBackend() {
  // Deliberately empty: no feature uses a cloud service, and a night-light
  // utility has no business talking to the network on its own.
}

std::unique_ptr<UpdaterController> QtApplication::makeUpdaterController(bool startingUpdater) {
  return std::make_unique<StandardUpdater>(startingUpdater, build_);
}

std::unique_ptr<Popover> QtApplication::makePopover(std::shared_ptr<NightShiftManager> manager) {
  return std::make_unique<QtPopover>(
      [this, manager] { return new ui::ContentView(manager, build_.version, *mainQueue_); }, now_);
}

std::unique_ptr<StatusItem> QtApplication::makeStatusItem() {
  SniStatusItem::Options sni{QString::fromLatin1(kBundleIdentifier), tray_.menu, tray_.showControls,
                             tray_.menuOpened, tray_.session, QGuiApplication::applicationDisplayName()};
  auto item = std::make_unique<TrayStatusItem>(events_, QDBusConnection::sessionBus(), tray_.xDisplay, std::move(sni));
  trayItem_ = item.get();
  return item;
}

void QtApplication::setActivationPolicy(ActivationPolicy policy) {
  policy_ = policy;
  // An accessory lives in the tray: it owns no taskbar window (the popover
  // and menu are popups) and must not end when its last window closes, such
  // as an update dialog.
  if (policy == ActivationPolicy::accessory) QGuiApplication::setQuitOnLastWindowClosed(false);
}

void QtApplication::terminate() { QCoreApplication::quit(); }

}  // namespace duskwarden
