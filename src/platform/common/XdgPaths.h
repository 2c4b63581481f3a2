#pragma once
// The user's base directories, by the XDG Base Directory rules.

#include <filesystem>

namespace duskwarden {

// $XDG_CONFIG_HOME when it is absolute (empty or relative values are ignored,
// as the rules say), otherwise $HOME/.config, with the password database's
// home directory when HOME is unset.
std::filesystem::path userConfigHome();

}  // namespace duskwarden
