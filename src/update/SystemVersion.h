#pragma once
// The running system's version, for an appcast item's minimum system version.
//
// On Linux that is the distribution's VERSION_ID from os-release (for example
// "12" on Debian 12, "22.04" on Ubuntu 22.04). Rolling distributions have no
// VERSION_ID; their version is unknown, and then no item is held back for it.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace duskwarden {

// VERSION_ID from the text of an os-release file, with shell-style quotes removed.
std::optional<std::string> parseOsReleaseVersionId(std::string_view text);

// VERSION_ID of the first readable file: /etc/os-release, then /usr/lib/os-release.
std::optional<std::string> runningSystemVersion();
std::optional<std::string> systemVersionFromFile(const std::filesystem::path& path);

}  // namespace duskwarden
