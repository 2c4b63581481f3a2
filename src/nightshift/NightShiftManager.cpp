#include "nightshift/NightShiftManager.h"

#include "base/decimal/Decimal.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace duskwarden {

namespace {
constexpr double kStatusChangeReadDelay = 0.1;  // lets the platform settle after a change
constexpr double kCommandReadDelay = 0.5;
constexpr double kReEnableDelay = 0.5;
constexpr double kCommandWindow = 1.0;  // own changes seen inside it are not re-enabled

// Waits before the next try once a re-enable has not taken effect: short at
// first (a desktop still setting up its displays), then one try every 30 s,
// so a platform that refuses sees a handful of calls a minute.
constexpr double kRetryDelays[] = {0.5, 1, 2, 4, 30};
constexpr int kRetryDelayCount = static_cast<int>(std::size(kRetryDelays));
// While night light is held off, the slow pace from the start: the desktop's
// change signal is what ends the wait.
constexpr double kHeldOffRetryDelay = 30;

// Reasons that no retry of ours can overcome until something else changes.
bool holdsOff(const BlueLightReason& reason) {
  return reason.code == DW_NIGHTLIGHT_REASON_INHIBITED || reason.code == DW_NIGHTLIGHT_REASON_HELD ||
         reason.code == DW_NIGHTLIGHT_REASON_LOCKED;
}

constexpr const char* kReEnablingLine =
    "Night Shift was disabled but auto-enable is active. Re-enabling in 0.5 seconds...";
}  // namespace

std::string describe(const BlueLightReason& reason) {
  if (!reason.message.empty()) return reason.message;
  switch (reason.code) {
    case DW_NIGHTLIGHT_REASON_INHIBITED: return "another program inhibits night light";
    case DW_NIGHTLIGHT_REASON_HELD: return "another program holds the screen's colours";
    case DW_NIGHTLIGHT_REASON_LOCKED: return "the setting is locked against change";
    case DW_NIGHTLIGHT_REASON_BUSY: return "another program is writing the settings";
    case DW_NIGHTLIGHT_REASON_TIMEOUT: return "the desktop did not finish the request in time";
    default: return "the desktop did not carry the request out";
  }
}

std::shared_ptr<NightShiftManager> NightShiftManager::create(Dependencies deps) {
  if (!deps.mainQueue || !deps.clientQueue || !deps.defaults || !deps.loginItem)
    throw std::invalid_argument("NightShiftManager needs queues, defaults and a login item");
  std::shared_ptr<NightShiftManager> manager(new NightShiftManager(std::move(deps)));
  manager->initialise();
  return manager;
}

NightShiftManager::NightShiftManager(Dependencies deps)
    : isNightShiftEnabled(*this, false),
      colorTemperatureStrength(*this, kStrengthAtCreation),
      autoEnable(*this, false, [this](const bool& value) { autoEnableDidChange(value); }),
      backend(*this, std::nullopt),
      reason(*this, std::nullopt),
      unconfirmed(*this, Unconfirmed{}),
      deps_(std::move(deps)),
      logger_(logger("NightShiftManager")),
      clientQueue_(std::move(deps_.clientQueue)) {}

NightShiftManager::~NightShiftManager() {
  // Stop the provider's callbacks before the queue they schedule onto goes.
  // This may run on the provider's thread (from its callback) or on
  // clientQueue (last reference held by a work item); both tear down safely.
  blueLightClient_.reset();
  clientQueue_.reset();
}

void NightShiftManager::initialise() {
  if (const std::optional<bool> stored = deps_.defaults->readBool(Setting::autoEnable)) {
    autoEnable = *stored;  // runs the change handling
  } else {
    // A damaged file or value says nothing about what the user wants: neither
    // apply nor switch off Keep Always On, and leave the file and the login
    // item as they are, until the user sets it again.
    logger_.log("Keep Always On is unknown: its stored setting is unreadable; nothing changes until it is set");
  }
  logger_.log("NightShiftManager initialized with autoEnable: %{bool}d", autoEnable.get());
  clientQueue_->async([self = shared_from_this()] { self->setupBlueLightClient(); });
}

