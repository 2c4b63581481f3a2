#include "platform/environment/StartEnvironment.h"

#include "base/xdg/SessionBusAddress.h"

#include <cstdlib>

namespace duskwarden {

SessionBusChoice settleSessionBusAddress() {
  const char* given = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const auto address = sessionBusAddress();
  if (!address) {
    ::setenv("DBUS_SESSION_BUS_ADDRESS", kNoSessionBusAddress, 1);
    return SessionBusChoice::none;
  }
  if (given && *address == given) return SessionBusChoice::given;
  ::setenv("DBUS_SESSION_BUS_ADDRESS", address->c_str(), 1);
  return SessionBusChoice::runtimeSocket;
}

}  // namespace duskwarden
