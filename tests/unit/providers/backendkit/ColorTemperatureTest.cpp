#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "backendkit/ColorTemperature.h"

namespace duskwarden::provider {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct StrengthRow {
  std::string name;
  double strength;
  std::optional<double> kelvin;
};

class StrengthToKelvin : public ::testing::TestWithParam<StrengthRow> {};

TEST_P(StrengthToKelvin, MapsOntoTheWarmSpan) {
  const StrengthRow& row = GetParam();
  const auto kelvin = strengthToKelvin(row.strength);
  ASSERT_EQ(kelvin.has_value(), row.kelvin.has_value());
  if (row.kelvin) {
    EXPECT_NEAR(*kelvin, *row.kelvin, 1e-9);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StrengthToKelvin,
    ::testing::Values(StrengthRow{"LeastWarm", 0.0, 4700.0}, StrengthRow{"Warmest", 1.0, 1700.0},
                      StrengthRow{"Middle", 0.5, 3200.0}, StrengthRow{"Quarter", 0.25, 3950.0},
                      StrengthRow{"BelowRangeClamps", -0.5, 4700.0}, StrengthRow{"AboveRangeClamps", 7.0, 1700.0},
                      StrengthRow{"InfinityClamps", kInf, 1700.0}, StrengthRow{"MinusInfinityClamps", -kInf, 4700.0},
                      StrengthRow{"NaNHasNoTemperature", kNaN, std::nullopt}),
    [](const auto& row) { return row.param.name; });

struct KelvinRow {
  std::string name;
  double kelvin;
  std::optional<double> strength;
};

class KelvinToStrength : public ::testing::TestWithParam<KelvinRow> {};

TEST_P(KelvinToStrength, MapsBackAndClamps) {
  const KelvinRow& row = GetParam();
  const auto strength = kelvinToStrength(row.kelvin);
  ASSERT_EQ(strength.has_value(), row.strength.has_value());
  if (row.strength) {
    EXPECT_NEAR(*strength, *row.strength, 1e-9);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, KelvinToStrength,
    ::testing::Values(KelvinRow{"LeastWarm", 4700.0, 0.0}, KelvinRow{"Warmest", 1700.0, 1.0},
                      KelvinRow{"Middle", 3200.0, 0.5}, KelvinRow{"GnomeDefault", 2700.0, 2.0 / 3.0},
                      KelvinRow{"NeutralClampsToLeastWarm", 6500.0, 0.0},
                      KelvinRow{"VeryWarmClampsToWarmest", 1000.0, 1.0}, KelvinRow{"NaN", kNaN, std::nullopt}),
    [](const auto& row) { return row.param.name; });

TEST(StrengthRoundTrip, ThroughWholeKelvinStaysWithinOneHundredth) {
  // The GNOME key stores whole kelvin; the read-back must still land within 0.01.
  for (int i = 0; i <= 1000; ++i) {
    const double strength = i / 1000.0;
    const double stored = std::round(*strengthToKelvin(strength));
    EXPECT_NEAR(*kelvinToStrength(stored), strength, 0.01) << "strength " << strength;
  }
}

// Published blackbody rows (Ingo Thies' data, normalised to 6500 K). The table
// here is computed from Planck's law and the CIE 1931 observer, whose green
// column runs a little higher; the tolerances say how close we are, per channel.
struct WhitepointRow {
  std::string name;
  double kelvin;
  Whitepoint expected;
};

class WhitepointReference : public ::testing::TestWithParam<WhitepointRow> {};

TEST_P(WhitepointReference, AgreesWithPublishedBlackbodyData) {
  const WhitepointRow& row = GetParam();
  const Whitepoint w = whitepointForKelvin(row.kelvin);
  EXPECT_NEAR(w.red, row.expected.red, 1e-9);
  EXPECT_NEAR(w.green, row.expected.green, 0.03);
  EXPECT_NEAR(w.blue, row.expected.blue, 0.006);
}

INSTANTIATE_TEST_SUITE_P(Rows, WhitepointReference,
                         ::testing::Values(WhitepointRow{"K4500", 4500, {1, 0.8686, 0.7369}},
                                           WhitepointRow{"K3400", 3400, {1, 0.7689, 0.5243}},
                                           WhitepointRow{"K2700", 2700, {1, 0.6765, 0.3479}},
                                           WhitepointRow{"K1900", 1900, {1, 0.5194, 0.0}}),
                         [](const auto& row) { return row.param.name; });

TEST(Whitepoint, NeutralIsExactlyWhiteAndOddInputIsSafe) {
  const Whitepoint neutral = whitepointForKelvin(6500);
  EXPECT_DOUBLE_EQ(neutral.red, 1.0);
  EXPECT_DOUBLE_EQ(neutral.green, 1.0);
  EXPECT_DOUBLE_EQ(neutral.blue, 1.0);

  const Whitepoint nan = whitepointForKelvin(kNaN);
  EXPECT_DOUBLE_EQ(nan.green, 1.0);
  EXPECT_DOUBLE_EQ(nan.blue, 1.0);

  // Outside the table the nearest end is used, never memory past it.
  const Whitepoint cold = whitepointForKelvin(100000);
  const Whitepoint coldEnd = whitepointForKelvin(kMaxTableKelvin);
  EXPECT_DOUBLE_EQ(cold.red, coldEnd.red);
  EXPECT_DOUBLE_EQ(cold.blue, coldEnd.blue);
  const Whitepoint hot = whitepointForKelvin(-5);
  const Whitepoint hotEnd = whitepointForKelvin(kMinTableKelvin);
  EXPECT_DOUBLE_EQ(hot.green, hotEnd.green);
  // Above 6500 K blue leads and red falls.
  const Whitepoint daylight = whitepointForKelvin(10000);
  EXPECT_DOUBLE_EQ(daylight.blue, 1.0);
  EXPECT_LT(daylight.red, 0.9);
}

TEST(Whitepoint, WarmerMeansLessGreenAndBlueAcrossTheWarmRange) {
  Whitepoint previous = whitepointForKelvin(1000);
  for (double k = 1050; k <= 6500; k += 50) {
    const Whitepoint w = whitepointForKelvin(k);
    EXPECT_DOUBLE_EQ(w.red, 1.0) << k;
    EXPECT_GT(w.green, previous.green) << k;
    EXPECT_GE(w.blue, previous.blue) << k;
    previous = w;
  }
}

TEST(KelvinForGreen, InvertsTheTableAndRejectsImpossibleValues) {
  for (double k = 1000; k <= 6500; k += 37) {
    const auto back = kelvinForGreen(whitepointForKelvin(k).green);
    ASSERT_TRUE(back.has_value()) << k;
    EXPECT_NEAR(*back, k, 0.01);
  }
  EXPECT_FALSE(kelvinForGreen(1.2).has_value());
  EXPECT_FALSE(kelvinForGreen(-0.1).has_value());
  EXPECT_FALSE(kelvinForGreen(0.0).has_value());  // less green than 1000 K: not a row of ours
  EXPECT_FALSE(kelvinForGreen(kNaN).has_value());
}

}  // namespace
}  // namespace duskwarden::provider
