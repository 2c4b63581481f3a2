// The X11 backend against a real Xvfb: what it writes is read back through a
// separate connection, and changes made by other programs reach it.
#include <gtest/gtest.h>

#include "CallbackCounter.h"
// Xlib after gtest: its None macro breaks gtest's headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "TestEnvironment.h"
#include "XvfbServer.h"
#include "backendkit/ColorTemperature.h"
#include "providers/ProviderLogCapture.h"
#include "backendkit/Log.h"
#include "x11/X11Backend.h"
#include "x11/X11Gamma.h"

namespace duskwarden::provider::x11 {
namespace {

using duskwarden::testing::ProviderLogCapture;
using duskwarden::testing::runWithDisplay;
using duskwarden::testing::ScopedEnv;
using duskwarden::testing::kNoServerDisplay;
using duskwarden::testing::XvfbServer;

struct Ramp {
  std::vector<std::uint16_t> red, green, blue;
};

// An ordinary client of the server, independent of the backend's connections.
class Observer {
 public:
  explicit Observer(const std::string& name) : display_(XOpenDisplay(name.c_str())) {}
  ~Observer() {
    if (display_) XCloseDisplay(display_);
  }
  bool ok() const { return display_ != nullptr; }

  Ramp read() {
    Ramp ramp;
    withCrtc([&](RRCrtc crtc) {
      XRRCrtcGamma* g = XRRGetCrtcGamma(display_, crtc);
      ramp.red.assign(g->red, g->red + g->size);
      ramp.green.assign(g->green, g->green + g->size);
      ramp.blue.assign(g->blue, g->blue + g->size);
      XRRFreeGamma(g);
    });
    return ramp;
  }

  // What any client may put on the root window under our property's name.
  void storeKelvin(unsigned long kelvin) {
    const Atom atom = XInternAtom(display_, kStoredKelvinAtom, False);
    XChangeProperty(display_, DefaultRootWindow(display_), atom, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&kelvin), 1);
    XSync(display_, False);
  }

  void writeIdentity() {
    withCrtc([&](RRCrtc crtc) {
      const int size = XRRGetCrtcGammaSize(display_, crtc);
      XRRCrtcGamma* g = XRRAllocGamma(size);
      for (int k = 0; k < size; ++k)
        g->red[k] = g->green[k] = g->blue[k] = static_cast<std::uint16_t>(65535L * k / (size - 1));
      XRRSetCrtcGamma(display_, crtc, g);
      XRRFreeGamma(g);
    });
    XSync(display_, False);
  }

 private:
  template <typename F>
  void withCrtc(F f) {
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(display_, DefaultRootWindow(display_));
    ASSERT_NE(res, nullptr);
    ASSERT_GT(res->ncrtc, 0);
    f(res->crtcs[0]);
    XRRFreeScreenResources(res);
  }
  Display* display_;
};

bool isIdentity(const Ramp& r) {
  const auto n = r.red.size();
  for (std::size_t k = 0; k < n; ++k) {
    const auto expected = static_cast<long>(std::lround(65535.0 * static_cast<double>(k) / static_cast<double>(n - 1)));
    if (std::abs(r.red[k] - expected) > 1 || std::abs(r.green[k] - expected) > 1 || std::abs(r.blue[k] - expected) > 1)
      return false;
  }
  return n > 0;
}

using duskwarden::testing::CallbackCounter;
using duskwarden::testing::waitUntil;

class X11BackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.running()) << "Xvfb did not start";
    env_ = std::make_unique<ScopedEnv>("DISPLAY", server_.name());
    // The backend also watches logind: never on the machine's own system bus.
    noSystemBus_ = std::make_unique<ScopedEnv>(
        "DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (duskwarden::testing::testRoot() / "no-system-bus").string());
    observer_ = std::make_unique<Observer>(server_.name());
    ASSERT_TRUE(observer_->ok());
    observer_->writeIdentity();  // Xvfb starts with uninitialised ramps
  }
  void TearDown() override {
    observer_.reset();
    noSystemBus_.reset();
    env_.reset();
  }

  bool enabled(Backend& backend) {
    bool on = false;
    EXPECT_TRUE(backend.readEnabled(&on));
    return on;
  }
  float strength(Backend& backend) {
    float value = -1;
    EXPECT_TRUE(backend.readStrength(&value));
    return value;
  }
  int xrandr(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"xrandr"};
    argv.insert(argv.end(), args.begin(), args.end());
    return runWithDisplay(server_.name(), argv);
  }

  XvfbServer server_;
  std::unique_ptr<ScopedEnv> env_, noSystemBus_;
  std::unique_ptr<Observer> observer_;
};

