#pragma once
// The file that set_gamma hands over: the red, green and blue ramps, one
// after another, of n native-endian uint16 entries each. Exactly 3·n·2
// bytes, read from offset 0, and sealed, so that the compositor reads what
// we made and the size it checks cannot change under it.

#include <cstdint>
#include <optional>
#include <string>

namespace duskwarden::provider::wlroots {

// Ramp sizes above this come from no real display (8-bit to 14-bit LUTs);
// refusing them keeps a confused compositor from making us allocate gigabytes.
inline constexpr std::uint32_t kMaxGammaSize = 65536;

// A sealed memfd with the ramps of `kelvin` (identity for nullopt), or -1
// with *error set naming the call that failed. Every set_gamma needs a file
// of its own: the compositor read()s it, and a descriptor shared between two
// requests would share one file offset.
int makeGammaTable(std::optional<double> kelvin, std::uint32_t size, std::string* error);

}  // namespace duskwarden::provider::wlroots
