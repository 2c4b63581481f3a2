#pragma once
// The night-light simulator's state: one small text file that the simulator
// backend and the duskwarden-nightlight-sim tool both read and write.
//
// Location: $XDG_RUNTIME_DIR/duskwarden/nightlight-sim.state (the directory is
// made with mode 0700). Without XDG_RUNTIME_DIR there is no simulator.
// Format, one key per line, '#' starts a comment line:
//     enabled=true|false
//     strength=<0..1>     a plain decimal with a point, in every locale
//                         (a decimal comma, which earlier versions wrote, is read too)
// A missing file is the default state: off, strength 0.5. A file that does not
// parse (unknown or repeated key, missing key, strength out of range) is
// corrupt: reads fail until it is replaced. Reads and writes go through the
// one safe file path (base/ownfile): a FIFO, a device or a directory at the
// path is refused, never waited on, and writes replace the file atomically.
// Read-modify-write updates hold an flock on a lock file beside it, waited
// for at most 2 s, so concurrent writers do not lose each other's change.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace duskwarden::sim {

struct SimState {
  bool enabled = false;
  float strength = 0.5f;
  bool operator==(const SimState&) const = default;
};

inline constexpr const char* kStateFileName = "nightlight-sim.state";
inline constexpr const char* kLockFileName = "nightlight-sim.lock";

// $XDG_RUNTIME_DIR/duskwarden, or empty when XDG_RUNTIME_DIR is unset or relative.
std::filesystem::path stateDirectory();
// stateDirectory()/kStateFileName, or empty.
std::filesystem::path stateFilePath();

std::string formatState(const SimState& state);
std::optional<SimState> parseState(std::string_view text);

// A strength as written by people: a plain decimal within 0..1 ("0.7", ".25", "1").
std::optional<float> parseStrength(std::string_view text);

// Missing file: `*state` is the default and the read succeeds.
bool readState(const std::filesystem::path& file, SimState* state, std::string* error);
bool writeState(const std::filesystem::path& file, const SimState& state, std::string* error);

// Reads (a missing or corrupt file counts as the default), applies `change`,
// writes, all under the lock. The state written is returned in `*result`.
bool updateState(const std::filesystem::path& file, const std::function<void(SimState&)>& change,
                 std::string* error, SimState* result = nullptr);

}  // namespace duskwarden::sim
