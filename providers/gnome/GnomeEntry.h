#pragma once
// The gnome backend's entry: GNOME's Night Light. Only this header is seen
// from outside the directory: by the list of backends (core/Backends.cpp)
// and by the module's exported table (common/ModuleEntry.cpp).

#include "common/Backend.h"

namespace duskwarden::provider {

extern const BackendKind kGnomeBackend;

// The settings daemon's colour service. The list loads this backend's module
// only while it is on the session bus.
inline constexpr const char* kGnomeBusName = "org.gnome.SettingsDaemon.Color";

}  // namespace duskwarden::provider
