#pragma once
// The running program's own file, from /proc/self/exe: its libraries,
// translations and autostart entry are found from it.

#include <filesystem>
#include <optional>

namespace duskwarden::loader {

// The path the kernel holds for the executable, as it reads ("... (deleted)"
// once the file was replaced); nothing when /proc cannot say.
std::optional<std::filesystem::path> executablePath();

// `relative` taken from the executable's folder ("../lib/duskwarden/x.so"),
// normalised; nothing when /proc cannot say where that is.
std::optional<std::filesystem::path> besideExecutable(const std::filesystem::path& relative);

}  // namespace duskwarden::loader