TEST_F(X11BackendTest, OnWritesWarmRampsThatAnotherClientSeesAndOffRestoresIdentity) {
  ASSERT_TRUE(X11Backend::isUsable());
  auto backend = X11Backend::create();
  ASSERT_NE(backend, nullptr);
  EXPECT_FALSE(enabled(*backend));

  backend->setStrength(0.5f, true);
  EXPECT_TRUE(isIdentity(observer_->read())) << "a strength change must not switch the light on";
  backend->setEnabled(true);

  const Ramp warm = observer_->read();
  ASSERT_EQ(warm.red.size(), 256u);
  const Whitepoint w = whitepointForKelvin(*strengthToKelvin(0.5));
  EXPECT_EQ(warm.red[255], 65535);
  EXPECT_NEAR(warm.green[255], 65535 * w.green, 1.0);
  EXPECT_NEAR(warm.blue[255], 65535 * w.blue, 1.0);
  EXPECT_NEAR(warm.green[128], 65535 * (128.0 / 255) * w.green, 1.0);
  EXPECT_TRUE(enabled(*backend));

  backend->setEnabled(false);
  EXPECT_TRUE(isIdentity(observer_->read()));
  EXPECT_FALSE(enabled(*backend));
}

TEST_F(X11BackendTest, StatusComesFromTheServerNotFromMemory) {
  auto backend = X11Backend::create();
  ASSERT_NE(backend, nullptr);
  backend->setEnabled(true);
  ASSERT_TRUE(enabled(*backend));

  ASSERT_EQ(xrandr({"--output", "screen", "--gamma", "1:1:1"}), 0);
  EXPECT_FALSE(enabled(*backend)) << "another program reset the gamma";

  // A second instance (a restarted application) sees the same state.
  backend->setStrength(0.9f, true);
  backend->setEnabled(true);
  auto second = X11Backend::create();
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(enabled(*second));
  EXPECT_NEAR(strength(*second), 0.9f, 0.01f);
}

TEST_F(X11BackendTest, StrengthRoundTripsWhetherOnOrOff) {
  auto backend = X11Backend::create();
  ASSERT_NE(backend, nullptr);
  for (float s : {0.0f, 0.01f, 0.25f, 0.5f, 0.77f, 1.0f}) {
    backend->setEnabled(false);
    backend->setStrength(s, true);
    EXPECT_NEAR(strength(*backend), s, 0.01f) << "off, committed " << s;
    backend->setEnabled(true);
    EXPECT_TRUE(enabled(*backend)) << s;
    EXPECT_NEAR(strength(*backend), s, 0.01f) << "on, from the ramps, " << s;
  }
  // Out of range clamps; NaN is ignored and leaves the screen as it was.
  backend->setStrength(3.0f, true);
  EXPECT_NEAR(strength(*backend), 1.0f, 0.01f);
  backend->setStrength(-1.0f, false);
  EXPECT_NEAR(strength(*backend), 0.0f, 0.01f);
  backend->setStrength(std::nanf(""), true);
  EXPECT_NEAR(strength(*backend), 0.0f, 0.01f);
  EXPECT_TRUE(enabled(*backend));
}

TEST_F(X11BackendTest, UncommittedStrengthShowsButDoesNotBecomeTheSetting) {
  auto backend = X11Backend::create();
  ASSERT_NE(backend, nullptr);
  backend->setStrength(0.2f, true);
  backend->setEnabled(true);
  backend->setStrength(0.8f, false);
  EXPECT_NEAR(strength(*backend), 0.8f, 0.01f);
  backend->setEnabled(false);
  EXPECT_NEAR(strength(*backend), 0.2f, 0.01f);
}

TEST_F(X11BackendTest, RandrChangesAndOwnCommandsReachTheCallback) {
  auto backend = X11Backend::create();
  ASSERT_NE(backend, nullptr);
  CallbackCounter counter;
  backend->setStatusCallback(counter.callback());

  // A mode set from another program: the kind of change that resets gamma.
  int seen = counter.count();
  ASSERT_EQ(xrandr({"--newmode", "800x600_t", "40", "800", "840", "968", "1056", "600", "601", "605", "628"}), 0);
  ASSERT_EQ(xrandr({"--addmode", "screen", "800x600_t"}), 0);
  ASSERT_EQ(xrandr({"--output", "screen", "--mode", "800x600_t"}), 0);
  EXPECT_TRUE(counter.waitBeyond(seen)) << "no callback for a RandR mode change";

  seen = counter.count();
  backend->setEnabled(true);
  EXPECT_TRUE(counter.waitBeyond(seen)) << "no callback after our own change";

  // Replacing the callback stops the old one.
  CallbackCounter second;
  backend->setStatusCallback(second.callback());
  const int oldCount = counter.count();
  backend->setEnabled(false);
  EXPECT_TRUE(second.waitBeyond(0));
  backend.reset();  // joins the thread: no callback can still be running
  EXPECT_EQ(counter.count(), oldCount);
}

TEST_F(X11BackendTest, DestroyingFromWithinTheCallbackIsSafe) {
  auto backend = X11Backend::create();
  ASSERT_NE(backend, nullptr);
  std::mutex mutex;
  bool destroyed = false;
  backend->setStatusCallback([&] {
    std::lock_guard lock(mutex);
    backend.reset();
    destroyed = true;
  });
  backend->setEnabled(true);
  EXPECT_TRUE(waitUntil("the callback to destroy the backend", [&] {
    std::lock_guard lock(mutex);
    return destroyed;
  }));
}

