#include "loginitem/LaunchAtLogin.h"
#include "platform/log/Logger.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace duskwarden {
namespace {

// Records every call into a shared event list and behaves like a login item
// database: a successful register enables, a successful unregister clears.
class RecordingAppService final : public AppService {
 public:
  explicit RecordingAppService(std::vector<std::string>& events) : events_(events) {}

  AppServiceStatus status() override {
    events_.push_back("status");
    return current;
  }
  std::optional<AppServiceError> registerService() override {
    events_.push_back("register");
    if (registerError) return registerError;
    current = AppServiceStatus::enabled;
    return std::nullopt;
  }
  std::optional<AppServiceError> unregisterService() override {
    events_.push_back("unregister");
    if (unregisterError) return unregisterError;
    current = AppServiceStatus::notRegistered;
    return std::nullopt;
  }

  AppServiceStatus current = AppServiceStatus::notRegistered;
  std::optional<AppServiceError> registerError;
  std::optional<AppServiceError> unregisterError;

 private:
  std::vector<std::string>& events_;
};

class LaunchAtLoginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setLogSinks({sink});
  }
  void TearDown() override {
    setLogSinks({});
  }

  std::vector<LogEntry> moduleEntries() const {
    std::vector<LogEntry> out;
    for (const auto& e : sink->entries()) {
      if (e.subsystem == "com.velloran.LaunchAtLogin") out.push_back(e);
    }
    return out;
  }

  std::vector<std::string> events;
  RecordingAppService service{events};
  LaunchAtLogin login{service};
  std::shared_ptr<MemoryLogSink> sink = std::make_shared<MemoryLogSink>();
};

using Events = std::vector<std::string>;


TEST_F(LaunchAtLoginTest, OnlyTheEnabledStatusReadsTrue) {
  const std::pair<AppServiceStatus, bool> cases[] = {
      {AppServiceStatus::notRegistered, false},
      {AppServiceStatus::enabled, true},
      {AppServiceStatus::requiresApproval, false},
      {AppServiceStatus::notFound, false},
  };
  for (const auto& [status, expected] : cases) {
    service.current = status;
    EXPECT_EQ(login.isEnabled(), expected) << static_cast<int>(status);
  }
  EXPECT_TRUE(moduleEntries().empty());
}

// Every write reaches the service, whether it succeeds, fails, or writes the
// value already in force.
TEST_F(LaunchAtLoginTest, EveryWriteContactsTheService) {
  const AppServiceStatus statuses[] = {AppServiceStatus::notRegistered, AppServiceStatus::enabled,
                                       AppServiceStatus::requiresApproval, AppServiceStatus::notFound};
  for (bool value : {true, false}) {
    for (AppServiceStatus status : statuses) {
      for (bool failing : {false, true}) {
        events.clear();
        service.current = status;
        service.registerError = failing ? std::optional<AppServiceError>(AppServiceError{"nope"}) : std::nullopt;
        service.unregisterError = service.registerError;
        login.setEnabled(value);
        SCOPED_TRACE(::testing::Message() << "value " << value << " status " << static_cast<int>(status)
                                          << " failing " << failing);
        EXPECT_FALSE(events.empty()) << "the service was never contacted";
      }
    }
  }
}

// The entry is kept in place (the service updates it), never removed first.
TEST_F(LaunchAtLoginTest, EnablingWhenEnabledOnlyRegisters) {
  service.current = AppServiceStatus::enabled;
  login.setEnabled(true);
  EXPECT_EQ(events, (Events{"register"}));
  EXPECT_TRUE(login.isEnabled());
  EXPECT_TRUE(moduleEntries().empty());
}

TEST_F(LaunchAtLoginTest, FailedReRegistrationLogsEnableAndLeavesTheEntryOn) {
  service.current = AppServiceStatus::enabled;
  service.registerError = AppServiceError{"the disk is full"};
  login.setEnabled(true);
  EXPECT_EQ(events, (Events{"register"}));
  EXPECT_TRUE(login.isEnabled());

  const auto entries = moduleEntries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].level, LogLevel::error);
  EXPECT_EQ(entries[0].category, "main");
  EXPECT_EQ(entries[0].format, "Failed to %s launch at login: %s");
  EXPECT_EQ(entries[0].message, "Failed to enable launch at login: the disk is full");
  EXPECT_EQ(entries[0].privacy, (std::vector<std::string>{"", ""}));
}

TEST_F(LaunchAtLoginTest, EnablingNeverUnregisters) {
  service.current = AppServiceStatus::enabled;
  service.unregisterError = AppServiceError{"busy"};
  login.setEnabled(true);
  EXPECT_EQ(events, (Events{"register"}));
  EXPECT_TRUE(moduleEntries().empty());
  EXPECT_TRUE(login.isEnabled());
}

TEST_F(LaunchAtLoginTest, EnablingWhenNotEnabledOnlyRegisters) {
  for (AppServiceStatus status : {AppServiceStatus::notRegistered, AppServiceStatus::requiresApproval,
                                  AppServiceStatus::notFound}) {
    events.clear();
    service.current = status;
    login.setEnabled(true);
    EXPECT_EQ(events, (Events{"register"})) << static_cast<int>(status);
  }
}

TEST_F(LaunchAtLoginTest, DisablingAlwaysUnregistersWithoutAskingTheStatus) {
  login.setEnabled(false);
  EXPECT_EQ(events, (Events{"unregister"}));
  EXPECT_TRUE(moduleEntries().empty());

  events.clear();
  service.unregisterError = AppServiceError{"not allowed"};
  login.setEnabled(false);
  EXPECT_EQ(events, (Events{"unregister"}));
  const auto entries = moduleEntries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].level, LogLevel::error);
  EXPECT_EQ(entries[0].message, "Failed to disable launch at login: not allowed");
}

}  // namespace
}  // namespace duskwarden
