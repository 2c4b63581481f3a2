#pragma once
// The wlroots backend's entry in the list of backends (core/Backends.cpp):
// wlr-gamma-control on sway, Hyprland, labwc, river. Only this header is seen from outside the directory.

#include "common/Backend.h"

namespace duskwarden::provider {

extern const BackendKind kWlrootsBackend;

}  // namespace duskwarden::provider
