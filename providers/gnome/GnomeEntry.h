#pragma once
// The gnome backend's entry in the list of backends (core/Backends.cpp):
// GNOME's Night Light. Only this header is seen from outside the directory.

#include "common/Backend.h"

namespace duskwarden::provider {

extern const BackendKind kGnomeBackend;

}  // namespace duskwarden::provider
