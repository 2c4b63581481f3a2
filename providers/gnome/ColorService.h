#pragma once
// What the GNOME backend needs of the settings daemon's colour plugin before
// it touches anything: its GSettings schema with every key we use.

#include <gio/gio.h>

#include <string>

#include "gnome/GnomeEntry.h"

namespace duskwarden::provider::gnome {

inline constexpr const char* kSchema = "org.gnome.settings-daemon.plugins.color";
inline constexpr const char* kBusName = kGnomeBusName;
inline constexpr const char* kObjectPath = "/org/gnome/SettingsDaemon/Color";

inline constexpr const char* kEnabledKey = "night-light-enabled";
inline constexpr const char* kTemperatureKey = "night-light-temperature";
inline constexpr const char* kAutomaticKey = "night-light-schedule-automatic";
inline constexpr const char* kFromKey = "night-light-schedule-from";
inline constexpr const char* kToKey = "night-light-schedule-to";

// Every key we read or write, with its type. Each can change whether night
// light is warm now, so changes of these keys, and of no others, are reported.
struct SchemaKey {
  const char* name;
  const char* type;
};
inline constexpr SchemaKey kKeys[] = {
    {kEnabledKey, "b"}, {kTemperatureKey, "u"}, {kAutomaticKey, "b"}, {kFromKey, "d"}, {kToKey, "d"}};
bool isOurKey(const char* key);

// Empty when the schema is installed with every key of kKeys in its type;
// otherwise why not. GLib aborts the process on a missing key, so nothing
// touches the keys before this has passed.
std::string schemaProblem();

// A boolean from an a{sv} dictionary; false when absent.
bool boolIn(GVariant* dictionary, const char* name, bool* value);
bool has(GVariant* dictionary, const char* key);

}  // namespace duskwarden::provider::gnome
