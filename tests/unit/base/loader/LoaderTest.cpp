// The one safe loader against each kind of library the program and the
// provider open, cut short as an interrupted upgrade leaves it, or in a file
// someone else could have replaced: refused with the reason, never a signal.
// (A data symbol as the entry point: tests/unit/nightshift/BindingTest.cpp.)

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "TestEnvironment.h"
#include "base/loader/Library.h"

namespace duskwarden::loader {
namespace {

using ::testing::StartsWith;

struct Kind {
  const char* name;
  const char* path;
  const char* entry;
};
const Kind kKinds[] = {
    {"provider", DW_PROVIDER_PATH, "dw_nightlight_get_ops"},
    {"backend-module", DW_BACKEND_MODULE_PATH, "dw_backend_module"},
#ifdef DW_UPDATE_LIBRARY_PATH
    {"update-library", DW_UPDATE_LIBRARY_PATH, "dw_update_create_appcast_source"},
#endif
};

std::string bytesOf(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string writeCopy(const std::filesystem::path& path, const std::string& bytes, mode_t mode = 0644) {
  std::ofstream(path, std::ios::binary) << bytes;
  ::chmod(path.c_str(), mode);
  return path.string();
}

TEST(Loader, RefusesEveryKindOfLibraryCutShortAndOpensAWholeCopy) {
  const auto dir = testing::makeTempDir("cut");
  for (const Kind& kind : kKinds) {
    const std::string bytes = bytesOf(kind.path);
    ASSERT_GT(bytes.size(), 8000u) << kind.path;
    for (const std::size_t size : {std::size_t{64}, std::size_t{4000}, bytes.size() / 2}) {
      const auto path = writeCopy(dir / (kind.name + std::to_string(size) + ".so"), bytes.substr(0, size));
      SCOPED_TRACE(path);
      std::string reason;
      EXPECT_FALSE(Library::open(path, kind.entry, &reason).isOpen());
      EXPECT_THAT(reason, StartsWith(path + ": truncated (" + std::to_string(size) + " bytes): "));
    }
    std::string reason;
    auto whole = Library::open(writeCopy(dir / (std::string(kind.name) + ".so"), bytes), kind.entry, &reason);
    EXPECT_TRUE(whole.isOpen()) << reason;
    EXPECT_NE(whole.entry<void (*)()>(), nullptr);
  }
}

TEST(Loader, RefusesWhatOthersCouldHaveWrittenAndEntriesItOnlyImports) {
  const auto dir = testing::makeTempDir("foreign");
  const std::string bytes = bytesOf(DW_PROVIDER_PATH);
  const std::string groupWritable = writeCopy(dir / "group.so", bytes, 0664);
  const std::string worldWritable = writeCopy(dir / "world.so", bytes, 0646);
  struct Case {
    std::string path;
    const char* entry;
    std::string reason;
  };
  std::vector<Case> cases = {
      {groupWritable, "dw_nightlight_get_ops", ": writable by its group or by others (mode 0664)"},
      {worldWritable, "dw_nightlight_get_ops", ": writable by its group or by others (mode 0646)"},
      {dir.string(), "dw_nightlight_get_ops", ": not a regular file"},
      // The provider calls malloc, so its symbol table names it, undefined.
      {DW_PROVIDER_PATH, "malloc", ": no entry point malloc"},
  };
  if (::geteuid() == 0) {  // only root can give a file away
    const std::string given = writeCopy(dir / "given.so", bytes);
    ASSERT_EQ(::chown(given.c_str(), 65534, 65534), 0);
    cases.push_back({given, "dw_nightlight_get_ops", ": owned by user 65534, neither root nor this process's user"});
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    std::string reason;
    EXPECT_FALSE(Library::open(c.path, c.entry, &reason).isOpen());
    EXPECT_EQ(reason, c.path + c.reason);
  }
}

}  // namespace
}  // namespace duskwarden::loader
