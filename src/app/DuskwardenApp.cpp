#include "app/DuskwardenApp.h"

#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "app/QtApplication.h"
#include "app/SharedLibraries.h"
#include "app/SingleInstance.h"
#include "platform/bundle/Bundle.h"
#include "platform/dispatch/QtMainQueue.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTimer>
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace duskwarden {

namespace {

// Many sessions start their panel after their autostart programs.
constexpr int kTrayWaitMs = 5000;
constexpr int kExitFailure = 1;

double monotonicSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Qt aborts when it cannot reach the display; check first so the user gets a
// sentence instead of a core dump.
bool displayReachable(std::string* why) {
  const std::string platform = env("QT_QPA_PLATFORM");
  if (!platform.empty() && !platform.starts_with("xcb")) return true;  // Qt reports its own platform's errors
  if (platform.empty() && !env("WAYLAND_DISPLAY").empty()) return true;
  const std::string display = env("DISPLAY");
  if (display.empty()) {
    *why = "no display (DISPLAY is not set); start it inside a desktop session";
    return false;
  }
  Display* connection = XOpenDisplay(display.c_str());
  if (!connection) {
    *why = "cannot open display '" + display + "'";
    return false;
  }
  XCloseDisplay(connection);
  return true;
}

bool waitForSystemTray(int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!QSystemTrayIcon::isSystemTrayAvailable()) {
    if (deadline.hasExpired()) return false;
    QEventLoop loop;
    QTimer::singleShot(100, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

}  // namespace

int DuskwardenApp::main(int argc, char** argv) {
  const Bundle& bundle = Bundle::main();
  const std::string program = argc > 0 && argv[0] ? argv[0] : "duskwarden";
  const CommandLine options = CommandLine::parse(std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
  switch (options.action) {
    case CommandLine::Action::printHelp:
      std::fputs(helpText(program, bundle).c_str(), stdout);
      return 0;
    case CommandLine::Action::printVersion:
      std::printf("%s\n", versionLine(bundle).c_str());
      return 0;
    case CommandLine::Action::usageError:
      std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", program.c_str(), options.error.c_str(),
                   program.c_str());
      return kExitUsage;
    case CommandLine::Action::run:
      break;
  }

  prepareSharedLibraries();
  std::string why;
  if (!displayReachable(&why)) {
    std::fprintf(stderr, "%s: %s\n", program.c_str(), why.c_str());
    return kExitFailure;
  }

  QApplication qapp(argc, argv);
  const QString name = QString::fromStdString(bundle.stringForKey("CFBundleName").value_or("Duskwarden"));
  QApplication::setApplicationName(name);
  QApplication::setApplicationVersion(QString::fromStdString(bundle.stringForKey("CFBundleShortVersionString").value_or("")));
  QGuiApplication::setDesktopFileName(QString::fromLatin1(kBundleIdentifier));
  // The process lives in the tray until Quit, with or without a window.
  QApplication::setQuitOnLastWindowClosed(false);

  SingleInstance instance(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation),
                          QString::fromLatin1(kBundleIdentifier));
  QString instanceError;
  switch (instance.start(&instanceError)) {
    case SingleInstance::Role::secondary:
      std::printf("%s is already running; its window has been opened.\n", qPrintable(name));
      return 0;
    case SingleInstance::Role::unavailable:
      std::fprintf(stderr, "%s: %s\n", program.c_str(), qPrintable(instanceError));
      return kExitFailure;
    case SingleInstance::Role::primary:
      break;
  }

  if (!waitForSystemTray(kTrayWaitMs)) {
    std::fprintf(stderr, "%s: no system tray found after waiting %d s; %s lives in the tray and cannot run without one\n",
                 program.c_str(), kTrayWaitMs / 1000, qPrintable(name));
    return kExitFailure;
  }

  auto queue = std::make_shared<QtMainQueue>();
  installMainQueue(queue);

  QtApplication application(monotonicSeconds);
  auto delegate = AppDelegate::create(AppDelegate::Environment{&application, &bundle, nullptr, queue, monotonicSeconds});
  std::weak_ptr<AppDelegate> weak = delegate;
  instance.onActivationRequested = [weak] {
    if (auto d = weak.lock()) d->showPopover();
  };
  // The launch notification comes from the running loop, as it does for any application.
  QTimer::singleShot(0, &qapp, [delegate] { delegate->applicationDidFinishLaunching(); });
  return QApplication::exec();
}

}  // namespace duskwarden
