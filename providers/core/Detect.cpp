#include "core/Detect.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "common/Log.h"
#include "core/Backends.h"

namespace duskwarden::provider {

namespace {

constexpr const char* kForceVariable = "DUSKWARDEN_NIGHTLIGHT_BACKEND";

// Everything detection rests on. A process never changes these, so in the
// application this means once per process; tests that switch displays or
// buses in one process get a fresh choice.
std::string environmentKey() {
  std::string key;
  for (const char* name :
       {kForceVariable, "DISPLAY", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"}) {
    const char* value = std::getenv(name);
    key += value ? std::string("=") + value : std::string("-");
    key += '\n';
  }
  return key;
}

const BackendKind* detect() {
  const auto kinds = backendKinds();
  if (const char* forced = std::getenv(kForceVariable); forced && *forced) {
    for (const BackendKind* kind : kinds) {
      if (std::strcmp(kind->name, forced) != 0) continue;
      if (kind->isUsable()) {
        logInfo("Using the %s backend (%s)", kind->name, kForceVariable);
        return kind;
      }
      logError("The %s backend that %s asks for is not usable here", kind->name, kForceVariable);
      return nullptr;
    }
    logInfo("%s=%s names no backend; detecting one", kForceVariable, forced);
  }
  std::string tried;
  for (const BackendKind* kind : kinds) {
    if (!kind->autoDetect) continue;
    if (kind->isUsable()) {
      logInfo("Using the %s backend", kind->name);
      return kind;
    }
    tried += tried.empty() ? kind->name : std::string(", ") + kind->name;
  }
  logInfo("No night-light backend is usable here (tried %s)", tried.c_str());
  return nullptr;
}

}  // namespace

const BackendKind* chooseBackend() {
  static std::mutex mutex;
  static bool chosen = false;
  static std::string chosenIn;
  static const BackendKind* kind = nullptr;
  std::lock_guard lock(mutex);
  std::string key = environmentKey();
  if (!chosen || key != chosenIn) {
    kind = detect();
    chosen = true;
    chosenIn = std::move(key);
  }
  return kind;
}

}  // namespace duskwarden::provider
