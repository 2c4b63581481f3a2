#pragma once
// The kde backend's entry: KWin's Night Color. Only this header is seen
// from outside the directory: by the list of backends (entry/Backends.cpp)
// and by the module's exported table (backendkit/ModuleEntry.cpp).

#include "backendkit/Backend.h"

namespace duskwarden::provider {

// The bus names of KWin's Night Color object, Plasma 6 first. The list loads
// this backend's module only while one of them is on the session bus.
inline constexpr const char* kKdeBusNames[] = {"org.kde.KWin.NightLight", "org.kde.NightColor"};

inline constexpr BackendEntry kKdeEntry{"kde", "KDE Night Color", true, kKdeBusNames, BackendEntry::Display::any};
extern const BackendKind kKdeBackend;

}  // namespace duskwarden::provider
