#pragma once
// The sim backend's entry: the file-backed simulator, only when forced. Only
// this header is seen from outside the directory: by the list of backends
// (entry/Backends.cpp) and by the module's exported table
// (backendkit/ModuleEntry.cpp).

#include "backendkit/Backend.h"

namespace duskwarden::provider {

inline constexpr BackendEntry kSimEntry{"sim", "Simulator", false, {}, BackendEntry::Display::any};
extern const BackendKind kSimBackend;

}  // namespace duskwarden::provider
