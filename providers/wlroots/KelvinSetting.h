#pragma once
// The colour temperature the user chose. A wlroots compositor keeps no
// night-light setting of its own, so the provider keeps it, in
// $XDG_STATE_HOME/duskwarden/wlroots-night-light.ini, and the warmth chosen
// yesterday is the warmth switched on today.

#include <optional>
#include <string>

namespace duskwarden::provider::wlroots {

std::string kelvinSettingPath();
// nullopt when nothing is stored, or the file is unreadable, damaged or out
// of range (a damaged file must not pick some arbitrary colour).
std::optional<double> loadKelvinSetting();
// Written atomically; false with *error set on failure.
bool saveKelvinSetting(double kelvin, std::string* error);

}  // namespace duskwarden::provider::wlroots
