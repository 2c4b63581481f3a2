#include "backendkit/GammaRamp.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "backendkit/ColorTemperature.h"

namespace duskwarden::provider {

namespace {

constexpr double kFull = 65535.0;
// Our own rounding is +-0.5; a little slack covers a server that stores
// ramps at lower precision without letting another program's curves pass.
constexpr int kTolerance = 2;

std::uint16_t entry(std::size_t k, std::size_t size, double multiplier) {
  const double base = size > 1 ? static_cast<double>(k) / static_cast<double>(size - 1) : 1.0;
  return static_cast<std::uint16_t>(std::clamp(std::lround(kFull * base * multiplier), 0L, 65535L));
}

}  // namespace

void fillRamps(std::optional<double> kelvin, const MutableRamps& ramps) {
  const Whitepoint w = kelvin ? whitepointForKelvin(*kelvin) : Whitepoint{1.0, 1.0, 1.0};
  const std::size_t size = std::min({ramps.red.size(), ramps.green.size(), ramps.blue.size()});
  for (std::size_t k = 0; k < size; ++k) {
    ramps.red[k] = entry(k, size, w.red);
    ramps.green[k] = entry(k, size, w.green);
    ramps.blue[k] = entry(k, size, w.blue);
  }
}

std::optional<double> kelvinOfRamps(const RampsView& ramps) {
  const std::size_t size = ramps.red.size();
  if (size == 0 || ramps.green.size() != size || ramps.blue.size() != size) return std::nullopt;
  // Below 6500 K red is the full channel and green alone fixes the temperature.
  const std::uint16_t greenTop = ramps.green[size - 1];
  if (greenTop >= 65535) return std::nullopt;  // neutral: nothing of ours applied
  const auto kelvin = kelvinForGreen(greenTop / kFull);
  if (!kelvin) return std::nullopt;
  const Whitepoint w = whitepointForKelvin(*kelvin);
  for (std::size_t k = 0; k < size; ++k) {
    if (std::abs(ramps.red[k] - entry(k, size, w.red)) > kTolerance ||
        std::abs(ramps.green[k] - entry(k, size, w.green)) > kTolerance ||
        std::abs(ramps.blue[k] - entry(k, size, w.blue)) > kTolerance)
      return std::nullopt;
  }
  return kelvin;
}

}  // namespace duskwarden::provider
