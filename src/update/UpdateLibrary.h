#pragma once
// The update check's network part lives in a library of its own,
// libduskwarden-update.so beside the night-light provider, opened the first
// time the user checks for updates: a day in the tray never maps Qt Network,
// its TLS and proxy support or the Kerberos libraries they pull in.
//
// The library and the program are built together; the one C entry point
// still checks the version it was built for, so a stray older copy is
// refused instead of misread.

namespace duskwarden {

class AppcastSource;

inline constexpr const char* kUpdateLibraryEntryPoint = "dw_update_create_appcast_source";
inline constexpr int kUpdateLibraryVersion = 1;

// A new source the caller owns, or nullptr when `version` is not the one the library was built for.
extern "C" {
using CreateAppcastSourceFn = AppcastSource* (*)(int version);
}

}  // namespace duskwarden
