#include "entry/SessionBusNames.h"

#include <systemd/sd-bus.h>

#include "base/xdg/SessionBusAddress.h"

#include <cstdint>
#include <cstring>
#include <memory>

namespace duskwarden::provider {

namespace {

// A hung bus must not hold the caller's queue for long (the backends' own calls wait as long).
constexpr std::uint64_t kCallTimeoutUs = 2'000'000;

struct BusUnref {
  void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
};

}  // namespace

sd_bus* openUserBus(std::string* why) {
  const auto address = sessionBusAddress();
  if (!address) {
    *why = std::string("no session bus (") + kNoSessionBusReason + ")";
    return nullptr;
  }
  sd_bus* opened = nullptr;
  int r = sd_bus_new(&opened);
  if (r >= 0) r = sd_bus_set_address(opened, address->c_str());
  if (r >= 0) r = sd_bus_set_bus_client(opened, 1);
  if (r >= 0) r = sd_bus_start(opened);
  if (r < 0) {
    sd_bus_unref(opened);
    *why = std::string("no session bus (") + std::strerror(-r) + ")";
    return nullptr;
  }
  sd_bus_set_method_call_timeout(opened, kCallTimeoutUs);
  return opened;
}

bool sessionBusHasName(std::span<const char* const> names, const char* backend, std::string* why) {
  const std::unique_ptr<sd_bus, BusUnref> bus(openUserBus(why));
  if (!bus) {
    *why = std::string(backend) + ": " + *why;
    return false;
  }
  std::string listed;
  for (const char* name : names) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int owned = 0;
    int r = sd_bus_call_method(bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                               "NameHasOwner", &error, &reply, "s", name);
    if (r >= 0) r = sd_bus_message_read(reply, "b", &owned);
    if (r < 0)
      *why = std::string(backend) + ": D-Bus NameHasOwner " + name + ": " +
             (error.message != nullptr ? error.message : std::strerror(-r));
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    if (r < 0) return false;
    if (owned) return true;
    listed += listed.empty() ? name : std::string(" or ") + name;
  }
  *why = std::string(backend) + ": " + listed + " is not on the session bus";
  return false;
}

}  // namespace duskwarden::provider
