#pragma once
// The x11 backend's entry: RandR gamma ramps, never on Xwayland. Only this
// header is seen from outside the directory: by the list of backends
// (entry/Backends.cpp) and by the module's exported table
// (backendkit/ModuleEntry.cpp).

#include "backendkit/Backend.h"

namespace duskwarden::provider {

inline constexpr BackendEntry kX11Entry{"x11", "X11", true, {}, BackendEntry::Display::x11};
extern const BackendKind kX11Backend;

}  // namespace duskwarden::provider
