#pragma once
// The session bus for the backends that talk D-Bus, on a connection of their
// own (so their signals are handled on their own thread).

#include <gio/gio.h>

#include <string>

namespace duskwarden::provider {

// What GLib would find (DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus),
// minus its last resort: with no bus at all GLib would autolaunch a
// dbus-launch and a dbus-daemon that outlive us. nullptr with the reason in
// `*why` when there is no bus or it cannot be reached.
GDBusConnection* openSessionBus(std::string* why);

// A boolean from a proxy's cached properties; false when absent or not boolean.
bool cachedBool(GDBusProxy* proxy, const char* name, bool* value);

}  // namespace duskwarden::provider
