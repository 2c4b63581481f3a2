// The wlroots backend against a compositor of the tests' own (GammaCompositor),
// which keeps what each output would show: ramp contents, refusals, another
// client taking an output, hotplug, and the compositor going away and
// coming back. Real threads and sockets, waits bounded, no sleeps.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <wayland-client.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <future>
#include <mutex>

#include "GammaCompositor.h"
#include "TestEnvironment.h"
#include "Wait.h"
#include "backendkit/Log.h"
#include "nightshift/NightShiftManager.h"
#include "platform/dispatch/SerialQueue.h"
#include "wlr-gamma-control-unstable-v1-client-protocol.h"
#include "wlroots/WlrootsBackend.h"

namespace duskwarden::testing {
namespace {

using provider::wlroots::WlrootsBackend;

// Every state the backend reported, as its status callback read it.
struct StatusHistory {
  std::mutex mutex;
  std::vector<bool> states;

  void add(bool on) {
    std::lock_guard lock(mutex);
    states.push_back(on);
  }
  [[nodiscard]] ::testing::AssertionResult waitForLast(bool on) {
    return waitUntil(on ? "a last status of on" : "a last status of off", [&] {
      std::lock_guard lock(mutex);
      return !states.empty() && states.back() == on;
    });
  }
  std::vector<bool> all() {
    std::lock_guard lock(mutex);
    return states;
  }
};

// The provider's log lines.
struct ProviderLog {
  std::mutex mutex;
  std::vector<std::string> lines;
  ProviderLog() {
    provider::setLogFunction(
        [](void* self, int, const char* line) {
          auto* log = static_cast<ProviderLog*>(self);
          std::lock_guard lock(log->mutex);
          log->lines.emplace_back(line);
        },
        this);
  }
  ~ProviderLog() { provider::setLogFunction(nullptr, nullptr); }
  int count(const std::string& text) {
    std::lock_guard lock(mutex);
    return static_cast<int>(
        std::count_if(lines.begin(), lines.end(), [&](const auto& l) { return l.find(text) != std::string::npos; }));
  }
};

class WlrootsBackendTest : public ::testing::Test {
 protected:
  void SetUp() override { compositor = std::make_unique<GammaCompositor>(socket); }

  std::unique_ptr<WlrootsBackend> start() {
    auto backend = WlrootsBackend::create();
    if (backend) {
      backend->setStatusCallback([this, raw = backend.get()] {
        bool on = false;
        raw->readEnabled(&on);
        history.add(on);
      });
    }
    return backend;
  }

  static bool warm(const GammaCompositor::Seen& seen) { return !seen.ramps.empty(); }

