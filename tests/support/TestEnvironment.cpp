#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

namespace duskwarden::testing {

namespace {

std::filesystem::path makeRoot() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "duskwarden-test-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) std::abort();
  return tmpl;
}

// Installed before main(): points HOME and the XDG directories at a private root.
struct Isolation : ::testing::Environment {
  void TearDown() override {
    std::error_code ec;
    if (!std::getenv("DW_KEEP_TEST_ROOT")) std::filesystem::remove_all(testRoot(), ec);
  }
};

const bool kInstalled = [] {
  const auto& root = testRoot();
  for (const char* sub : {"home", "config", "runtime", "data", "cache"})
    std::filesystem::create_directories(root / sub);
  std::filesystem::permissions(root / "runtime", std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::replace);
  ::setenv("HOME", (root / "home").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  ::setenv("XDG_RUNTIME_DIR", (root / "runtime").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
  ::setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
  ::unsetenv("GSETTINGS_BACKEND");
  ::testing::AddGlobalTestEnvironment(new Isolation);
  return true;
}();

}  // namespace

const std::filesystem::path& testRoot() {
  static const std::filesystem::path root = makeRoot();
  return root;
}

std::filesystem::path makeTempDir(const std::string& prefix) {
  std::string tmpl = (testRoot() / (prefix + "-XXXXXX")).string();
  if (!::mkdtemp(tmpl.data())) std::abort();
  return tmpl;
}

std::filesystem::path artifactsDir() {
  std::filesystem::path dir;
  if (const char* env = std::getenv("DW_TEST_ARTIFACTS"); env && *env) dir = env;
  else dir = testRoot() / "artifacts";
  std::filesystem::create_directories(dir);
  return dir;
}

ScopedEnv::ScopedEnv(std::string name, const std::string* value) : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) {
    had_ = true;
    old_ = old;
  }
  if (value) ::setenv(name_.c_str(), value->c_str(), 1);
  else ::unsetenv(name_.c_str());
}

ScopedEnv::~ScopedEnv() {
  if (had_) ::setenv(name_.c_str(), old_.c_str(), 1);
  else ::unsetenv(name_.c_str());
}

}  // namespace duskwarden::testing
