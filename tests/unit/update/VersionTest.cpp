#include "update/SystemVersion.h"
#include "update/Version.h"

#include <gtest/gtest.h>

#include <fstream>

#include "TestEnvironment.h"

namespace duskwarden {
namespace {

struct Ordered {
  const char* lower;
  const char* higher;
};

TEST(VersionTest, OrdersReleasesAndBuildNumbers) {
  const Ordered cases[] = {
      {"1.9", "1.10"},          // numeric, not text, order
      {"9", "10"},              // build numbers
      {"99", "100"},
      {"1.0", "1.0.1"},
      {"2.0b1", "2.0"},         // pre-release before its release
      {"2.0a2", "2.0b1"},
      {"2.0b2", "2.0b10"},
      {"2.0b1", "2.0.1"},
      {"1.2.3", "1.3"},
      {"1", "2"},
      {"123456789012345678901234567890", "123456789012345678901234567891"},  // beyond 64 bits
  };
  for (const auto& c : cases) {
    EXPECT_LT(compareVersions(c.lower, c.higher), 0) << c.lower << " < " << c.higher;
    EXPECT_GT(compareVersions(c.higher, c.lower), 0) << c.higher << " > " << c.lower;
  }
}

TEST(VersionTest, TreatsEquivalentSpellingsAsEqual) {
  EXPECT_EQ(compareVersions("1.0", "1.0.0"), 0);
  EXPECT_EQ(compareVersions("1.01", "1.1"), 0);
  EXPECT_EQ(compareVersions("2.0B1", "2.0b1"), 0);
  EXPECT_EQ(compareVersions("1-2", "1.2"), 0);
  EXPECT_EQ(compareVersions("007", "7"), 0);
}

TEST(VersionTest, PlausibleVersionsOnly) {
  for (const char* ok : {"1", "1.0", "2.0b1", "10.15.7", "3.1-rc2", "1+build.5"})
    EXPECT_TRUE(isPlausibleVersion(ok)) << ok;
  const std::string tooLong(kMaxVersionLength + 1, '1');
  for (const std::string& bad : {std::string(), std::string("v1.0"), std::string("1..2"), std::string("1.0."),
                                std::string(".1"), std::string("1.0 beta"), std::string("1;rm"), tooLong,
                                std::string("beta"), std::string("1.0\n")})
    EXPECT_FALSE(isPlausibleVersion(bad)) << '"' << bad << '"';
}

TEST(SystemVersionTest, ReadsVersionIdFromOsRelease) {
  EXPECT_EQ(parseOsReleaseVersionId("NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\nVERSION=\"12 (bookworm)\"\n"),
            "12");
  EXPECT_EQ(parseOsReleaseVersionId("VERSION_ID='22.04'\n"), "22.04");
  EXPECT_EQ(parseOsReleaseVersionId("VERSION_ID=39\r\n"), "39");
  // Rolling distributions have none; a lookalike key is not it.
  EXPECT_EQ(parseOsReleaseVersionId("NAME=Arch Linux\nBUILD_ID=rolling\n"), std::nullopt);
  EXPECT_EQ(parseOsReleaseVersionId("X_VERSION_ID=5\n"), std::nullopt);
  EXPECT_EQ(parseOsReleaseVersionId("VERSION_ID=\"\"\n"), std::nullopt);

  const auto dir = testing::makeTempDir("osrelease");
  std::ofstream(dir / "os-release") << "ID=debian\nVERSION_ID=\"11\"\n";
  EXPECT_EQ(systemVersionFromFile(dir / "os-release"), "11");
  EXPECT_EQ(systemVersionFromFile(dir / "missing"), std::nullopt);
  EXPECT_EQ(systemVersionFromFile("/dev/zero"), std::nullopt) << "an endless file is read only so far";
}

}  // namespace
}  // namespace duskwarden
