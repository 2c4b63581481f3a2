// The typical event for real: the simulator provider through the real loader,
// real queues and real time. Night Shift is turned off from outside with the
// simulator's tool and Keep Always On turns it back on.

#include "TestEnvironment.h"
#include "Wait.h"
#include "nightshift/NightShiftManager.h"
#include "platform/dispatch/SerialQueue.h"
#include "sim/SimState.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <future>
#include <mutex>
#include <string>
#include <sys/wait.h>

namespace duskwarden::testing {
namespace {

class AlwaysRegistered final : public LoginItem {
 public:
  bool isEnabled() override { return enabled_; }
  void setEnabled(bool value) override { enabled_ = value; }

 private:
  bool enabled_ = false;
};

int runTool(const std::string& args) {
  const std::string command = std::string(DW_SIM_TOOL_PATH) + " " + args;
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Published values of isNightShiftEnabled, seen on the main queue's thread.
struct EnabledHistory {
  std::mutex mutex;
  std::vector<bool> values;

  void add(bool v) {
    std::lock_guard lock(mutex);
    values.push_back(v);
  }
  // Waits until the history holds `tail` (after at least `from` entries).
  [[nodiscard]] ::testing::AssertionResult waitForTail(std::size_t from, const std::vector<bool>& tail) {
    std::string run = "published values to run";
    for (bool v : tail) run += v ? " on" : " off";
    return waitUntil(run, [&] {
      std::lock_guard lock(mutex);
      if (values.size() < from + tail.size()) return false;
      // Look for `tail` as a run anywhere after `from`.
      for (std::size_t i = from; i + tail.size() <= values.size(); ++i)
        if (std::equal(tail.begin(), tail.end(), values.begin() + static_cast<std::ptrdiff_t>(i))) return true;
      return false;
    });
  }
  std::size_t size() {
    std::lock_guard lock(mutex);
    return values.size();
  }
};

TEST(KeepAlwaysOnWithTheSimulator, TurnedOffFromOutsideComesBackOn) {
  ASSERT_EQ(runTool("on"), 0);
  auto sink = std::make_shared<MemoryLogSink>();
  setLogSinks({sink});

  auto mainQ = std::make_shared<SerialQueue>("main");
  BlueLightFramework framework(DW_PROVIDER_MODULE_PATH);
  UserDefaults defaults(makeTempDir("defaults") / "defaults.conf");
  defaults.setBool(true, Setting::autoEnable);
  AlwaysRegistered loginItem;
  EnabledHistory history;
  std::shared_ptr<NightShiftManager> manager;
  AnyCancellable subscription;

  // Published properties are written on the main queue only, so build and
  // subscribe there too.
  std::promise<void> built;
  mainQ->async([&] {
    manager = NightShiftManager::create({.mainQueue = mainQ,
                                         .clientQueue = std::make_shared<SerialQueue>(kClientQueueLabel),
                                         .framework = &framework, .defaults = &defaults, .loginItem = &loginItem});
    subscription = manager->isNightShiftEnabled.sink([&](const bool& v) { history.add(v); });
    built.set_value();
  });
  built.get_future().wait();
  ASSERT_TRUE(history.waitForTail(0, {false, true})) << "the first read never showed Night Shift on";

  // The launch's own enable command opened a 1.0 s window in which a change
  // to off is taken as its own doing; the user's change comes after it.
  ASSERT_TRUE(waitUntil("the launch command's window to close",
                        [&] { return !manager->isInternalUpdateForTesting(); }));

  const std::size_t before = history.size();
  ASSERT_EQ(runTool("off"), 0);
  ASSERT_TRUE(history.waitForTail(before, {false, true})) << "Night Shift was not turned back on";

  sim::SimState state;
  ASSERT_TRUE(sim::readState(sim::stateFilePath(), &state, nullptr));
  EXPECT_TRUE(state.enabled);
  const auto lines = sink->messages("NightShiftManager");
  using ::testing::Contains;
  EXPECT_THAT(lines, Contains("CBBlueLightClient initialized successfully"));
  EXPECT_THAT(lines, Contains("Night Shift status change detected"));
  EXPECT_THAT(lines, Contains("Night Shift was disabled but auto-enable is active. Re-enabling in 0.5 seconds..."));
  EXPECT_THAT(lines, Contains("Status update - enabled: false, strength: 0.500000"));

  // Tear down on the main queue, where the manager lives.
  std::promise<void> done;
  mainQ->async([&] {
    subscription.cancel();
    manager.reset();
    done.set_value();
  });
  done.get_future().wait();
  mainQ.reset();
  setLogSinks({});
}

}  // namespace
}  // namespace duskwarden::testing
