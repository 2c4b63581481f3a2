#pragma once
// Gamma ramps for a colour temperature, and the way back: which temperature
// (if any) a set of ramps was made for. Pure; the X11 backend only moves
// these arrays to and from the server.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace duskwarden::provider {

struct RampsView {
  std::span<const std::uint16_t> red, green, blue;
};
struct MutableRamps {
  std::span<std::uint16_t> red, green, blue;
};

// Linear ramps (gamma 1, full brightness) scaled by the whitepoint of
// `kelvin`; nullopt gives the identity ramps. All three spans must have the
// same size.
void fillRamps(std::optional<double> kelvin, const MutableRamps& ramps);

// The temperature in [1000, 6500) K that fillRamps would have used to make
// exactly these ramps (each entry within +-2 of what it would write), or
// nullopt: identity ramps, another program's ramps, uninitialised memory.
std::optional<double> kelvinOfRamps(const RampsView& ramps);

}  // namespace duskwarden::provider
