#pragma once
// Strength <-> colour temperature, and the blackbody whitepoint of a
// temperature. Pure functions: no X, no D-Bus, so they are tested alone.
//
// Strength 0.0 is the least warm setting and 1.0 the warmest. Both map
// linearly onto 4700 K .. 1700 K, the span of GNOME's own Night Light slider:
// a strength set here shows up at the same place in the desktop's settings,
// and even the least warm end stays visibly warmer than the neutral 6500 K,
// so "on at strength 0" can still be told apart from "off" by reading the
// screen's gamma ramps back.

#include <optional>

namespace duskwarden::provider {

inline constexpr double kLeastWarmKelvin = 4700.0;  // strength 0.0
inline constexpr double kWarmestKelvin = 1700.0;    // strength 1.0
inline constexpr double kNeutralKelvin = 6500.0;    // whitepoint (1, 1, 1)
// The span of the whitepoint table.
inline constexpr double kMinTableKelvin = 1000.0;
inline constexpr double kMaxTableKelvin = 25000.0;

// Strengths outside 0..1 are clamped; NaN has no temperature (nullopt), so a
// garbage value never turns into some arbitrary screen colour.
std::optional<double> strengthToKelvin(double strength);
// Temperatures outside 1700..4700 K are clamped to the nearest end; NaN: nullopt.
std::optional<double> kelvinToStrength(double kelvin);

// Relative RGB multipliers of a blackbody's colour at `kelvin`, normalised so
// that 6500 K is (1, 1, 1) and the largest channel is 1. The temperature is
// clamped to the table's span; NaN gives neutral white.
struct Whitepoint {
  double red;
  double green;
  double blue;
};
Whitepoint whitepointForKelvin(double kelvin);

// The temperature in [1000, 6500] K whose whitepoint has this green
// multiplier (green rises strictly with temperature there); nullopt when the
// value is outside what any such temperature gives.
std::optional<double> kelvinForGreen(double green);

}  // namespace duskwarden::provider