TEST_F(X11BackendTest, LostServerIsAFailedReadAndAReturningOneIsUsedAgain) {
  auto backend = X11Backend::create();
  ASSERT_NE(backend, nullptr);
  backend->setEnabled(true);
  observer_.reset();
  ScopedEnv gone("DISPLAY", std::string(kNoServerDisplay));
  server_.kill();

  bool on = true;
  float value = -1;
  EXPECT_FALSE(backend->readEnabled(&on));
  EXPECT_FALSE(backend->readStrength(&value));
  backend->setEnabled(true);  // must neither crash nor exit
  backend->setStrength(0.3f, true);

  XvfbServer again;
  ASSERT_TRUE(again.running());
  Observer observer(again.name());
  observer.writeIdentity();
  ScopedEnv back("DISPLAY", again.name());
  EXPECT_TRUE(backend->readEnabled(&on));
  EXPECT_FALSE(on);
  backend->setEnabled(true);
  EXPECT_TRUE(enabled(*backend));
}

// A temperature stored by someone else is clamped to the span strength maps
// onto, so "on" is always warm (never a blue 9000 K that reads back as off).
TEST_F(X11BackendTest, AStoredTemperatureOutOfRangeIsClampedOnRead) {
  auto backend = X11Backend::create();
  ASSERT_NE(backend, nullptr);
  const struct {
    unsigned long stored;
    float strength;
  } cases[] = {{9000, 0.0f}, {0, 1.0f}, {4294967295UL, 0.0f}, {6500, 0.0f}, {1000, 1.0f}, {3200, 0.5f}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    backend->setEnabled(false);
    observer_->storeKelvin(c.stored);
    EXPECT_NEAR(strength(*backend), c.strength, 0.01f);
    backend->setEnabled(true);
    EXPECT_TRUE(enabled(*backend)) << "on must be warm";
    EXPECT_NEAR(strength(*backend), c.strength, 0.01f);
  }
}

// Calls that keep failing while the server is gone each name the failed
// request (with the display) once, not once per call; a working connection
// makes the next failure news again.
TEST_F(X11BackendTest, FailedRequestsAreLoggedByNameOncePerCause) {
  auto backend = X11Backend::create();
  ASSERT_NE(backend, nullptr);
  ProviderLogCapture log;
  setLogFunction(&ProviderLogCapture::log, &log);
  backend->setEnabled(true);
  EXPECT_TRUE(log.take(true).empty());

  const std::string lost = server_.name();
  observer_.reset();
  ScopedEnv gone("DISPLAY", std::string(kNoServerDisplay));
  server_.kill();
  bool on = false;
  float value = 0;
  for (int i = 0; i < 3; ++i) {
    backend->readEnabled(&on);
    backend->setEnabled(true);
    backend->setStrength(0.4f, true);
    backend->readStrength(&value);
  }
  const auto errors = log.take(true);
  ASSERT_FALSE(errors.empty());
  EXPECT_LE(errors.size(), 2u) << "at most the lost request and the failed reconnect";
  for (const auto& line : errors) {
    SCOPED_TRACE(line);
    EXPECT_EQ(std::count(errors.begin(), errors.end(), line), 1);
    // The lost connection names its display, the failed reconnect DISPLAY's.
    EXPECT_TRUE((line.find("connection lost") != std::string::npos && line.find(lost) != std::string::npos) ||
                line.find(std::string("XOpenDisplay ") + kNoServerDisplay + " failed") != std::string::npos);
  }

  XvfbServer again;
  ASSERT_TRUE(again.running());
  Observer(again.name()).writeIdentity();
  {
    ScopedEnv back("DISPLAY", again.name());
    ASSERT_TRUE(backend->readEnabled(&on));
  }
  again.kill();
  backend->setEnabled(true);
  backend->readEnabled(&on);
  EXPECT_FALSE(log.take(true).empty()) << "a new outage is logged again";
  setLogFunction(nullptr, nullptr);
}

TEST(X11Detection, NoRandrOrNoDisplayIsNotSupported) {
  XvfbServer withoutRandr({"-extension", "RANDR"});
  ASSERT_TRUE(withoutRandr.running());
  {
    ScopedEnv display("DISPLAY", withoutRandr.name());
    EXPECT_FALSE(X11Backend::isUsable());
    EXPECT_EQ(X11Backend::create(), nullptr);
  }
  {
    ScopedEnv display("DISPLAY", nullptr);
    EXPECT_FALSE(X11Backend::isUsable());
    EXPECT_EQ(X11Backend::create(), nullptr);
  }
  {
    ScopedEnv display("DISPLAY", std::string(kNoServerDisplay));
    EXPECT_FALSE(X11Backend::isUsable());
  }
}

}  // namespace
}  // namespace duskwarden::provider::x11
