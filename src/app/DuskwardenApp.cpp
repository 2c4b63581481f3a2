#include "app/DuskwardenApp.h"

#include "app/AppDelegate.h"
#include "app/QtApplication.h"
#include "app/Startup.h"
#include "app/Translations.h"
#include "control/CommandLine.h"
#include "control/InstanceCommands.h"
#include "control/RemoteCommand.h"
#include "control/SingleInstance.h"
#include "loginitem/LaunchAtLogin.h"
#include "nightshift/CBBlueLightClient.h"
#include "nightshift/NightShiftManager.h"
#include "loginitem/AutostartAppService.h"
#include "platform/bundle/BuildInfo.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/dispatch/QtMainQueue.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/text/Text.h"
#include "tray/AccessiblePopups.h"
#include "tray/ControlsWindow.h"
#include "tray/NoTrayFallback.h"
#include "tray/TrayStatusItem.h"
#include "ui/ContentView.h"

#include <QApplication>
#include <QLocale>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace duskwarden {

namespace {

constexpr int kExitFailure = 1;

double monotonicSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// --help, --version, a usage error or a command: answered without a display.
// Nothing when the program is to run.
std::optional<int> answerWithoutRunning(const CommandLine& options, const std::string& program, const BuildInfo& build) {
  switch (options.action) {
    case CommandLine::Action::printHelp:
      std::fputs(helpText(program, build).c_str(), stdout);
      return 0;
    case CommandLine::Action::printVersion:
      std::printf("%s\n", versionLine(build).c_str());
      return 0;
    case CommandLine::Action::usageError:
      std::fprintf(
          stderr, "%s: %s\n%s\n", program.c_str(), options.error.c_str(),
          text::arg(text::translate("CommandLine", "Try '%1 --help' for more information."), {program}).c_str());
      return kExitUsage;
    case CommandLine::Action::command:
      // Carried out by the running copy (started if need be); this process
      // needs no display of its own.
      return runRemoteCommand(options, program, build);
    case CommandLine::Action::run:
      break;
  }
  return std::nullopt;
}

// The application's name as the desktop shows it.
QString nameTheApplication(const BuildInfo& build) {
  const QString name = QString::fromStdString(build.name);
  QApplication::setApplicationName(name);
  QApplication::setApplicationVersion(QString::fromStdString(build.shortVersion));
  QGuiApplication::setDesktopFileName(QString::fromLatin1(kBundleIdentifier));
  // The process lives until Quit, with or without a tray or a window.
  QApplication::setQuitOnLastWindowClosed(false);
  return name;
}

// Takes the session's one place, or hands over to the copy that has it: the
// exit status when this process is done.
std::optional<int> becomeTheRunningCopy(SingleInstance& instance, const QString& name, const std::string& program,
                                       StartReport& report) {
  QString error;
  switch (instance.start(&error)) {
    case SingleInstance::Role::secondary:
      std::printf("%s\n",
                  text::arg(text::translate("CommandLine", "%1 is already running; its controls have been opened."),
                            {name.toStdString()})
                      .c_str());
      return 0;
    case SingleInstance::Role::unavailable:
      return report.fail(program, error.toStdString());
    case SingleInstance::Role::primary:
      break;
  }
  return std::nullopt;
}

std::shared_ptr<QtMainQueue> installedMainQueue() {
  auto queue = std::make_shared<QtMainQueue>();
  installMainQueue(queue);
  return queue;
}

// The process's one manager and its real dependencies. It is built on first
// use, which is the launch sequence making the popover, so its set-up
// follows the updater's as it always has.
class ProcessManager {
 public:
  ProcessManager(std::shared_ptr<DispatchQueue> mainQueue, const BuildInfo& build)
      : mainQueue_(std::move(mainQueue)),
        autostart_(AutostartAppService::userAutostartDirectory(), &AutostartAppService::runningExecutable,
                   build.name) {}

  std::shared_ptr<NightShiftManager> get() {
    if (manager_) return manager_;
    NightShiftManager::Dependencies deps;
    deps.mainQueue = mainQueue_;
    deps.clientQueue = std::make_shared<SerialQueue>(kClientQueueLabel);
    deps.framework = &framework_;
    deps.defaults = &UserDefaults::standard();
    deps.loginItem = &loginItem_;
    manager_ = NightShiftManager::create(std::move(deps));
    return manager_;
  }

 private:
  std::shared_ptr<DispatchQueue> mainQueue_;
  BlueLightFramework& framework_ = BlueLightFramework::system();  // opened once per process
  AutostartAppService autostart_;
  LaunchAtLogin loginItem_{autostart_};
  std::shared_ptr<NightShiftManager> manager_;
};

// The running copy: each part built once, in the order the parts need each
// other, and handed the ones it uses. Destroyed in reverse: the command
// server and the windows first, the manager and the main queue last.
class RunningCopy {
 public:
  RunningCopy(const BuildInfo& build, const DesktopSession& session, const QString& name, const std::string& program,
              bool launchedAtLogin);

  // Answers the later launches that reach `instance`.
  void serve(SingleInstance& instance);
  // The launch notification, from the running loop as for any application.
  void launch();

 private:
  QtApplication::TraySetup traySetup(const DesktopSession& session);
  NoTrayFallback::Actions fallbackActions(const std::string& program);
  Menu statusMenu() const;
  void showPopover() const;

