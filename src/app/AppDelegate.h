#pragma once
// The application delegate: runs the launch sequence, keeps the tray icon and
// its tooltip in step with the Night Shift state and the reason it is off,
// toggles the popover on a left click and shows the menu on a right or
// Control click.
//
// It talks to the desktop only through Application and its products, so it
// runs without a display in tests. Everything here runs on the main thread.

#include "app/Application.h"
#include "tray/StatusItem.h"
#include "platform/bundle/BuildInfo.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/publish/Publish.h"

#include <functional>
#include <memory>

namespace duskwarden {

class NightShiftManager;

// A tray activation this soon after the popover closed itself on an outside
// press is the same click: the press on the icon closed the popover first.
inline constexpr double kOutsideCloseGraceSeconds = 0.35;

class AppDelegate : public std::enable_shared_from_this<AppDelegate> {
 public:
  // Every part is needed; the process entry hands over its own.
  struct Environment {
    Application* application = nullptr;
    const BuildInfo* build = nullptr;
    // The process's manager, which may be built on its first use.
    std::function<std::shared_ptr<NightShiftManager>()> manager;
    std::shared_ptr<DispatchQueue> mainQueue;
    std::function<double()> now;  // monotonic seconds
  };

  static std::shared_ptr<AppDelegate> create(Environment environment);

  void applicationDidFinishLaunching();
  void handleStatusBarClick();
  void togglePopover();
  // Opens the popover unless it is open (a second launch asks for this).
  void showPopover();
  void checkForUpdates();
  // The icon for the state, and the tooltip saying it and the reason line, if any.
  void updateStatusIcon(bool isNightShiftEnabled);
  Menu buildStatusMenu();

  Popover* popover() const { return popover_.get(); }
  const AnyCancellable& statusCancellableForTesting() const { return statusCancellable_; }

  static constexpr ImageSymbolConfiguration menuBarSymbolConfiguration{16.0, SymbolWeight::heavy};

 private:
  explicit AppDelegate(Environment environment);
  std::shared_ptr<NightShiftManager> manager() const;
  void showStatusMenu();
  bool closedByThisClick() const;

  Environment env_;
  std::unique_ptr<StatusItem> statusItem_;
  std::unique_ptr<Popover> popover_;
  std::unique_ptr<UpdaterController> updaterController_;
  AnyCancellable statusCancellable_;
  AnyCancellable reasonCancellables_[2];  // the reason line (reason, backend) changes the tooltip too
  SymbolImage shownImage_;
};

}  // namespace duskwarden
