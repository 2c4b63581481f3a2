#pragma once
// The wlroots backend's entry: wlr-gamma-control on sway, Hyprland, labwc,
// river. Only this header is seen from outside the directory: by the list of
// backends (entry/Backends.cpp) and by the module's exported table
// (backendkit/ModuleEntry.cpp).

#include "backendkit/Backend.h"

namespace duskwarden::provider {

inline constexpr BackendEntry kWlrootsEntry{"wlroots", "wlroots", true, {}, BackendEntry::Display::wayland};
extern const BackendKind kWlrootsBackend;

}  // namespace duskwarden::provider
