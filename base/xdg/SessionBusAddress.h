#pragma once
// The session bus's address, found as the D-Bus libraries find it minus their
// last resort: with no bus at all they would autolaunch a dbus-launch and a
// dbus-daemon that outlive the process.

#include <filesystem>
#include <optional>
#include <string>

namespace duskwarden {

// DBUS_SESSION_BUS_ADDRESS when it is set and not empty (libdbus treats an
// empty one as unset); otherwise the runtime directory's "bus" when it is a
// socket of this user's; otherwise nothing.
std::optional<std::string> sessionBusAddress();

// Why sessionBusAddress() found nothing, as a clause.
inline constexpr const char* kNoSessionBusReason =
    "DBUS_SESSION_BUS_ADDRESS is unset and there is no $XDG_RUNTIME_DIR/bus";

// `path` as a D-Bus address value ("unix:path=" + this), escaped as the
// address syntax requires.
std::string dbusAddressValue(const std::filesystem::path& path);

}  // namespace duskwarden
