#pragma once
// The cinnamon backend's entry: the night light of Cinnamon 6 (Linux Mint
// 22, Debian 13). Only this header is seen from outside the directory: by
// the list of backends (entry/Backends.cpp) and by the module's exported table
// (backendkit/ModuleEntry.cpp).

#include "backendkit/Backend.h"

namespace duskwarden::provider {

// csd-color's service. Cinnamon 5's csd-color has no night light: there the
// module finds no night-light keys in the schema and leaves the screen to X11.
inline constexpr const char* kCinnamonBusName = "org.cinnamon.SettingsDaemon.Color";
inline constexpr const char* kCinnamonBusNames[] = {kCinnamonBusName};

inline constexpr BackendEntry kCinnamonEntry{"cinnamon", "Cinnamon", true, kCinnamonBusNames,
                                             BackendEntry::Display::any};
extern const BackendKind kCinnamonBackend;

}  // namespace duskwarden::provider
