#pragma once
// The parts of the process environment that are settled once, at start,
// before Qt or GLib read them.

namespace duskwarden {

enum class SessionBusChoice {
  given,          // DBUS_SESSION_BUS_ADDRESS was already set
  runtimeSocket,  // set to $XDG_RUNTIME_DIR/bus, the session's bus socket
  none,           // no bus: set to an address every D-Bus library refuses at once
};

// The address set when there is no session bus. Both libdbus and GDBus
// reject the transport without trying to start a bus; with the variable
// unset they would run dbus-launch, whose bus daemon outlives the process.
inline constexpr const char* kNoSessionBusAddress = "disabled:";

// Makes DBUS_SESSION_BUS_ADDRESS say which bus to use: the one
// sessionBusAddress() (base/xdg) finds, otherwise kNoSessionBusAddress.
// Call it before any other thread exists, and after relative XDG paths were
// dropped.
SessionBusChoice settleSessionBusAddress();

}  // namespace duskwarden
