#pragma once
// The x11 backend's entry: RandR gamma ramps, never on Xwayland. Only this
// header is seen from outside the directory: by the list of backends
// (core/Backends.cpp) and by the module's exported table
// (common/ModuleEntry.cpp).

#include "common/Backend.h"

namespace duskwarden::provider {

inline constexpr BackendEntry kX11Entry{"x11", "X11", true, {}, BackendEntry::Display::x11};
extern const BackendKind kX11Backend;

}  // namespace duskwarden::provider