  inline static std::atomic<int> sockets{0};
  const std::string socket = "dw-gamma-" + std::to_string(++sockets);
  ScopedEnv display{"WAYLAND_DISPLAY", socket};
  std::unique_ptr<GammaCompositor> compositor;
  StatusHistory history;
};

// Strength s is 4700 K - s * 3000 K. Published blackbody whitepoints (1, g, b)
// at those temperatures; the shared whitepoint math, computed from Planck's
// law, agrees within 0.03 in green and 0.006 in blue (tests/unit/providers/backendkit).
struct Row {
  double kelvin, green, blue;
};
constexpr Row kRows[] = {{4500, 0.8686, 0.7369}, {3400, 0.7689, 0.5243}, {2700, 0.6765, 0.3479}, {1900, 0.5194, 0.0}};
constexpr double kGreenTolerance = 0.03, kBlueTolerance = 0.006;

bool bluePeakOf(const Row& row, const std::vector<std::uint16_t>& ramps) {
  return !ramps.empty() && std::abs(ramps.back() - 65535.0 * row.blue) <= 65535.0 * kBlueTolerance + 1;
}

void expectRampsOf(const Row& row, const std::vector<std::uint16_t>& ramps, std::size_t n) {
  ASSERT_EQ(ramps.size(), 3 * n);
  for (std::size_t k : {n / 3, n - 1}) {
    const double linear = 65535.0 * static_cast<double>(k) / static_cast<double>(n - 1);
    EXPECT_NEAR(ramps[k], linear, 1.0) << row.kelvin << " K red[" << k << "]";
    EXPECT_NEAR(ramps[n + k], linear * row.green, linear * kGreenTolerance + 1)
        << row.kelvin << " K green[" << k << "]";
    EXPECT_NEAR(ramps[2 * n + k], linear * row.blue, linear * kBlueTolerance + 1)
        << row.kelvin << " K blue[" << k << "]";
  }
}

TEST_F(WlrootsBackendTest, OnStrengthAndOffReachEveryOutputThatHasGamma) {
  const int small = compositor->addOutput("DP-1", 256);
  const int large = compositor->addOutput("HDMI-A-1", 1024);
  const int none = compositor->addOutput("VIRTUAL-1", 0);
  auto backend = start();
  ASSERT_TRUE(backend);

  bool first = true;
  for (const Row& row : kRows) {
    const float strength = static_cast<float>((4700.0 - row.kelvin) / 3000.0);
    backend->setStrength(strength, true);
    if (first) backend->setEnabled(true);  // later rows change the warmth while on
    first = false;
    const auto showsRow = [&](const GammaCompositor::Seen& seen) { return bluePeakOf(row, seen.ramps); };
    ASSERT_TRUE(compositor->waitFor(small, showsRow) && compositor->waitFor(large, showsRow)) << row.kelvin << " K";
    expectRampsOf(row, compositor->seen(small).ramps, 256);
    expectRampsOf(row, compositor->seen(large).ramps, 1024);
    ASSERT_TRUE(history.waitForLast(true)) << "an output without gamma must not keep it off";
    float read = -1;
    ASSERT_TRUE(backend->readStrength(&read));
    EXPECT_NEAR(read, strength, 1e-5);
  }
  EXPECT_GE(compositor->seen(none).controlRequests, 1);
  EXPECT_THAT(compositor->seen(small).faults, ::testing::IsEmpty()) << "each table: sealed, exactly 3*n*2 bytes";
  EXPECT_THAT(compositor->seen(large).faults, ::testing::IsEmpty());

  backend->setEnabled(false);
  EXPECT_TRUE(compositor->waitFor(small, [](const auto& s) { return !warm(s); }));
  EXPECT_TRUE(compositor->waitFor(large, [](const auto& s) { return !warm(s); }));
  EXPECT_TRUE(history.waitForLast(false));

  // The warmth chosen is kept for the next start.
  backend.reset();
  auto again = WlrootsBackend::create();
  float read = -1;
  ASSERT_TRUE(again && again->readStrength(&read));
  EXPECT_NEAR(read, (4700.0 - 1900.0) / 3000.0, 1e-5);
}

TEST_F(WlrootsBackendTest, RefusedRampsNeverReadAsOnAndAreLoggedOnce) {
  ProviderLog log;
  const int output = compositor->addOutput("DP-1", 256);
  compositor->refuseRamps(output, true);
  auto backend = start();
  ASSERT_TRUE(backend);
  for (int attempt = 1; attempt <= 2; ++attempt) {
    backend->setEnabled(true);  // Keep Always On's retry: the control is asked for again
    ASSERT_TRUE(compositor->waitFor(output, [&](const auto& s) { return s.rampRequests == attempt; }));
  }
  compositor->refuseRamps(output, false);
  backend->setEnabled(true);
  ASSERT_TRUE(history.waitForLast(true));
  EXPECT_EQ(history.all(), std::vector<bool>{true}) << "a refused request showed as on";
  EXPECT_EQ(compositor->seen(output).controlRequests, 3);
  EXPECT_EQ(log.count("set_gamma on output DP-1 failed"), 1);
}

TEST_F(WlrootsBackendTest, OutputsThatComeAndGoAndACompositorThatRestarts) {
  const int first = compositor->addOutput("DP-1", 256);
  auto backend = start();
  ASSERT_TRUE(backend);
  backend->setEnabled(true);
  ASSERT_TRUE(history.waitForLast(true));

  // Removed and added in this order, the removal reaches us first: a new
  // output gets the ramps at once, with no command.
  compositor->removeOutput(first);
  const int second = compositor->addOutput("DP-2", 512);
  EXPECT_TRUE(compositor->waitFor(second, warm));
  EXPECT_EQ(history.all(), std::vector<bool>{true});

  compositor.reset();
  ASSERT_TRUE(history.waitForLast(false)) << "the compositor went away";
  compositor = std::make_unique<GammaCompositor>(socket);
  const int third = compositor->addOutput("DP-3", 256);
  EXPECT_TRUE(compositor->waitFor(third, warm)) << "not reconnected when the socket came back";
  EXPECT_TRUE(history.waitForLast(true));
}

// Another program asking for the first output's gamma, and keeping what it gets.
class RivalClient {
 public:
  explicit RivalClient(const std::string& socket)
      : display_(wl_display_connect(socket.c_str())), registry_(wl_display_get_registry(display_)) {
    static const wl_registry_listener listener = {
        [](void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
          auto* self = static_cast<RivalClient*>(data);
          if (std::string(interface) == wl_output_interface.name && !self->output_)
            self->output_ = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 1));
          if (std::string(interface) == zwlr_gamma_control_manager_v1_interface.name)
            self->manager_ = static_cast<zwlr_gamma_control_manager_v1*>(
                wl_registry_bind(registry, name, &zwlr_gamma_control_manager_v1_interface, 1));
        },
        [](void*, wl_registry*, std::uint32_t) {}};
    wl_registry_add_listener(registry_, &listener, this);
    wl_display_roundtrip(display_);
    control_ = zwlr_gamma_control_manager_v1_get_gamma_control(manager_, output_);
    wl_display_roundtrip(display_);
  }
  ~RivalClient() {
    zwlr_gamma_control_v1_destroy(control_);
    zwlr_gamma_control_manager_v1_destroy(manager_);
    wl_output_destroy(output_);
    wl_registry_destroy(registry_);
    wl_display_disconnect(display_);
  }

