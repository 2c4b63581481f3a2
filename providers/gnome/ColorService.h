#pragma once
// The settings daemon's colour plugin, as each desktop that ships one names
// it: GNOME's gsd-color and its relative, Cinnamon's csd-color, share their
// keys, their D-Bus object and how they behave, but not their names, nor how
// the schedule says "sunset to sunrise". One ColorDesktop describes one of
// them; everything else here is checked against it before anything is touched.

#include <gio/gio.h>

#include <array>
#include <string>

#include "gnome/GnomeEntry.h"

namespace duskwarden::provider::gnome {

inline constexpr const char* kEnabledKey = "night-light-enabled";
inline constexpr const char* kTemperatureKey = "night-light-temperature";
inline constexpr const char* kFromKey = "night-light-schedule-from";
inline constexpr const char* kToKey = "night-light-schedule-to";

struct ColorDesktop {
  const char* label;   // how its log lines start: "GNOME"
  const char* daemon;  // the program that owns busName, named when it is absent
  const char* schema;
  const char* busName;
  const char* objectPath;
  // GNOME: a boolean, true for sunset to sunrise. Cinnamon: an enum whose
  // values are "auto" (sunset to sunrise) and "manual" (from and to).
  const char* automaticKey;
  bool automaticIsMode;
  const char* savedScheduleFile;  // in our state directory
};

inline constexpr ColorDesktop kGnomeDesktop{
    "GNOME", "gsd-color", "org.gnome.settings-daemon.plugins.color", kGnomeBusName, "/org/gnome/SettingsDaemon/Color",
    "night-light-schedule-automatic", false, "gnome-night-light.ini"};

// Every key we read or write, with its type. Each can change whether night
// light is warm now, so changes of these keys, and of no others, are reported.
struct SchemaKey {
  const char* name;
  const char* type;
};
std::array<SchemaKey, 5> keysOf(const ColorDesktop& desktop);
bool isOurKey(const ColorDesktop& desktop, const char* key);

// Empty when the schema is installed with every key of keysOf() in its type;
// otherwise why not. GLib aborts the process on a missing key, so nothing
// touches the keys before this has passed.
std::string schemaProblem(const ColorDesktop& desktop);

}  // namespace duskwarden::provider::gnome
