#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "backendkit/ColorTemperature.h"
#include "backendkit/GammaRamp.h"

namespace duskwarden::provider {
namespace {

struct Ramps {
  explicit Ramps(std::size_t size) : red(size), green(size), blue(size) {}
  std::vector<std::uint16_t> red, green, blue;
  MutableRamps out() { return {red, green, blue}; }
  RampsView in() const { return {red, green, blue}; }
};

TEST(FillRamps, IdentityAndWarmShapes) {
  Ramps r(256);
  fillRamps(std::nullopt, r.out());
  EXPECT_EQ(r.red[0], 0);
  EXPECT_EQ(r.red[255], 65535);
  EXPECT_EQ(r.green[128], 32896);  // round(65535 * 128 / 255)
  EXPECT_EQ(r.blue, r.red);

  fillRamps(2700.0, r.out());
  const Whitepoint w = whitepointForKelvin(2700.0);
  EXPECT_EQ(r.red[255], 65535);
  EXPECT_NEAR(r.green[255], 65535 * w.green, 0.5);
  EXPECT_NEAR(r.blue[255], 65535 * w.blue, 0.5);
  EXPECT_NEAR(r.green[51], 65535 * 0.2 * w.green, 0.5);
  for (std::size_t k = 1; k < 256; ++k) EXPECT_GE(r.green[k], r.green[k - 1]);
}

TEST(FillRamps, OneEntryRampIsTheWhitepointItself) {
  Ramps r(1);
  fillRamps(1900.0, r.out());
  EXPECT_EQ(r.red[0], 65535);
  EXPECT_EQ(r.blue[0], 0);
}

TEST(KelvinOfRamps, ReadsBackWhatWasWrittenAcrossTheWarmSpan) {
  for (std::size_t size : {256u, 1024u, 2048u}) {
    Ramps r(size);
    for (int i = 0; i <= 100; ++i) {
      const double strength = i / 100.0;
      fillRamps(strengthToKelvin(strength), r.out());
      const auto kelvin = kelvinOfRamps(r.in());
      ASSERT_TRUE(kelvin.has_value()) << "size " << size << " strength " << strength;
      EXPECT_NEAR(*kelvinToStrength(*kelvin), strength, 0.01) << "size " << size;
    }
  }
}

TEST(KelvinOfRamps, RefusesRampsThatAreNotOurs) {
  Ramps r(256);
  fillRamps(std::nullopt, r.out());
  EXPECT_FALSE(kelvinOfRamps(r.in()).has_value()) << "identity counts as off";

  fillRamps(3000.0, r.out());
  r.blue[100] += 40;  // someone else's curve with the same end points
  EXPECT_FALSE(kelvinOfRamps(r.in()).has_value());

  fillRamps(3000.0, r.out());
  r.red[255] = 60000;  // dimmed: not a ramp we write
  EXPECT_FALSE(kelvinOfRamps(r.in()).has_value());

  std::mt19937 noise(42);  // what an uninitialised server ramp may hold
  for (auto* channel : {&r.red, &r.green, &r.blue})
    for (auto& v : *channel) v = static_cast<std::uint16_t>(noise());
  EXPECT_FALSE(kelvinOfRamps(r.in()).has_value());

  EXPECT_FALSE(kelvinOfRamps(RampsView{}).has_value());
  Ramps shortBlue(256);
  fillRamps(3000.0, shortBlue.out());
  shortBlue.blue.resize(128);
  EXPECT_FALSE(kelvinOfRamps(shortBlue.in()).has_value());
}

}  // namespace
}  // namespace duskwarden::provider
