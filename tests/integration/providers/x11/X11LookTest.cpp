// The X11 backend noticing resets of its ramps on a real Xvfb: another
// program's gamma write (no X event) by the periodic look, blanking by
// MIT-SCREEN-SAVER. Looks are counted through the backend's test hook.
// (Resume and VT switches from logind: tests/e2e/backends/test_x11_resets_e2e.py.)
#include <gtest/gtest.h>

#include "CallbackCounter.h"
// Xlib after gtest: its None macro breaks gtest's headers.
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TestEnvironment.h"
#include "XvfbServer.h"
#include "backendkit/Log.h"
#include "x11/LookSchedule.h"
#include "x11/X11Backend.h"
#include "x11/X11Gamma.h"
#include "x11/XDisplay.h"

namespace duskwarden::provider::x11 {
namespace {

using namespace std::chrono_literals;
using duskwarden::testing::CallbackCounter;
using duskwarden::testing::runWithDisplay;
using duskwarden::testing::ScopedEnv;
using duskwarden::testing::waitUntil;
using duskwarden::testing::XvfbServer;
using Clock = std::chrono::steady_clock;

// Every provider message, as the host would receive it.
struct LogLines {
  LogLines() { setLogFunction(&LogLines::log, this); }
  ~LogLines() { setLogFunction(nullptr, nullptr); }
  static void log(void* self, int level, const char* message) {
    auto* l = static_cast<LogLines*>(self);
    std::lock_guard lock(l->mutex);
    l->lines.push_back((level == DW_NIGHTLIGHT_LOG_ERROR ? "error: " : "info: ") + std::string(message));
  }
  int count(const std::string& text) {
    std::lock_guard lock(mutex);
    int n = 0;
    for (const auto& line : lines) n += line.find(text) != std::string::npos;
    return n;
  }
  std::mutex mutex;
  std::vector<std::string> lines;
};

class X11LookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.running());
    display_ = std::make_unique<ScopedEnv>("DISPLAY", server_.name());
    // No system bus unless a test brings one: never the machine's own.
    noBus_ = std::make_unique<ScopedEnv>("DBUS_SYSTEM_BUS_ADDRESS",
                                         "unix:path=" + (duskwarden::testing::testRoot() / "no-system-bus").string());
    ASSERT_EQ(run({"xrandr", "--output", "screen", "--gamma", "1:1:1"}), 0);  // Xvfb starts with garbage ramps
    observer_ = XDisplay::open();
    ASSERT_NE(observer_, nullptr);
  }

  std::unique_ptr<X11Backend> create(const std::string& verifySeconds) {
    ScopedEnv knob(kVerifyVariable, verifySeconds);
    auto backend = X11Backend::create();
    if (backend) backend->setStatusCallback(counter_.callback());
    return backend;
  }
  int run(const std::vector<std::string>& argv) { return runWithDisplay(server_.name(), argv); }
  int resetGamma() { return run({"xrandr", "--output", "screen", "--gamma", "1:1:1"}); }
  bool warm() {
    const auto state = readRamps(*observer_, nullptr);
    return state && state->warmKelvin;
  }
  // Exactly `n` looks by `backend`: reached within `within`, and no more for
  // longer than the settle time after.
  [[nodiscard]] ::testing::AssertionResult looksSettleAt(X11Backend& backend, int n,
                                                         std::chrono::milliseconds within = 1s) {
    auto reached = waitUntil(std::to_string(n) + " looks", [&] { return backend.looksForTesting() >= n; }, within);
    if (!reached) return reached;
    std::this_thread::sleep_for(600ms);
    if (backend.looksForTesting() == n) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << backend.looksForTesting() << " looks, expected " << n;
  }

  XvfbServer server_;
  std::unique_ptr<ScopedEnv> display_, noBus_;
  std::unique_ptr<XDisplay> observer_;
  CallbackCounter counter_;
};

