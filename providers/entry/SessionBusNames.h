#pragma once
// Whether a D-Bus backend's service is on the session bus, asked over sd-bus
// (libsystemd, which the program maps already), so that GIO is loaded only
// with the module of a backend that is chosen. Like the backends' own
// connection, it never autolaunches a bus: the bus is the one base/xdg's
// sessionBusAddress() finds, or none.

#include <span>
#include <string>

typedef struct sd_bus sd_bus;

namespace duskwarden::provider {

// A connection to the session bus, whose calls wait 2 s at most; nullptr,
// with "no session bus (<why>)" in `*why`, when there is none to connect to.
sd_bus* openUserBus(std::string* why);

// True when one of `names` has an owner; otherwise false, with why in
// `*why`, prefixed with `backend` ("GNOME: ...").
bool sessionBusHasName(std::span<const char* const> names, const char* backend, std::string* why);

}  // namespace duskwarden::provider
