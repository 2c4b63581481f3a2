#pragma once
// The wlroots backend's entry, the one header seen from outside the directory (by the
// module's exported table, common/ModuleEntry.cpp):
// wlr-gamma-control on sway, Hyprland, labwc, river.

#include "common/Backend.h"

namespace duskwarden::provider {

extern const BackendKind kWlrootsBackend;

}  // namespace duskwarden::provider
