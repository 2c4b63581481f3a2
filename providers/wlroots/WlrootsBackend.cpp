#include "wlroots/WlrootsBackend.h"

#include <string>

#include "backendkit/ColorTemperature.h"
#include "backendkit/Log.h"
#include "backendkit/CompositorSocket.h"
#include "wlroots/GammaLoop.h"
#include "wlroots/GammaSession.h"
#include "wlroots/KelvinSetting.h"
#include "wlroots/WlrootsEntry.h"

namespace duskwarden::provider::wlroots {

bool WlrootsBackend::isUsable() {
  std::string why;
  const std::string path = compositorSocketPath(&why);
  const int fd = path.empty() ? -1 : connectToCompositor(path, &why);
  if (fd < 0 || !GammaSession::offersGammaControl(fd, path, &why)) {
    logInfo("wlroots: %s", why.c_str());
    return false;
  }
  return true;
}

std::unique_ptr<WlrootsBackend> WlrootsBackend::create() {
  std::string error;
  const std::string path = compositorSocketPath(&error);
  const int fd = path.empty() ? -1 : connectToCompositor(path, &error);
  auto session = fd < 0 ? nullptr : GammaSession::open(fd, path, &error);
  if (!session) {
    logError("wlroots: %s", error.c_str());
    return nullptr;
  }
  auto loop = GammaLoop::start(std::move(session), path, Target{false, loadKelvinSetting().value_or(kDefaultKelvin)});
  if (!loop) return nullptr;
  return std::unique_ptr<WlrootsBackend>(new WlrootsBackend(std::move(loop)));
}

WlrootsBackend::WlrootsBackend(std::unique_ptr<GammaLoop> loop) : loop_(std::move(loop)) {}

WlrootsBackend::~WlrootsBackend() = default;

void WlrootsBackend::setStatusCallback(std::function<void()> callback) { loop_->setCallback(std::move(callback)); }

bool WlrootsBackend::readEnabled(bool* enabled) {
  *enabled = loop_->enabled();
  return true;
}

bool WlrootsBackend::readStrength(float* strength) {
  *strength = static_cast<float>(kelvinToStrength(loop_->target().kelvin).value_or(0.0));
  return true;
}

void WlrootsBackend::setEnabled(bool enabled) { loop_->setOn(enabled); }

void WlrootsBackend::setStrength(float strength, bool commit) {
  const auto kelvin = strengthToKelvin(strength);
  if (!kelvin) return;        // NaN is no strength at all
  loop_->setKelvin(*kelvin);  // outputs that show our ramps change colour; off stays off
  std::string error;
  if (commit && !saveKelvinSetting(*kelvin, &error)) {
    saveFailures_.error(error, "wlroots: save the temperature: %s", error.c_str());
    loop_->reason().set(DW_NIGHTLIGHT_REASON_FAILED, "save the temperature: " + error);
  } else if (commit) {
    saveFailures_.clear();
  }
}

Reason WlrootsBackend::reason() { return loop_->reason().get(); }

}  // namespace duskwarden::provider::wlroots

namespace duskwarden::provider {
const BackendKind kWlrootsBackend{&kWlrootsEntry, &wlroots::WlrootsBackend::isUsable, &createBackend<wlroots::WlrootsBackend>};
}  // namespace duskwarden::provider
