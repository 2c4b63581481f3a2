#include "platform/bundle/BuildInfo.h"

#include "duskwarden_build_info.h"

#include <gtest/gtest.h>

TEST(BuildInfo, GeneratedHoldsTheBuildsNameAndVersions) {
  const auto info = duskwarden::BuildInfo::generated();
  EXPECT_FALSE(info.version.empty());
  EXPECT_EQ(info.name + info.version + info.shortVersion, std::string("Duskwarden") + DW_BUNDLE_VERSION DW_SHORT_VERSION);
}
