#pragma once
// Per-process test isolation and small helpers shared by the tests.

#include <filesystem>
#include <string>

namespace duskwarden::testing {

// The temporary root made for this test process (HOME, XDG_* live below it).
const std::filesystem::path& testRoot();

// A fresh empty directory below testRoot().
std::filesystem::path makeTempDir(const std::string& prefix = "dir");

// Where tests save screenshots and other artefacts for people to look at
// ($DW_TEST_ARTIFACTS, or testRoot()/artifacts).
std::filesystem::path artifactsDir();

// RAII: sets an environment variable for a scope, restoring the old value.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::string* value);  // value nullptr: unset
  ScopedEnv(std::string name, const std::string& value) : ScopedEnv(std::move(name), &value) {}
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool had_ = false;
  std::string old_;
};

}  // namespace duskwarden::testing
