#pragma once
// The x11 backend's entry in the list of backends (core/Backends.cpp):
// RandR gamma ramps, never on Xwayland. Only this header is seen from outside the directory.

#include "common/Backend.h"

namespace duskwarden::provider {

extern const BackendKind kX11Backend;

}  // namespace duskwarden::provider
