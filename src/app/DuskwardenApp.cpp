#include "app/DuskwardenApp.h"

#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "app/ControlsWindow.h"
#include "app/DesktopSession.h"
#include "app/InstanceCommands.h"
#include "app/NoTrayFallback.h"
#include "app/QtApplication.h"
#include "app/RemoteCommand.h"
#include "app/SingleInstance.h"
#include "platform/bundle/Bundle.h"
#include "platform/common/StartEnvironment.h"
#include "platform/common/XdgPaths.h"
#include "platform/dispatch/QtMainQueue.h"
#include "app/tray/TrayStatusItem.h"
#include "nightshift/NightShiftManager.h"
#include "ui/ContentView.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace duskwarden {

namespace {

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

// SIGTERM, SIGINT and SIGHUP end the process through the event loop, so the
// lock and the socket are removed on the way out. The handler only writes
// the signal's number to a pipe that the loop watches.
class TerminationSignals {
 public:
  TerminationSignals() {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
    writeEnd = pipe_[1];
    notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
      char numbers[16];
      while (::read(pipe_[0], numbers, sizeof numbers) > 0) {
      }
      requested_ = true;
      QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = &TerminationSignals::handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
      // One ignored by whoever started us (nohup, a background job) stays ignored.
      struct sigaction previous {};
      if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
      ::sigaction(signal, &action, nullptr);
    }
  }
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // Whether one of the signals arrived (seen once the loop has run).
  bool requested() const { return requested_; }

 private:
  static void handle(int signal) {
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t ignored = ::write(writeEnd, &byte, 1);
    errno = saved;
  }

  static inline int writeEnd = -1;
  int pipe_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
  bool requested_ = false;
};

// Before Qt or GLib read the environment: relative base directories count as
// unset, and D-Bus is told which session bus there is, if any, so no library
// starts one of its own that would outlive us.
void settleEnvironment(const std::string& program) {
  for (const auto& name : dropRelativeXdgPaths())
    std::fprintf(stderr, "%s: ignoring %s: it is not an absolute path\n", program.c_str(), name.c_str());
  settleSessionBusAddress();
}

QString runtimeDirectory(const std::string& program) {
  if (auto dir = userRuntimeDirectory()) return QString::fromStdString(dir->string());
  if (auto fallback = fallbackRuntimeDirectory()) {
    std::fprintf(stderr, "%s: XDG_RUNTIME_DIR is not set; using %s\n", program.c_str(), fallback->c_str());
    return QString::fromStdString(fallback->string());
  }
  return {};
}

// On a Wayland session with Xwayland the toolkit runs on X11 (see
// preferredQtPlatform); the choice is ours, so programs we start (a browser
// for a download page) must not inherit it.
class PlatformChoice {
 public:
  explicit PlatformChoice(const DesktopSession& session) {
    if (auto platform = preferredQtPlatform(session)) {
      ::setenv("QT_QPA_PLATFORM", platform->c_str(), 1);
      chosen_ = true;
    }
  }
  void toolkitStarted() {
    if (chosen_) ::unsetenv("QT_QPA_PLATFORM");
  }

 private:
  bool chosen_ = false;
};

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
    case CommandLine::Action::command:
      // Carried out by the running copy (started if need be); this process
      // needs no display of its own.
      return runRemoteCommand(options, program);
    case CommandLine::Action::run:
      break;
  }

  settleEnvironment(program);
  const DesktopSession session = DesktopSession::fromEnvironment();
  PlatformChoice platform(session);
  std::string why;
  if (!displayReachable(&why)) {
    std::fprintf(stderr, "%s: %s\n", program.c_str(), why.c_str());
    return kExitFailure;
  }

  QApplication qapp(argc, argv);
  platform.toolkitStarted();
  const QString name = QString::fromStdString(bundle.stringForKey("CFBundleName").value_or("Duskwarden"));
  QApplication::setApplicationName(name);
  QApplication::setApplicationVersion(QString::fromStdString(bundle.stringForKey("CFBundleShortVersionString").value_or("")));
  QGuiApplication::setDesktopFileName(QString::fromLatin1(kBundleIdentifier));
  // The process lives until Quit, with or without a tray or a window.
  QApplication::setQuitOnLastWindowClosed(false);

  const QString runtime = runtimeDirectory(program);
  if (runtime.isEmpty()) {
    std::fprintf(stderr, "%s: no runtime directory: XDG_RUNTIME_DIR is not set and no private one could be made\n",
                 program.c_str());
    return kExitFailure;
  }
  // Before the lock and socket exist, so a signal can never strand them.
  TerminationSignals termination;
  SingleInstance instance(runtime, QString::fromLatin1(kBundleIdentifier));
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

  auto queue = std::make_shared<QtMainQueue>();
  installMainQueue(queue);

  std::weak_ptr<AppDelegate> weak;
  QtApplication::TraySetup tray;
  tray.session = session;
  if (QGuiApplication::platformName() == QLatin1String("xcb")) tray.xDisplay = QString::fromStdString(env("DISPLAY"));
  tray.menu = [&weak] { return weak.expired() ? Menu{} : weak.lock()->buildStatusMenu(); };
  tray.showControls = [&weak] {
    if (auto d = weak.lock()) d->showPopover();
  };
  // A click on our icon in the host's panel opens the host's menu, and our
  // popup never sees it: the menu takes the popover's place.
  tray.menuOpened = [&weak] {
    auto d = weak.lock();
    if (d && d->popover() && d->popover()->isShown()) d->popover()->performClose();
  };
  QtApplication application(monotonicSeconds, std::move(tray));
  auto delegate = AppDelegate::create(AppDelegate::Environment{&application, &bundle, nullptr, queue, monotonicSeconds});
  weak = delegate;

  ControlsWindow window(
      name, [] { return new ui::ContentView(NightShiftManager::sharedHandle()); },
      [&weak] { return weak.expired() ? Menu{} : weak.lock()->buildStatusMenu(); });
  NoTrayFallback fallback(
      NoTrayFallback::Actions{
          [&application] { return application.trayItem() && application.trayItem()->hasTray(); },
          [&weak] {
            if (auto d = weak.lock()) d->showPopover();
          },
          [&window] {
            // The window shows the state as the popover does: freshly read.
            NightShiftManager::sharedHandle()->updateStatus();
            window.show();
          },
          [&window] { window.close(); },
          [&program](const std::string& line) { std::fprintf(stderr, "%s: %s\n", program.c_str(), line.c_str()); }},
      name.toStdString(), options.launchedAtLogin);
  instance.onActivationRequested = [&fallback] { fallback.activationRequested(); };
  InstanceCommands commands(InstanceCommands::Environment{nullptr, queue, nullptr});
  instance.onCommand = [&commands](const instanceprotocol::Request& request, SingleInstance::Reply reply) {
    commands.handle(request, std::move(reply));
  };
  // The launch notification comes from the running loop, as it does for any application.
  QTimer::singleShot(0, &qapp, [delegate, &application, &fallback] {
    delegate->applicationDidFinishLaunching();
    if (TrayStatusItem* item = application.trayItem())
      item->onTrayChanged = [&fallback](bool hasTray) { fallback.trayChanged(hasTray); };
    fallback.launched();
  });
  const int status = QApplication::exec();
  return termination.requested() ? 0 : status;
}

}  // namespace duskwarden
