#pragma once
// Inside the provider library: one backend per kind of desktop.
//
// Each backend implements this interface and nothing else is exported. The
// library's entry point (core/Entry.cpp) turns the C table into calls on the
// backend that detection (core/Detect.cpp) chose from the one ordered list in
// core/Backends.cpp. Backends run their own event thread and call the status
// callback only from it, as common/WorkerThread.h says.

#include <functional>
#include <memory>
#include <span>

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

// A kind of backend: whether it can run here, and how to make one. Each is
// defined in its backend's own directory.
struct BackendKind {
  const char* name;                      // "gnome", "x11", "sim": the forcing name
  bool autoDetect;                       // false: used only when forced (the simulator)
  bool (*isUsable)();                    // may connect briefly; logs why not; no lasting side effects
  std::unique_ptr<Backend> (*create)();  // nullptr on failure, logged
};

// For BackendKind::create: a backend's own create(), which answers its own type.
template <class B>
std::unique_ptr<Backend> createBackend() {
  return B::create();
}

// Every backend, in the order automatic detection tries them.
std::span<const BackendKind* const> backendKinds();

// The kind to use: the one named by DUSKWARDEN_NIGHTLIGHT_BACKEND when set
// (nullptr when it is not usable), otherwise the first usable auto-detected
// kind; nullptr when none. Chosen once, and again only when the environment
// it was chosen in has changed (see nightlight.h).
const BackendKind* chooseBackend();

}  // namespace duskwarden::provider