  const BuildInfo& build_;
  std::shared_ptr<QtMainQueue> mainQueue_ = installedMainQueue();
  ProcessManager manager_{mainQueue_, build_};
  // The tray calls back into the delegate it outlives; during the delegate's
  // own teardown this no longer reaches it.
  std::weak_ptr<AppDelegate> weakDelegate_;
  QtApplication application_;
  std::shared_ptr<AppDelegate> delegate_;
  ControlsWindow window_;
  NoTrayFallback fallback_;
  InstanceCommands commands_;
};

RunningCopy::RunningCopy(const BuildInfo& build, const DesktopSession& session, const QString& name,
                         const std::string& program, bool launchedAtLogin)
    : build_(build),
      application_(build, mainQueue_, monotonicSeconds, traySetup(session)),
      delegate_(AppDelegate::create(AppDelegate::Environment{&application_, &build, [this] { return manager_.get(); },
                                                             mainQueue_, monotonicSeconds})),
      window_(
          name, [this] { return new ui::ContentView(manager_.get(), build_.version, *mainQueue_); },
          [this] { return statusMenu(); }),
      fallback_(fallbackActions(program), name.toStdString(), launchedAtLogin),
      commands_(InstanceCommands::Environment{[this] { return manager_.get(); }, mainQueue_}) {
  weakDelegate_ = delegate_;
}

QtApplication::TraySetup RunningCopy::traySetup(const DesktopSession& session) {
  QtApplication::TraySetup tray;
  tray.session = session;
  const char* display = std::getenv("DISPLAY");
  if (QGuiApplication::platformName() == QLatin1String("xcb")) tray.xDisplay = QString::fromStdString(display ? display : "");
  tray.menu = [this] { return statusMenu(); };
  tray.showControls = [this] { showPopover(); };
  // A click on our icon in the host's panel opens the host's menu, and our
  // popup never sees it: the menu takes the popover's place.
  tray.menuOpened = [this] {
    auto d = weakDelegate_.lock();
    if (d && d->popover() && d->popover()->isShown()) d->popover()->performClose();
  };
  return tray;
}

NoTrayFallback::Actions RunningCopy::fallbackActions(const std::string& program) {
  return NoTrayFallback::Actions{
      [this] { return application_.trayItem() && application_.trayItem()->hasTray(); },
      [this] { showPopover(); },
      [this] {
        // The window shows the state as the popover does: freshly read.
        manager_.get()->updateStatus();
        window_.show();
      },
      [this] { window_.close(); },
      [program](const std::string& line) { std::fprintf(stderr, "%s: %s\n", program.c_str(), line.c_str()); }};
}

Menu RunningCopy::statusMenu() const {
  auto d = weakDelegate_.lock();
  return d ? d->buildStatusMenu() : Menu{};
}

void RunningCopy::showPopover() const {
  if (auto d = weakDelegate_.lock()) d->showPopover();
}

void RunningCopy::serve(SingleInstance& instance) {
  instance.onActivationRequested = [this] { fallback_.activationRequested(); };
  instance.onCommand = [this](const instanceprotocol::Request& request, SingleInstance::Reply reply) {
    commands_.handle(request, std::move(reply));
  };
  instance.onFollow = [this](const instanceprotocol::Request& request, SingleInstance::Reply push) {
    return commands_.follow(request, std::move(push));
  };
}

void RunningCopy::launch() {
  delegate_->applicationDidFinishLaunching();
  if (TrayStatusItem* item = application_.trayItem())
    item->onTrayChanged = [this](bool hasTray) { fallback_.trayChanged(hasTray); };
  fallback_.launched();
}

}  // namespace

int DuskwardenApp::main(int argc, char** argv) {
  StartReport report;
  const BuildInfo build = BuildInfo::generated();
  const std::string program = argc > 0 && argv[0] ? argv[0] : "duskwarden";
  translations::load(QLocale::system().uiLanguages());  // --help and the command line's messages come first
  const CommandLine options = CommandLine::parse(std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
  if (const auto status = answerWithoutRunning(options, program, build)) return *status;

  settleEnvironment(program);
  const DesktopSession session = DesktopSession::fromEnvironment();
  PlatformChoice platform(session);
  std::string why;
  if (!displayReachable(&why)) return report.fail(program, why);

  // Made before the toolkit starts, which would otherwise try to make it itself.
  const QString runtime =
      runtimeDirectory(program, SingleInstance::longestFileName(QString::fromLatin1(kBundleIdentifier)));
  if (runtime.isEmpty())
    return report.fail(program, text::translate("CommandLine",
                                                "no runtime directory: XDG_RUNTIME_DIR cannot be made, or it is not "
                                                "set and no private one could be made"));
  installAccessiblePopups();  // before the application's accessible node exists
  QApplication qapp(argc, argv);
  translations::install(qapp);
  keepSystemMessagesEnglish();
  platform.toolkitStarted();
  const QString name = nameTheApplication(build);
  // Before the lock and socket exist, so a signal can never strand them.
  TerminationSignals termination;
  SingleInstance instance(runtime, QString::fromLatin1(kBundleIdentifier));
  if (const auto status = becomeTheRunningCopy(instance, name, program, report)) return *status;

  RunningCopy copy(build, session, name, program, options.launchedAtLogin);
  copy.serve(instance);
  QTimer::singleShot(0, &qapp, [&copy] { copy.launch(); });
  const int status = QApplication::exec();
  return termination.requested() ? 0 : status;
}

}  // namespace duskwarden
