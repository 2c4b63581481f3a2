#include "platform/bundle/BuildInfo.h"

#include "duskwarden_build_info.h"

#include <gtest/gtest.h>

using duskwarden::BuildInfo;

namespace {

TEST(BuildInfo, GeneratedHoldsTheBuildsNameAndVersions) {
  const BuildInfo info = BuildInfo::generated();
  EXPECT_EQ(info.name, "Duskwarden");
  EXPECT_FALSE(info.version.empty());
  EXPECT_EQ(info.version, DW_BUNDLE_VERSION);
  EXPECT_EQ(info.shortVersion, DW_SHORT_VERSION);
  EXPECT_EQ(info.feedUrl, DW_FEED_URL);
  EXPECT_STREQ(duskwarden::kBundleIdentifier, "com.quillmoor.Duskwarden");
}

}  // namespace
