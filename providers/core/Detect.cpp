#include "core/Detect.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "common/Log.h"
#include "core/Backends.h"
#include "core/Modules.h"

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

// The backend of `entry` when it can run here: first what it needs of the
// session, then its module's own check. A module not chosen is unloaded
// again, and with it the libraries only it needed.
const BackendKind* tryBackend(const BackendEntry& entry) {
  if (std::string why; !entry.mayRun(&why)) {
    logInfo("%s", why.c_str());
    return nullptr;
  }
  const BackendKind* kind = openModule(entry.name);
  if (kind == nullptr) return nullptr;
  if (kind->isUsable()) {
    keepModule(entry.name);
    return kind;
  }
  closeModule(entry.name);
  return nullptr;
}

const BackendKind* detect() {
  const auto list = backendList();
  if (const char* forced = std::getenv(kForceVariable); forced && *forced) {
    for (const BackendEntry& entry : list) {
      if (std::strcmp(entry.name, forced) != 0) continue;
      if (const BackendKind* kind = tryBackend(entry)) {
        logInfo("Using the %s backend (%s)", entry.name, kForceVariable);
        return kind;
      }
      logError("The %s backend that %s asks for is not usable here", entry.name, kForceVariable);
      return nullptr;
    }
    logInfo("%s=%s names no backend; detecting one", kForceVariable, forced);
  }
  std::string tried;
  for (const BackendEntry& entry : list) {
    if (!entry.autoDetect) continue;
    if (const BackendKind* kind = tryBackend(entry)) {
      logInfo("Using the %s backend", entry.name);
      return kind;
    }
    tried += tried.empty() ? entry.name : std::string(", ") + entry.name;
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
