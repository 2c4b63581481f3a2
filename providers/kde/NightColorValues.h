#pragma once
// KWin's Night Color settings and properties as values: the kwinrc keys we
// edit, how KWin reads them, and our strength <-> NightTemperature mapping.
// Pure except for the one GVariant helper, so the unit tests check them alone.

#include <glib.h>

#include <optional>
#include <string>

namespace duskwarden::provider::kde {

// kwinrc: group [NightColor] (still its name in Plasma 6), our three keys.
inline constexpr const char* kGroup = "NightColor";
inline constexpr const char* kActiveKey = "Active";
inline constexpr const char* kModeKey = "Mode";
inline constexpr const char* kTemperatureKey = "NightTemperature";
// Written by name: newer Plasma has other choices, and KConfig matches the
// names case-insensitively but a number by position.
inline constexpr const char* kConstantMode = "Constant";

inline constexpr int kDefaultNightTemperature = 4500;  // KWin's default when the key is unset
inline constexpr int kMinKelvin = 1000;                // KWin clamps to this span
inline constexpr int kNeutralKelvin = 6500;

// As KConfig reads a bool: unset or empty is false; "false", "no", "off"
// and "0" (any case) are false; anything else is true.
bool readsAsTrue(const std::optional<std::string>& raw);
bool isConstantMode(const std::optional<std::string>& raw);
// The temperature KWin applies for this raw NightTemperature: the default
// when unset or not a whole number, then clamped to 1000..6500 K.
int effectiveTemperature(const std::optional<std::string>& raw);

// The shared mapping (backendkit/ColorTemperature.h), in whole kelvin as the key
// stores it; nullopt for NaN.
std::optional<int> temperatureForStrength(double strength);
float strengthForTemperature(int kelvin);

// A temperature property: KWin sends int32 in PropertiesChanged but uint32
// from Get/GetAll. nullopt for any other type or a negative value.
std::optional<int> kelvinFromVariant(GVariant* value);

}  // namespace duskwarden::provider::kde
