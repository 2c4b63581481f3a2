#pragma once
// Whether a D-Bus backend's service is on the session bus, asked over sd-bus
// (libsystemd, which the program maps already), so that GIO is loaded only
// with the module of a backend that is chosen. Like the backends' own
// connection, it never autolaunches a bus: $DBUS_SESSION_BUS_ADDRESS, else
// $XDG_RUNTIME_DIR/bus, else none.

#include <span>
#include <string>

namespace duskwarden::provider {

// True when one of `names` has an owner; otherwise false, with why in
// `*why`, prefixed with `backend` ("GNOME: ...").
bool sessionBusHasName(std::span<const char* const> names, const char* backend, std::string* why);

}  // namespace duskwarden::provider
