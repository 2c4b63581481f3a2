#pragma once
// Inside the provider library: one backend per kind of desktop.
//
// Each backend implements this interface and nothing else is exported. The
// library's entry point (core/Entry.cpp) turns the C table into calls on the
// backend chosen by detection (core/Detect.cpp). Backends run their own event
// thread and call the status callback only from it.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

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
};

// A backend kind: whether it can run here, and how to make one.
struct BackendKind {
  const char* name;                      // "gnome", "x11", "sim"
  int priority;                          // detection order, lowest first (gnome 10, x11 20)
  bool autoDetect;                       // false: used only when forced (the simulator)
  bool (*isUsable)();                    // may connect briefly; no lasting side effects
  std::unique_ptr<Backend> (*create)();  // nullptr on failure
};

// Each backend's source file registers its kind with a static BackendRegistration.
void registerBackendKind(const BackendKind* kind);
struct BackendRegistration {
  explicit BackendRegistration(const BackendKind* kind) { registerBackendKind(kind); }
};

// The kind to use now: the one named by DUSKWARDEN_NIGHTLIGHT_BACKEND when set
// (and usable), otherwise the first usable auto-detected kind by priority;
// nullptr when none.
const BackendKind* chooseBackend();

}  // namespace duskwarden::provider