TEST_F(X11LookTest, AGammaResetWithoutAnyEventIsReportedWithinTheIntervalAndNotUndone) {
  LogLines log;
  auto backend = create("1");
  ASSERT_NE(backend, nullptr);
  backend->setEnabled(true);
  ASSERT_TRUE(counter_.waitBeyond(0)) << "our own command is reported";
  ASSERT_TRUE(warm());

  const int seen = counter_.count();
  const auto resetAt = Clock::now();
  ASSERT_EQ(resetGamma(), 0);
  ASSERT_TRUE(counter_.waitBeyond(seen, std::chrono::seconds(3)));
  EXPECT_LE(Clock::now() - resetAt, 2s) << "interval + 1 s";
  EXPECT_EQ(log.count("no longer show night light"), 1);

  // Reported, not undone: only the caller's commands write. Off now, so no
  // look follows either.
  EXPECT_TRUE(looksSettleAt(*backend, backend->looksForTesting(), 0s));
  std::this_thread::sleep_for(1500ms);
  EXPECT_TRUE(looksSettleAt(*backend, backend->looksForTesting(), 0s));
  EXPECT_FALSE(warm());
  // No system bus: said once, as information, and everything else worked.
  EXPECT_EQ(log.count("info: X11: no system bus"), 1);
  EXPECT_EQ(log.count("error:"), 0);
}

TEST_F(X11LookTest, NoLookHappensWhileOffWhateverTheInterval) {
  auto backend = create("0.1");
  ASSERT_NE(backend, nullptr);
  backend->setEnabled(false);
  std::this_thread::sleep_for(1500ms);  // fifteen intervals
  EXPECT_EQ(backend->looksForTesting(), 0);
  ASSERT_EQ(run({"xset", "s", "activate"}), 0);  // events while off need no look either
  ASSERT_EQ(run({"xset", "s", "reset"}), 0);
  EXPECT_TRUE(looksSettleAt(*backend, 0, 0s));

  backend->setEnabled(true);
  EXPECT_TRUE(waitUntil("a look every interval while on", [&] { return backend->looksForTesting() >= 3; }, 1s));
  backend->setEnabled(false);
  const int looks = backend->looksForTesting();
  std::this_thread::sleep_for(1500ms);
  EXPECT_LE(backend->looksForTesting(), looks + 1) << "at most one look already under way";
  EXPECT_TRUE(looksSettleAt(*backend, backend->looksForTesting(), 0s));
}

TEST_F(X11LookTest, BlankingStartOrEndBringsOneLookPerBurst) {
  auto backend = create("0");  // the events alone
  ASSERT_NE(backend, nullptr);
  backend->setEnabled(true);
  ASSERT_EQ(backend->looksForTesting(), 0);

  ASSERT_EQ(run({"xset", "s", "activate"}), 0);
  EXPECT_TRUE(looksSettleAt(*backend, 1));
  ASSERT_EQ(run({"xset", "s", "reset"}), 0);
  EXPECT_TRUE(looksSettleAt(*backend, 2));
  ASSERT_EQ(run({"xset", "s", "activate"}), 0);  // on and off within the settle time: one burst
  ASSERT_EQ(run({"xset", "s", "reset"}), 0);
  EXPECT_TRUE(looksSettleAt(*backend, 3));

  // The ramps reset while blanked: the look at its end reports it.
  ASSERT_EQ(run({"xset", "s", "activate"}), 0);
  EXPECT_TRUE(looksSettleAt(*backend, 4));
  ASSERT_EQ(resetGamma(), 0);
  const int seen = counter_.count();
  ASSERT_EQ(run({"xset", "s", "reset"}), 0);
  EXPECT_TRUE(counter_.waitBeyond(seen, std::chrono::seconds(1)));
  EXPECT_EQ(backend->looksForTesting(), 5);
}

}  // namespace
}  // namespace duskwarden::provider::x11
