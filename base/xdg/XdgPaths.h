#pragma once
// The user's base directories, by the XDG Base Directory rules.
//
// Those rules say a relative path in any of the variables is invalid and must
// be ignored; every function here treats such a value as unset.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace duskwarden {

// The value of the base-directory variable `name` when it is an absolute
// path; nothing when it is unset, empty or relative.
std::optional<std::filesystem::path> absoluteXdgValue(const char* name);

// $HOME when it is set and not empty, otherwise the password database's home
// directory (the root when it has none).
std::filesystem::path userHome();

// $XDG_CONFIG_HOME when it is absolute, otherwise $HOME/.config, with the
// password database's home directory when HOME is unset.
std::filesystem::path userConfigHome();

// $XDG_STATE_HOME when it is absolute, otherwise $HOME/.local/state, with the
// password database's home directory when HOME is unset.
std::filesystem::path userStateHome();

// $XDG_RUNTIME_DIR when it is absolute; nothing otherwise.
std::optional<std::filesystem::path> userRuntimeDirectory();

// Why $XDG_RUNTIME_DIR cannot hold a socket named up to `longestName` bytes:
// unset (or relative), not a directory (a file, or missing and cannot be
// made; a missing one is made with mode 0700, one that exists is the
// session's, used as it is), or so long that such a socket path does not
// fit. Nothing when it can.
enum class RuntimeDirectoryProblem { unset, notADirectory, tooLong };
std::optional<RuntimeDirectoryProblem> runtimeDirectoryProblem(std::size_t longestName);

// The runtime directory to keep our socket and lock in, the longest of whose
// names is `longestName` bytes: $XDG_RUNTIME_DIR when it has no problem,
// otherwise the fallback below. Nothing when neither can be had.
std::optional<std::filesystem::path> usableRuntimeDirectory(std::size_t longestName);

// The stand-in the rules ask for when there is no runtime directory:
// <temporary directory>/runtime-<uid>, made with mode 0700 if missing, and
// accepted only when it is a real directory owned by this user that nobody
// else may enter. Nothing when no such directory can be had.
std::optional<std::filesystem::path> fallbackRuntimeDirectory();

// Unsets each base-directory variable (XDG_CONFIG_HOME, XDG_RUNTIME_DIR,
// XDG_DATA_DIRS, ...) that holds a relative path, and drops relative entries
// from the list variables, so no library read later (Qt, GLib) acts on one.
// Returns the names of the variables it changed. Call it at process start,
// before any other thread exists.
std::vector<std::string> dropRelativeXdgPaths();

}  // namespace duskwarden
