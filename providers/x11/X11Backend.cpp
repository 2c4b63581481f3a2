#include "x11/X11Backend.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "backendkit/ColorTemperature.h"
#include "backendkit/Log.h"
#include "x11/LogindWatcher.h"
#include "x11/LookSchedule.h"
#include "x11/X11Entry.h"
#include "x11/X11EventWatcher.h"
#include "x11/X11Gamma.h"
#include "x11/XDisplay.h"

namespace duskwarden::provider::x11 {

namespace {

constexpr const char* kNoScreen = "Xwayland's gamma ramps reach no screen, so X11 gamma is not used";

std::string displayVariable() {
  const char* name = std::getenv("DISPLAY");
  return name && *name ? name : "(DISPLAY unset)";
}

// Why this is a Wayland session, or empty. Checked besides the server itself
// in case a future Xwayland looks like any other X server.
std::string waylandSession() {
  if (const char* wayland = std::getenv("WAYLAND_DISPLAY"); wayland && *wayland)
    return std::string("the session is Wayland (WAYLAND_DISPLAY=") + wayland + ")";
  if (const char* type = std::getenv("XDG_SESSION_TYPE"); type && std::strcmp(type, "wayland") == 0)
    return "the session is Wayland (XDG_SESSION_TYPE=wayland)";
  return {};
}

// The log line saying why `display` is no place for our ramps, or empty
// when it is one.
std::string refusal(XDisplay& display) {
  if (isXwayland(display.get())) return "X11: " + display.name() + " is Xwayland; " + kNoScreen;
  if (const auto wayland = waylandSession(); !wayland.empty()) return "X11: " + wayland + "; " + kNoScreen;
  if (!hasGammaCrtcs(display.get())) return "X11: " + display.name() + " has no RandR 1.2 CRTC with a gamma ramp";
  if (std::string why; !display.sync(&why)) return "X11: " + display.name() + ": " + why;
  return {};
}

}  // namespace

bool X11Backend::isUsable() {
  // No connection needed to tell a Wayland session.
  if (const auto wayland = waylandSession(); !wayland.empty()) {
    logInfo("X11: %s; %s", wayland.c_str(), kNoScreen);
    return false;
  }
  auto display = XDisplay::open();
  if (!display) {
    logInfo("X11: XOpenDisplay %s failed", displayVariable().c_str());
    return false;
  }
  if (const auto why = refusal(*display); !why.empty()) {
    logInfo("%s", why.c_str());
    return false;
  }
  return true;
}

std::unique_ptr<X11Backend> X11Backend::create() {
  std::unique_ptr<X11Backend> backend(new X11Backend());
  std::string problem;
  backend->verifyInterval_ = parseVerifyInterval(std::getenv(kVerifyVariable), &problem);
  if (!problem.empty()) logError("X11: %s", problem.c_str());
  if (!backend->connected()) return nullptr;
  backend->logind_ = std::make_unique<LogindWatcher>([b = backend.get()] { b->lookNow_.call(); });
  return backend;
}

X11Backend::~X11Backend() {
  logind_.reset();  // first: it asks the watcher for looks
  watcher_.reset();
}

bool X11Backend::connected() {
  if (commands_ && !commands_->lost() && watcher_ && !watcher_->lost()) return true;
  lookNow_.set(nullptr);
  watcher_.reset();
  commands_.reset();
  // Reconnecting is tried on every call while the server is away: each
  // reason is logged once until a connection works again.
  auto commands = XDisplay::open();
  if (!commands) {
    const std::string line = "X11: XOpenDisplay " + displayVariable() + " failed";
    connectFailures_.error(line, "%s", line.c_str());
    return false;
  }
  if (const auto why = refusal(*commands); !why.empty()) {
    connectFailures_.error(why, "%s", why.c_str());
    return false;
  }
  std::string error;
  watcher_ = X11EventWatcher::start(callback_.get(), verifyInterval_, &error);
  if (!watcher_) {
    const std::string line = "X11 " + commands->name() + ": " + error;
    connectFailures_.error(line, "%s", line.c_str());
    return false;
  }
  lookNow_.set(watcher_->looker());
  commands_ = std::move(commands);
  connectFailures_.clear();
  return true;
}

void X11Backend::changed() {
  if (watcher_) watcher_->notify();
}

void X11Backend::expect(std::optional<double> kelvin) {
  if (watcher_) watcher_->expect(kelvin);
}

int X11Backend::looksForTesting() const { return watcher_ ? watcher_->looks() : 0; }

void X11Backend::report(LogOnce& failures, bool ok, const std::string& error) {
  if (ok) {
    failures.clear();
    return;
  }
  const std::string line = "X11 " + (commands_ ? commands_->name() : displayVariable()) + ": " + error;
  failures.error(line, "%s", line.c_str());
}

void X11Backend::setStatusCallback(std::function<void()> callback) {
  callback_.set(callback);
  if (watcher_) watcher_->setCallback(std::move(callback));
}

bool X11Backend::readEnabled(bool* enabled) {
  if (!connected()) return false;
  std::string error;
  const auto state = readRamps(*commands_, &error);
  report(readFailures_, state.has_value(), error);
  if (!state) return false;
  expect(state->warmKelvin);
  *enabled = state->warmKelvin.has_value();
  return true;
}

bool X11Backend::readStrength(float* strength) {
  if (!connected()) return false;
  std::string error;
  const auto state = readRamps(*commands_, &error);
  report(readFailures_, state.has_value(), error);
  if (!state) return false;
  expect(state->warmKelvin);
  // What the screen shows when on; otherwise the setting that "on" will use.
  double kelvin = kDefaultKelvin;
  if (state->warmKelvin)
    kelvin = *state->warmKelvin;
  else if (const auto stored = readStoredKelvin(*commands_, &error))
    kelvin = *stored;
  *strength = static_cast<float>(kelvinToStrength(kelvin).value_or(0.0));
  return true;
}

void X11Backend::setEnabled(bool enabled) {
  if (!connected()) return;
  std::optional<double> kelvin;
  std::string error;
  if (enabled) {
    // Keep what a screen still shows (another one may just have been reset),
    // else the committed setting. A failed read is logged by the write that follows.
    const auto state = readRamps(*commands_, &error);
    if (state && state->anyWarmKelvin)
      kelvin = state->anyWarmKelvin;
    else
      kelvin = readStoredKelvin(*commands_, &error).value_or(kDefaultKelvin);
  }
  expect(std::nullopt);  // a look overlapping the write would see half of it
  const bool applied = applyRamps(*commands_, kelvin, &error);
  report(writeFailures_, applied, error);
  expect(applied ? kelvin : std::nullopt);
  changed();
}

void X11Backend::setStrength(float strength, bool commit) {
  const auto kelvin = strengthToKelvin(strength);
  if (!kelvin || !connected()) return;  // NaN is no strength at all
  std::string error;
  if (commit) report(writeFailures_, storeKelvin(*commands_, *kelvin, &error), error);
  // Only a screen that is warm now changes colour; off stays off.
  const auto state = readRamps(*commands_, &error);
  if (state && state->anyWarmKelvin) {
    expect(std::nullopt);
    const bool applied = applyRamps(*commands_, *kelvin, &error);
    report(writeFailures_, applied, error);
    expect(applied ? kelvin : std::nullopt);
  }
  changed();
}

}  // namespace duskwarden::provider::x11

namespace duskwarden::provider {
const BackendKind kX11Backend{&kX11Entry, &x11::X11Backend::isUsable, &createBackend<x11::X11Backend>};
}  // namespace duskwarden::provider