 private:
  wl_display* display_;
  wl_registry* registry_;
  wl_output* output_ = nullptr;
  zwlr_gamma_control_manager_v1* manager_ = nullptr;
  zwlr_gamma_control_v1* control_ = nullptr;
};

class RegisteredLoginItem final : public LoginItem {
 public:
  bool isEnabled() override { return enabled_; }
  void setEnabled(bool value) override { enabled_ = value; }

 private:
  bool enabled_ = false;
};

TEST_F(WlrootsBackendTest, AnotherClientTakingTheOutputIsUndoneByKeepAlwaysOn) {
  const int output = compositor->addOutput("DP-1", 256);
  auto sink = std::make_shared<MemoryLogSink>();
  setLogSinks({sink});
  auto mainQ = std::make_shared<SerialQueue>("main");
  BlueLightFramework framework(DW_PROVIDER_MODULE_PATH);
  UserDefaults defaults(makeTempDir("defaults") / "defaults.conf");
  defaults.setBool(true, Setting::autoEnable);
  RegisteredLoginItem loginItem;
  std::shared_ptr<NightShiftManager> manager;
  std::promise<void> built;
  mainQ->async([&] {
    manager = NightShiftManager::create(
        {mainQ, std::make_shared<SerialQueue>(kClientQueueLabel), &framework, &defaults, &loginItem});
    built.set_value();
  });
  built.get_future().wait();
  ASSERT_TRUE(compositor->waitFor(output, warm)) << "the launch check did not warm the output";
  // Past the launch command's window, so the loss counts as someone else's doing.
  ASSERT_TRUE(waitUntil("the launch command's window to close",
                        [&] { return !manager->isInternalUpdateForTesting(); }));

  RivalClient rival(socket);  // stays connected: in wlroots 0.15 its leaving resets the output again
  EXPECT_TRUE(compositor->waitFor(output, [](const auto& s) { return s.controlRequests == 3 && warm(s); }))
      << "our control was not requested again";
  const auto lines = sink->messages("NightShiftManager");
  EXPECT_THAT(lines, ::testing::Contains("Night Shift status change detected"));
  EXPECT_THAT(lines,
              ::testing::Contains("Night Shift was disabled but auto-enable is active. Re-enabling in 0.5 seconds..."));

  // Released on the main queue; its last timed steps (the 1 s command window
  // at most) hold it a little longer, then it closes the provider.
  const std::weak_ptr<NightShiftManager> gone = manager;
  std::promise<void> done;
  mainQ->async([&] {
    manager.reset();
    done.set_value();
  });
  done.get_future().wait();
  mainQ.reset();
  EXPECT_TRUE(waitUntil("the manager, and with it the provider's thread, to end", [&] { return gone.expired(); }));
  setLogSinks({});
}

}  // namespace
}  // namespace duskwarden::testing