void NightShiftManager::autoEnableDidChange(bool value) {
  // Saved with the login item as one change, or refused as one: then the
  // value that stands is published again (and stored already).
  if (!std::exchange(restoringAutoEnable_, false)) {
    autoEnableSaveFailure_ = deps_.loginItem->setEnabledWithSetting(*deps_.defaults, Setting::autoEnable, value);
    if (autoEnableSaveFailure_) {
      restoringAutoEnable_ = true;
      autoEnable = !value;
      return;
    }
  }
  logger_.log("Auto-enable toggled: %{bool}d", value);
  if (!value) {
    keepOnFailures_ = 0;
    if (waitingWhileHeldOff_) stopWaiting("Keep Always On was switched off");
  }
  logger_.log("Auto-enable toggled: %{bool,public}d. Launch at Login set to: %{bool,public}d", value,
              deps_.loginItem->isEnabled());
  if (value && !isNightShiftEnabled.get()) {
    logger_.log("Auto-enable activated while Night Shift is off. Enabling...");
    enableNightShift();
  }
}

void NightShiftManager::setupBlueLightClient() {
  BlueLightFramework* framework = deps_.framework;
  // Without a client, no read will say so: the set-up does.
  const auto publishUnsupported = [this] {
    deps_.mainQueue->async([self = shared_from_this()] {
      if (self->backend.get() != Backend{}) self->backend = Backend{};
    });
  };
  const bool loaded = framework != nullptr && framework->load();
  const bool supported = loaded && CBBlueLightClient::supportsBlueLightReduction(*framework);
  if (!supported) {
    logger_.error("Failed to load CoreBrightness framework or Blue Light Reduction not supported");
    if (framework != nullptr && !framework->failureReason().empty())
      logger_.error("Night-light provider: %{public}s", framework->failureReason());
    // A provider that waits for the desktop hands out a client all the same;
    // its callback says when night light has come, like any other change.
    if (!loaded || !CBBlueLightClient::waitsForDesktop(*framework)) return publishUnsupported();
  }
  blueLightClient_ = CBBlueLightClient::create(*framework);
  if (!blueLightClient_) {
    if (supported) logger_.error("Failed to create CBBlueLightClient");
    return publishUnsupported();
  }
  if (supported) logger_.log("CBBlueLightClient initialized successfully");
  blueLightClient_->setStatusNotificationBlock([weak = weak_from_this()] {
    if (auto self = weak.lock()) self->handleStatusChange();
  });
  updateStatus();
}

void NightShiftManager::handleStatusChange() {
  logger_.log("Night Shift status change detected");
  clientQueue_->asyncAfter(kStatusChangeReadDelay, [weak = weak_from_this()] {
    if (auto self = weak.lock()) self->updateStatus();
  });
}

void NightShiftManager::updateStatus() {
  clientQueue_->async([weak = weak_from_this()] {
    if (auto self = weak.lock()) self->readStatus();
  });
}

NightShiftManager::Backend NightShiftManager::backendNow() const {
  return {blueLightClient_ != nullptr && CBBlueLightClient::supportsBlueLightReduction(*deps_.framework),
          CBBlueLightClient::backendName(*deps_.framework)};
}

void NightShiftManager::readStatus() {
  if (!blueLightClient_) return;
  Read read;
  BlueLightStatus status;
  read.ok = blueLightClient_->getBlueLightStatus(&status);
  if (read.ok) {
    read.enabled = status.bytes[1] != 0;
    // A strength that could not be read is not 0.0 (least warm): it is unknown,
    // and the last one we had stays.
    if (float strength = 0.0f; blueLightClient_->getStrength(&strength)) read.strength = strength;
    if (read.strength)
      logger_.log("Status update - enabled: %{bool}d, strength: %f", read.enabled, *read.strength);
    else
      logger_.log("Status update - enabled: %{bool}d; the strength could not be read, the last one stays",
                  read.enabled);
  }
  // A failed read publishes no state, but the reason the provider gives for it still counts.
  read.reason = blueLightClient_->reason();
  read.backend = backendNow();
  deps_.mainQueue->async([self = shared_from_this(), read = std::move(read)] { self->applyStatus(read); });
}

