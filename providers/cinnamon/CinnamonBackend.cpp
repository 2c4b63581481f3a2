// Cinnamon's night light: csd-color, a relative of GNOME's gsd-color with the
// same keys and D-Bus object under Cinnamon's names, and a schedule mode
// ("auto" or "manual") where GNOME has a boolean.

#include "cinnamon/CinnamonEntry.h"
#include "gnome/SettingsDaemonBackend.h"

namespace duskwarden::provider {

namespace {
constexpr gnome::ColorDesktop kCinnamonDesktop{
    "Cinnamon", "csd-color", "org.cinnamon.settings-daemon.plugins.color", kCinnamonBusName,
    "/org/cinnamon/SettingsDaemon/Color", "night-light-schedule-mode", true, "cinnamon-night-light.ini"};
}  // namespace

const BackendKind kCinnamonBackend{&kCinnamonEntry,
                                   [] { return gnome::SettingsDaemonBackend::isUsable(kCinnamonDesktop); },
                                   []() -> std::unique_ptr<Backend> {
                                     return gnome::SettingsDaemonBackend::create(kCinnamonDesktop);
                                   }};

}  // namespace duskwarden::provider
