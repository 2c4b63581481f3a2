#include "entry/Detect.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "backendkit/Log.h"
#include "entry/BackendWatch.h"
#include "entry/Backends.h"
#include "entry/Modules.h"

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

struct Detection {
  std::mutex mutex;  // one detection at a time, and the modules' lock
  bool chosen = false;
  std::string chosenIn;
  const BackendEntry* forced = nullptr;  // of the present choice
  std::unique_ptr<BackendWatch> watch;
  unsigned epoch = 0;  // of the present choice: a retry from an older watch is stale

  std::mutex choiceMutex;  // never held for long: every client call reads the choice
  Choice choice;

  std::mutex listenersMutex;
  std::vector<std::shared_ptr<CallbackSlot>> listeners;
  std::atomic<std::thread::id> notifying{};
};

// Never destroyed: the watch's thread may outlive static destruction.
Detection& detection() {
  static auto* d = new Detection;
  return *d;
}

void setChoice(Detection& d, const BackendKind* kind, bool waiting) {
  std::lock_guard lock(d.choiceMutex);
  d.choice = {kind, d.choice.generation + 1, waiting};
}

// The backend of `entry` when it can run here: first what it needs of the
// session, then its module's own check. A module not chosen is unloaded
// again, and with it the libraries only it needed.
const BackendKind* tryBackend(const BackendEntry& entry) {
  if (std::string why; !mayRun(entry, &why)) {
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

std::size_t rank(const char* name) {
  const auto list = backendList();
  const auto it = std::find_if(list.begin(), list.end(), [name](const BackendEntry* e) { return !std::strcmp(e->name, name); });
  return static_cast<std::size_t>(it - list.begin());
}

// Whether `entry`, coming now, would be chosen over `kind`.
bool wouldReplace(const Detection& d, const BackendEntry& entry, const BackendKind* kind) {
  if (d.forced != nullptr) return kind == nullptr && d.forced == &entry;
  return entry.autoDetect && (kind == nullptr || rank(entry.name) < rank(kind->entry->name));
}

const BackendKind* detect(Detection& d) {
  d.forced = nullptr;
  const auto list = backendList();
  if (const char* forced = std::getenv(kForceVariable); forced && *forced) {
    for (const BackendEntry* entry : list) {
      if (std::strcmp(entry->name, forced) != 0) continue;
      d.forced = entry;
      if (const BackendKind* kind = tryBackend(*entry)) {
        logInfo("Using the %s backend (%s)", entry->name, kForceVariable);
        return kind;
      }
      logError("The %s backend that %s asks for is not usable here", entry->name, kForceVariable);
      return nullptr;
    }
    logInfo("%s=%s names no backend; detecting one", kForceVariable, forced);
  }
  std::string tried;
  for (const BackendEntry* entry : list) {
    if (!entry->autoDetect) continue;
    if (const BackendKind* kind = tryBackend(*entry)) {
      logInfo("Using the %s backend", entry->name);
      return kind;
    }
    tried += tried.empty() ? entry->name : std::string(", ") + entry->name;
  }
  logInfo("No night-light backend is usable here (tried %s)", tried.c_str());
  return nullptr;
}

void retry(const BackendEntry& entry, unsigned epoch);

// Watches for what would replace `kind`, if anything may: answers whether it waits.
bool waitForBetter(Detection& d, const BackendKind* kind) {
  d.watch.reset();  // from within its own retry too: its thread then ends by itself
  std::vector<const BackendEntry*> wanted;
  for (const BackendEntry* entry : backendList()) {
    // An X server comes before us or not at all: only a service or a compositor can be waited for.
    const bool comes = !entry->busNames.empty() || entry->display == BackendEntry::Display::wayland;
    if (comes && wouldReplace(d, *entry, kind)) wanted.push_back(entry);
  }
  if (wanted.empty()) return false;
  d.watch = BackendWatch::start(wanted, [epoch = d.epoch](const BackendEntry& entry) { retry(entry, epoch); });
  if (d.watch && kind == nullptr) {
    std::string names;
    for (std::size_t i = 0; i < wanted.size(); ++i)
      names += (i == 0 ? "" : i + 1 == wanted.size() ? " or " : ", ") + std::string(wanted[i]->label);
    logInfo("Waiting for %s to become usable", names.c_str());
  }
  return d.watch != nullptr;
}

void notifyListeners() {
  Detection& d = detection();
  std::lock_guard lock(d.listenersMutex);  // so that no call runs once a listener is removed
  d.notifying = std::this_thread::get_id();
  const auto listeners = d.listeners;  // one may remove itself from within
  for (const auto& slot : listeners) slot->call();
  d.notifying = std::thread::id();
}

void retry(const BackendEntry& entry, unsigned epoch) {
  Detection& d = detection();
  {
    std::lock_guard lock(d.mutex);
    const Choice now = currentChoice();
    if (epoch != d.epoch || !wouldReplace(d, entry, now.kind)) return;
    const BackendKind* kind = tryBackend(entry);
    if (kind == nullptr) return;
    if (now.kind != nullptr)
      logInfo("Using the %s backend instead of %s: it became usable after launch", entry.name, now.kind->entry->name);
    else
      logInfo("Using the %s backend: it became usable after launch", entry.name);
    setChoice(d, kind, waitForBetter(d, kind));
  }
  notifyListeners();
}

}  // namespace

Choice chooseBackend() {
  Detection& d = detection();
  std::unique_ptr<BackendWatch> replaced;  // ended outside the lock: its thread may be waiting for it
  {
    std::lock_guard lock(d.mutex);
    std::string key = environmentKey();
    if (!d.chosen || key != d.chosenIn) {
      replaced = std::move(d.watch);
      ++d.epoch;
      const BackendKind* kind = detect(d);
      setChoice(d, kind, waitForBetter(d, kind));
      d.chosen = true;
      d.chosenIn = std::move(key);
    }
  }
  return currentChoice();
}

Choice currentChoice() {
  Detection& d = detection();
  std::lock_guard lock(d.choiceMutex);
  return d.choice;
}

void listenForChoices(const std::shared_ptr<CallbackSlot>& slot) {
  Detection& d = detection();
  std::lock_guard lock(d.listenersMutex);
  d.listeners.push_back(slot);
}

void stopListening(const std::shared_ptr<CallbackSlot>& slot) {
  Detection& d = detection();
  std::unique_lock lock(d.listenersMutex, std::defer_lock);
  if (d.notifying.load() != std::this_thread::get_id()) lock.lock();  // else held by the notification we are in
  std::erase(d.listeners, slot);
}

}  // namespace duskwarden::provider