void NightShiftManager::publishReadState(const Read& read) {
  if (backend.get() != read.backend) backend = read.backend;
  if (reason.get() != read.reason) reason = read.reason;
  if (!read.ok) return;
  if (read.strength) lastReadStrength_ = *read.strength;
  // Confirmed once no command asking for a change is still on its way.
  Unconfirmed now = unconfirmed.get();
  const auto outstanding = [this](bool strength) {
    for (const auto& [id, command] : commands_)
      if ((command.asked == Asked::strength) == strength) return true;
    return false;
  };
  if (!outstanding(false)) now.enabled = false;
  if (read.strength && !outstanding(true)) now.strength = false;
  if (unconfirmed.get() != now) unconfirmed = now;
}

void NightShiftManager::applyStatus(const Read& read) {
  publishReadState(read);
  if (read.ok) applyState(read.enabled, read.strength);
  judge(read);  // once what it shows is published
}

void NightShiftManager::applyState(bool enabled, std::optional<float> strength) {
  const bool wasEnabled = isNightShiftEnabled.get();
  // On after the command window means the last re-enable held.
  if (enabled && !isInternalUpdate_.load()) keepOnFailures_ = 0;
  colorTemperatureStrength = strength.value_or(colorTemperatureStrength.get());
  isNightShiftEnabled = enabled;
  const auto& why = reason.get();
  if (waitingWhileHeldOff_ && enabled) {
    stopWaiting("night light is on again");
  } else if (waitingWhileHeldOff_ && !(why && holdsOff(*why))) {
    // The desktop let go: try at once rather than at the next slow turn.
    stopWaiting("night light is no longer held off; re-enabling");
    if (autoEnable.get()) scheduleReEnable(kReEnableDelay);
  }
  checkAutoReEnable(wasEnabled, enabled);
  if (!hasPerformedInitialCheck_) {
    hasPerformedInitialCheck_ = true;
    if (autoEnable.get() && !isNightShiftEnabled.get()) {
      logger_.log("Initial launch check: 'Keep Always On' is enabled, but Night Shift is off. Activating now.");
      enableNightShift();
    }
  }
}

void NightShiftManager::checkAutoReEnable(bool wasEnabled, bool isEnabled) {
  if (!(wasEnabled && autoEnable.get() && !isEnabled)) return;
  if (isInternalUpdate_.load()) {
    offSeenInWindow_ = true;  // not fought now; the window's close looks again
    return;
  }
  logger_.log(kReEnablingLine);
  scheduleReEnable(kReEnableDelay);
}

void NightShiftManager::scheduleReEnable(double delay) {
  reEnablePending_ = true;
  deps_.mainQueue->asyncAfter(delay, [weak = weak_from_this(), number = ++reEnableNumber_] {
    auto self = weak.lock();
    if (!self || number != self->reEnableNumber_) return;  // replaced by a later one
    self->reEnablePending_ = false;
    if (self->autoEnable.get() && !self->isNightShiftEnabled.get()) self->enableNightShift();
  });
}

void NightShiftManager::startWaiting() {
  if (waitingWhileHeldOff_) return;
  waitingWhileHeldOff_ = true;
  logger_.submit(LogLevel::info,
                 "Keep Always On is waiting: night light is held off (%{public}s); trying again when the desktop "
                 "reports a change, and every %{public}s seconds",
                 {describe(*reason.get()), decimal::shortest(kHeldOffRetryDelay)});
}

void NightShiftManager::stopWaiting(const char* why) {
  waitingWhileHeldOff_ = false;
  logger_.submit(LogLevel::info, "Keep Always On stops waiting: %{public}s", {std::string(why)});
}

