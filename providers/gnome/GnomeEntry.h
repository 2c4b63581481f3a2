#pragma once
// The gnome backend's entry: GNOME's Night Light. Only this header is seen
// from outside the directory: by the list of backends (entry/Backends.cpp)
// and by the module's exported table (backendkit/ModuleEntry.cpp).

#include "backendkit/Backend.h"

namespace duskwarden::provider {

// The settings daemon's colour service. The list loads this backend's module
// only while it is on the session bus.
inline constexpr const char* kGnomeBusName = "org.gnome.SettingsDaemon.Color";
inline constexpr const char* kGnomeBusNames[] = {kGnomeBusName};

inline constexpr BackendEntry kGnomeEntry{"gnome", "GNOME", true, kGnomeBusNames, BackendEntry::Display::any};
extern const BackendKind kGnomeBackend;

}  // namespace duskwarden::provider
