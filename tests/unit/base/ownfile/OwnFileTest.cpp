// Reading our own small files: the buffer follows the file, not the cap.
#include "base/ownfile/OwnFile.h"

#include <gtest/gtest.h>

#include <fstream>

#include "TestEnvironment.h"

namespace duskwarden {
namespace {

constexpr std::size_t kCap = 1024 * 1024;

TEST(OwnFileRead, ASmallFileCostsASmallBufferAndAFileLongerThanItsSizeIsReadWhole) {
  const auto path = testing::makeTempDir("ownfile") / "defaults.conf";
  std::ofstream(path) << "[Defaults]\nautoEnable=true\n";
  const auto small = ownfile::read(path, kCap);
  ASSERT_EQ(small.outcome, ownfile::Read::Outcome::read) << small.problem;
  EXPECT_EQ(small.text, "[Defaults]\nautoEnable=true\n");
  EXPECT_LT(small.text.capacity(), 4096u) << "no buffer of the whole cap";

  // /proc files are regular files that say they are empty.
  const auto status = ownfile::read("/proc/self/status", kCap);
  ASSERT_EQ(status.outcome, ownfile::Read::Outcome::read) << status.problem;
  EXPECT_NE(status.text.find("VmRSS:"), std::string::npos);
  EXPECT_EQ(ownfile::read("/proc/self/status", 64).outcome, ownfile::Read::Outcome::tooLarge)
      << "the bytes that arrive count against the cap, not the size it claimed";
}

}  // namespace
}  // namespace duskwarden
