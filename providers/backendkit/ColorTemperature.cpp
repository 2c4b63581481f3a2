#include "backendkit/ColorTemperature.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace duskwarden::provider {

namespace {

// Linear strength <-> kelvin: simple, exactly invertible, and the same scale
// GNOME's own slider uses.
constexpr double kSpan = kLeastWarmKelvin - kWarmestKelvin;

// --- The whitepoint table, computed from physics rather than copied -------
//
// Each row is the colour of an ideal blackbody radiator:
//  * spectral radiance from Planck's law, B(l, T) ~ l^-5 / (exp(hc / (l k T)) - 1),
//    with the exact SI constants (2019 redefinition);
//  * integrated against the CIE 1931 2-degree colour matching functions, in
//    the multi-lobe analytic form of Wyman, Sloan and Shirley, "Simple
//    Analytic Approximations to the CIE XYZ Color Matching Functions",
//    Journal of Computer Graphics Techniques 2(2), 2013 (Table 1), over
//    360-830 nm in 1 nm steps;
//  * converted to linear sRGB (IEC 61966-2-1 matrix), divided channel-wise by
//    the 6500 K row so that 6500 K is neutral, scaled so the largest channel
//    is 1, negatives clipped to 0, then sRGB-encoded, since gamma ramps act on
//    encoded values.
// Against the published rows of Ingo Thies' blackbody data the red and blue
// columns agree within 0.005 and green runs up to 0.026 higher (that data
// uses a different observer); see the colour-temperature tests.
constexpr double kPlanckH = 6.62607015e-34;
constexpr double kLightC = 2.99792458e8;
constexpr double kBoltzmannK = 1.380649e-23;

double lobe(double x, double mu, double sigmaBelow, double sigmaAbove) {
  const double t = (x - mu) / (x < mu ? sigmaBelow : sigmaAbove);
  return std::exp(-0.5 * t * t);
}

struct Triple {
  double a, b, c;
};

Triple linearRgbOfBlackbody(double kelvin) {
  double x = 0, y = 0, z = 0;
  for (int nm = 360; nm <= 830; ++nm) {
    const double l = nm;
    const double metres = l * 1e-9;
    const double radiance =
        1.0 / (std::pow(metres, 5) * std::expm1(kPlanckH * kLightC / (metres * kBoltzmannK * kelvin)));
    x += radiance * (1.056 * lobe(l, 599.8, 37.9, 31.0) + 0.362 * lobe(l, 442.0, 16.0, 26.7) -
                     0.065 * lobe(l, 501.1, 20.4, 26.2));
    y += radiance * (0.821 * lobe(l, 568.8, 46.9, 40.5) + 0.286 * lobe(l, 530.9, 16.3, 31.1));
    z += radiance * (1.217 * lobe(l, 437.0, 11.8, 36.0) + 0.681 * lobe(l, 459.0, 26.0, 13.8));
  }
  return {3.2406 * x - 1.5372 * y - 0.4986 * z, -0.9689 * x + 1.8758 * y + 0.0415 * z,
          0.0557 * x - 0.2040 * y + 1.0570 * z};
}

double srgbEncode(double v) { return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055; }

constexpr double kStep = 100.0;
constexpr std::size_t kRows = static_cast<std::size_t>((kMaxTableKelvin - kMinTableKelvin) / kStep) + 1;

using Table = std::array<Whitepoint, kRows>;

Table buildTable() {
  Table table{};
  const Triple neutral = linearRgbOfBlackbody(kNeutralKelvin);
  for (std::size_t i = 0; i < kRows; ++i) {
    const Triple rgb = linearRgbOfBlackbody(kMinTableKelvin + kStep * static_cast<double>(i));
    const double r = rgb.a / neutral.a, g = rgb.b / neutral.b, b = rgb.c / neutral.c;
    const double top = std::max({r, g, b});
    auto channel = [top](double v) { return srgbEncode(std::clamp(v / top, 0.0, 1.0)); };
    table[i] = {channel(r), channel(g), channel(b)};
  }
  return table;
}

const Table& table() {
  static const Table kTable = buildTable();  // built once, on first use, thread-safe
  return kTable;
}

constexpr std::size_t kNeutralRow = static_cast<std::size_t>((kNeutralKelvin - kMinTableKelvin) / kStep);

}  // namespace

std::optional<double> strengthToKelvin(double strength) {
  if (std::isnan(strength)) return std::nullopt;
  return kLeastWarmKelvin - std::clamp(strength, 0.0, 1.0) * kSpan;
}

std::optional<double> kelvinToStrength(double kelvin) {
  if (std::isnan(kelvin)) return std::nullopt;
  return std::clamp((kLeastWarmKelvin - kelvin) / kSpan, 0.0, 1.0);
}

Whitepoint whitepointForKelvin(double kelvin) {
  if (std::isnan(kelvin)) return {1.0, 1.0, 1.0};
  const double position = (std::clamp(kelvin, kMinTableKelvin, kMaxTableKelvin) - kMinTableKelvin) / kStep;
  const auto row = std::min(static_cast<std::size_t>(position), kRows - 2);
  const double t = position - static_cast<double>(row);
  const Whitepoint& lo = table()[row];
  const Whitepoint& hi = table()[row + 1];
  return {lo.red + t * (hi.red - lo.red), lo.green + t * (hi.green - lo.green), lo.blue + t * (hi.blue - lo.blue)};
}

std::optional<double> kelvinForGreen(double green) {
  if (std::isnan(green)) return std::nullopt;
  const Table& rows = table();
  if (green < rows[0].green || green > rows[kNeutralRow].green) return std::nullopt;
  for (std::size_t i = 0; i < kNeutralRow; ++i) {
    const double lo = rows[i].green, hi = rows[i + 1].green;
    if (green <= hi) {
      const double t = hi > lo ? (green - lo) / (hi - lo) : 0.0;
      return kMinTableKelvin + kStep * (static_cast<double>(i) + t);
    }
  }
  return kNeutralKelvin;
}

}  // namespace duskwarden::provider