void NightShiftManager::closeCommandWindow(unsigned number, bool reachedClient) {
  isInternalUpdate_.store(false);
  const bool offSeen = std::exchange(offSeenInWindow_, false);
  if (isNightShiftEnabled.get()) {
    keepOnFailures_ = 0;
    return;
  }
  // Without an applied status there is no client to retry against, and the
  // launch check has not had its turn yet.
  if (!hasPerformedInitialCheck_ || !autoEnable.get() || reEnablePending_) return;
  // A command that reached no client (the one queued at creation, before the
  // set-up), or one a later command follows, did not fail: the later one is judged.
  if (!offSeen && (!reachedClient || number != commandsQueued_)) return;
  if (reason.get() && holdsOff(*reason.get())) {
    startWaiting();
    scheduleReEnable(kHeldOffRetryDelay);
    return;
  }
  const int attempt = ++keepOnFailures_;
  const double delay = kRetryDelays[std::min(attempt, kRetryDelayCount) - 1];
  if (attempt == 1 && offSeen) {
    logger_.log(kReEnablingLine);  // it was on, then went off inside the window: the ordinary re-enable
  } else {
    logger_.error("Night Shift is still off after re-enabling (attempt %d); trying again in %{public}s seconds",
                  attempt, decimal::shortest(delay));
  }
  scheduleReEnable(delay);
}

void NightShiftManager::enableNightShift() {
  logger_.log("Enabling Night Shift...");
  queueCommand(true, std::nullopt);
}

void NightShiftManager::enableNightShift(Request request) {
  logger_.log("Enabling Night Shift...");
  queueCommand(true, std::move(request));
}

void NightShiftManager::disableNightShift(Request request) {
  if (autoEnable.get()) {
    logger_.log("Manual disable blocked - auto-enable is active");
    if (request.completion) request.completion({Outcome::Kind::refused, {}});
    return;
  }
  logger_.log("Disabling Night Shift...");
  queueCommand(false, std::move(request));
}

void NightShiftManager::queueCommand(bool enable, std::optional<Request> request) {
  openRequest(enable ? Asked::on : Asked::off, 0, std::move(request), [this, enable](unsigned id, const DropTime& drop) {
    clientQueue_->async([weak = weak_from_this(), enable, number = ++commandsQueued_, id, drop] {
      if (auto self = weak.lock()) self->runCommand(enable, number, id, drop);
    });
  });
}

void NightShiftManager::runCommand(bool enable, unsigned number, unsigned id, const DropTime& dropAfter) {
  if (dropIfLate(id, dropAfter, enable ? "turn Night Shift on" : "turn Night Shift off")) return;
  isInternalUpdate_.store(true);
  const bool reachedClient = blueLightClient_ != nullptr;
  if (reachedClient) blueLightClient_->setEnabled(enable);
  reportRan(id, reachedClient);
  // The window is one flag, not a count: an earlier command's close ends it.
  deps_.mainQueue->asyncAfter(kCommandWindow, [self = shared_from_this(), number, reachedClient] {
    self->closeCommandWindow(number, reachedClient);
  });
  deps_.mainQueue->asyncAfter(kCommandReadDelay, [self = shared_from_this()] { self->updateStatus(); });
}

void NightShiftManager::setColorTemperatureStrength(float strength, Request request) {
  logger_.log("Setting color temperature strength to: %f", strength);
  openRequest(Asked::strength, strength, std::move(request), [this, strength](unsigned id, const DropTime& drop) {
    clientQueue_->async([weak = weak_from_this(), strength, id, drop] {
      if (auto self = weak.lock()) self->runStrength(strength, id, drop);
    });
  });
  deps_.mainQueue->async([self = shared_from_this(), strength] { self->colorTemperatureStrength = strength; });
}

void NightShiftManager::runStrength(float strength, unsigned id, const DropTime& dropAfter) {
  if (dropIfLate(id, dropAfter, "set the strength to " + decimal::shortest(strength))) return;
  const bool reachedClient = blueLightClient_ != nullptr;
  if (reachedClient) blueLightClient_->setStrength(strength, true);
  reportRan(id, reachedClient);
  readStatus();  // what the platform made of it decides the request
}

void NightShiftManager::setAutoEnable(bool value, Request request) {
  autoEnable = value;  // persists it, sets the login item and may turn night light on, as the switch does
  if (!request.completion) return;
  // Saved with the login item as one, or refused as one, with the reason.
  if (autoEnableSaveFailure_)
    return request.completion({Outcome::Kind::failed, {DW_NIGHTLIGHT_REASON_FAILED, *autoEnableSaveFailure_}});
  request.completion({Outcome::Kind::done, {}});
}

}  // namespace duskwarden
