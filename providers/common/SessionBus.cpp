#include "common/SessionBus.h"

#include <sys/stat.h>

#include <cstdlib>

namespace duskwarden::provider {

namespace {

// What GLib would find, minus its last resort, autolaunch.
std::string sessionBusAddress(std::string* why) {
  if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address) return address;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/') {
    const std::string socket = std::string(runtime) + "/bus";
    struct stat st {};
    if (::stat(socket.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) {
      g_autofree char* escaped = g_dbus_address_escape_value(socket.c_str());
      return std::string("unix:path=") + escaped;
    }
  }
  *why = "no session bus (DBUS_SESSION_BUS_ADDRESS is unset and there is no $XDG_RUNTIME_DIR/bus)";
  return {};
}

}  // namespace

GDBusConnection* openSessionBus(std::string* why) {
  const std::string address = sessionBusAddress(why);
  if (address.empty()) return nullptr;
  GError* error = nullptr;
  GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
      address.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error);
  if (!bus) {
    *why = "D-Bus connect to the session bus " + address + ": " + error->message;
    g_error_free(error);
  }
  return bus;
}

bool cachedBool(GDBusProxy* proxy, const char* name, bool* value) {
  GVariant* v = g_dbus_proxy_get_cached_property(proxy, name);
  if (!v) return false;
  const bool ok = g_variant_is_of_type(v, G_VARIANT_TYPE_BOOLEAN);
  if (ok) *value = g_variant_get_boolean(v);
  g_variant_unref(v);
  return ok;
}

}  // namespace duskwarden::provider
