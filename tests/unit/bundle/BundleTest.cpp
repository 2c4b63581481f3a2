#include "platform/bundle/Bundle.h"

#include "duskwarden_build_info.h"

#include <gtest/gtest.h>

using duskwarden::Bundle;

namespace {

TEST(Bundle, MainHoldsTheBuildsNameAndVersion) {
  const Bundle& b = Bundle::main();
  EXPECT_EQ(&b, &Bundle::main());
  EXPECT_EQ(b.stringForKey("CFBundleName"), "Duskwarden");
  const auto version = b.stringForKey("CFBundleVersion");
  ASSERT_TRUE(version.has_value());
  EXPECT_FALSE(version->empty());
  EXPECT_EQ(*version, DW_BUNDLE_VERSION);
  EXPECT_EQ(b.stringForKey("CFBundleIdentifier"), "com.quillmoor.Duskwarden");
}

TEST(Bundle, StringForKeyAnswersOnlyForTextValues) {
  const Bundle b({{"CFBundleName", std::string("Named")},
                  {"CFBundleVersion", std::int64_t{12}},
                  {"LSUIElement", true},
                  {"Empty", std::string()}});
  EXPECT_EQ(b.stringForKey("CFBundleName"), "Named");
  EXPECT_EQ(b.stringForKey("CFBundleVersion"), std::nullopt);
  EXPECT_EQ(b.stringForKey("LSUIElement"), std::nullopt);
  EXPECT_EQ(b.stringForKey("Missing"), std::nullopt);
  EXPECT_EQ(b.stringForKey("Empty"), std::string());
  EXPECT_EQ(Bundle({}).stringForKey("CFBundleName"), std::nullopt);
}

}  // namespace
