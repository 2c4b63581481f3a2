// Where the socket and the lock live: a runtime directory that is missing is
// made private, and a fallback that another user owns or may enter is refused.
#include "base/xdg/XdgPaths.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>
#include <fstream>
#include <optional>
#include <pwd.h>
#include <unistd.h>

namespace duskwarden {
namespace {
namespace fs = std::filesystem;
using testing::ScopedEnv;

constexpr std::size_t kName = 31;  // com.quillmoor.Duskwarden.socket

fs::perms permissionsOf(const fs::path& path) { return fs::status(path).permissions() & fs::perms::all; }

TEST(RuntimeDirectory, AMissingOneIsMadePrivateAndAnOpenOrForeignFallbackIsRefused) {
  const fs::path root = testing::makeTempDir("runtime");
  std::optional<ScopedEnv> runtime(std::in_place, "XDG_RUNTIME_DIR", (root / "missing" / "run").string());
  EXPECT_EQ(usableRuntimeDirectory(kName), root / "missing" / "run");
  EXPECT_EQ(permissionsOf(root / "missing"), fs::perms::owner_all);
  EXPECT_EQ(permissionsOf(root / "missing" / "run"), fs::perms::owner_all);
  runtime.emplace("XDG_RUNTIME_DIR", nullptr);
  ScopedEnv tmp("TMPDIR", root.string());
  const fs::path fallback = root / ("runtime-" + std::to_string(::getuid()));
  EXPECT_EQ(usableRuntimeDirectory(kName), fallback);
  EXPECT_EQ(permissionsOf(fallback), fs::perms::owner_all);
  fs::permissions(fallback, fs::perms::group_read | fs::perms::group_exec, fs::perm_options::add);
  EXPECT_EQ(usableRuntimeDirectory(kName), std::nullopt) << "a fallback others may enter";
  fs::permissions(fallback, fs::perms::owner_all, fs::perm_options::replace);
  if (::chown(fallback.c_str(), 65534, 65534) == 0) {  // only root can give it away
    EXPECT_EQ(usableRuntimeDirectory(kName), std::nullopt) << "a fallback of another user's";
  }
}

TEST(RuntimeDirectory, OneThatCannotHoldTheSocketGivesWayToTheFallback) {
  const fs::path root = testing::makeTempDir("runtime");
  std::ofstream(root / "file") << "not a directory";
  ScopedEnv tmp("TMPDIR", root.string());
  const fs::path fallback = root / ("runtime-" + std::to_string(::getuid()));
  const struct {
    fs::path runtime;
    std::optional<RuntimeDirectoryProblem> problem;
  } rows[] = {
      {root / "file", RuntimeDirectoryProblem::notADirectory},
      {root / "file" / "below", RuntimeDirectoryProblem::notADirectory},
      {root / std::string(107 - kName - 2 - root.string().size(), 'r'), std::nullopt},  // the longest that fits
      {root / std::string(107 - kName - 1 - root.string().size(), 'r'), RuntimeDirectoryProblem::tooLong},
  };
  for (const auto& row : rows) {
    ScopedEnv runtime("XDG_RUNTIME_DIR", row.runtime.string());
    EXPECT_EQ(runtimeDirectoryProblem(kName), row.problem) << row.runtime;
    EXPECT_EQ(usableRuntimeDirectory(kName), row.problem ? fallback : row.runtime) << row.runtime;
  }
}

TEST(BaseDirectories, StateHomeIsAnAbsoluteXdgStateHomeElseUnderHome) {
  const fs::path passwdHome = ::getpwuid(::getuid())->pw_dir;
  const struct {
    std::optional<std::string> state, home;
    fs::path expected;
  } rows[] = {{"/x/state", "/h", "/x/state"}, {"x/state", "/h", "/h/.local/state"},  // only an absolute one counts
              {{}, "/h", "/h/.local/state"}, {{}, {}, passwdHome / ".local/state"}};
  for (const auto& row : rows) {
    ScopedEnv stateVariable("XDG_STATE_HOME", row.state ? &*row.state : nullptr);
    ScopedEnv homeVariable("HOME", row.home ? &*row.home : nullptr);
    EXPECT_EQ(userStateHome(), row.expected) << row.state.value_or("unset");
  }
}

}  // namespace
}  // namespace duskwarden
