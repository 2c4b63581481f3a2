// GNOME's Night Light: gnome-settings-daemon's colour plugin, under GNOME's names.

#include "gnome/GnomeEntry.h"
#include "gnome/SettingsDaemonBackend.h"

namespace duskwarden::provider {
const BackendKind kGnomeBackend{&kGnomeEntry, [] { return gnome::SettingsDaemonBackend::isUsable(gnome::kGnomeDesktop); },
                                []() -> std::unique_ptr<Backend> {
                                  return gnome::SettingsDaemonBackend::create(gnome::kGnomeDesktop);
                                }};
}  // namespace duskwarden::provider
