#pragma once
// Inside the provider library: one backend per kind of desktop.
//
// Each backend implements this interface and declares its entry, a
// BackendEntry and its BackendKind, in a header of its own (kde/KdeEntry.h,
// ...). The one ordered list in entry/Backends.cpp includes those headers;
// detection (entry/Detect.cpp) chooses from it, and the library's entry point
// (entry/Entry.cpp) turns the C table into calls on the chosen backend. So
// includes flow one way: entry/ to the backends' entries, and everything to
// this header, which includes none of them. Backends run their own event thread and call the status callback
// only from it, as backendkit/WorkerThread.h says.

#include <functional>
#include <memory>
#include <span>

#include "backendkit/Reason.h"

namespace duskwarden::provider {

class Backend {
 public:
  virtual ~Backend() = default;
  // Installs the callback; replaces any earlier one. Called from the caller's queue.
  virtual void setStatusCallback(std::function<void()> callback) = 0;
  // False when the state could not be read (lost connection, service gone).
  virtual bool readEnabled(bool* enabled) = 0;
  virtual bool readStrength(float* strength) = 0;
  virtual void setEnabled(bool enabled) = 0;
  virtual void setStrength(float strength, bool commit) = 0;
  // Why night light is not on, or why the last request failed, as far as
  // this backend can tell (see the table's get_reason). Called from the caller's queue.
  virtual Reason reason() { return {}; }
};

// What the list of backends knows of one before its module is loaded, and
// the only place its name and detection live: each backend's entry header
// (kde/KdeEntry.h, ...) defines its entry, which the list (entry/Backends.cpp)
// and the backend's module (its BackendKind) both use.
struct BackendEntry {
  enum class Display { any, wayland, x11 };
  const char* name;   // the forcing name, and the module's: backends/<name>.so
  const char* label;  // how its log lines start: "KDE Night Color", "X11"
  bool autoDetect;    // false: used only when forced (the simulator)
  // Its desktop's own service: one of these names owned on the session bus
  // (none: it needs no service). Detection watches them while it waits.
  std::span<const char* const> busNames;
  // The display it works on: a Wayland compositor (WAYLAND_DISPLAY, whose
  // socket detection watches while it waits) or an X server (DISPLAY).
  Display display;
};

// What the backend's module adds to its entry: whether it can run here, and
// how to make one.
struct BackendKind {
  const BackendEntry* entry;
  bool (*isUsable)();                    // may connect briefly; logs why not; no lasting side effects
  std::unique_ptr<Backend> (*create)();  // nullptr on failure, logged
};

// For BackendKind::create: a backend's own create(), which answers its own type.
template <class B>
std::unique_ptr<Backend> createBackend() {
  return B::create();
}

}  // namespace duskwarden::provider
