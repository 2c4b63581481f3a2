#include "kde/NightColorValues.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "backendkit/ColorTemperature.h"

namespace duskwarden::provider::kde {

namespace {
bool equalsIgnoringCase(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return i == a.size() && b[i] == '\0';
}
}  // namespace

bool readsAsTrue(const std::optional<std::string>& raw) {
  if (!raw || raw->empty()) return false;
  for (const char* no : {"false", "no", "off", "0"})
    if (equalsIgnoringCase(*raw, no)) return false;
  return true;
}

bool isConstantMode(const std::optional<std::string>& raw) { return raw && equalsIgnoringCase(*raw, kConstantMode); }

int effectiveTemperature(const std::optional<std::string>& raw) {
  int kelvin = kDefaultNightTemperature;
  if (raw && !raw->empty()) {
    // Like Qt's toInt: an optional sign and digits, nothing else.
    const char* begin = raw->data() + (raw->front() == '+' ? 1 : 0);
    const char* end = raw->data() + raw->size();
    int parsed = 0;
    const auto [stop, error] = std::from_chars(begin, end, parsed);
    if (error == std::errc() && stop == end) kelvin = parsed;
  }
  return std::clamp(kelvin, kMinKelvin, kNeutralKelvin);
}

std::optional<int> temperatureForStrength(double strength) {
  const auto kelvin = strengthToKelvin(strength);
  if (!kelvin) return std::nullopt;
  return static_cast<int>(std::lround(*kelvin));
}

float strengthForTemperature(int kelvin) {
  return static_cast<float>(kelvinToStrength(static_cast<double>(kelvin)).value_or(0.0));
}

std::optional<int> kelvinFromVariant(GVariant* value) {
  if (value == nullptr) return std::nullopt;
  if (g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32)) {
    const guint32 kelvin = g_variant_get_uint32(value);
    if (kelvin > static_cast<guint32>(G_MAXINT32)) return std::nullopt;
    return static_cast<int>(kelvin);
  }
  if (g_variant_is_of_type(value, G_VARIANT_TYPE_INT32)) {
    const gint32 kelvin = g_variant_get_int32(value);
    if (kelvin < 0) return std::nullopt;
    return kelvin;
  }
  return std::nullopt;
}

}  // namespace duskwarden::provider::kde
