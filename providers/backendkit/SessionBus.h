#pragma once
// The session bus for the backends that talk D-Bus, on a connection of their
// own (so their signals are handled on their own thread).

#include <gio/gio.h>

#include <string>

namespace duskwarden::provider {

// The deadline of every call a backend makes and waits for: a hung service
// or bus must not hold the caller's queue for longer.
inline constexpr int kBusCallTimeoutMs = 2000;

// The bus at base/xdg's sessionBusAddress(), which is what GLib would find
// minus its last resort, autolaunch. nullptr with the reason in `*why` when
// there is no bus, or it cannot be reached within the deadline.
GDBusConnection* openSessionBus(std::string* why);

}  // namespace duskwarden::provider
