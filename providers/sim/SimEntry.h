#pragma once
// The sim backend's entry: the file-backed simulator, only when forced. Only
// this header is seen from outside the directory: by the list of backends
// (core/Backends.cpp) and by the module's exported table
// (common/ModuleEntry.cpp).

#include "common/Backend.h"

namespace duskwarden::provider {

inline constexpr BackendEntry kSimEntry{"sim", "Simulator", false, {}, BackendEntry::Display::any};
extern const BackendKind kSimBackend;

}  // namespace duskwarden::provider
