#pragma once
// The x11 backend's entry, the one header seen from outside the directory (by the
// module's exported table, common/ModuleEntry.cpp):
// RandR gamma ramps, never on Xwayland.

#include "common/Backend.h"

namespace duskwarden::provider {

extern const BackendKind kX11Backend;

}  // namespace duskwarden::provider
