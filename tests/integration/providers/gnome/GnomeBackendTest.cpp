// The GNOME backend against the real settings daemon (gsd-color), real dconf
// and a private session bus. Waits follow the backend's own callbacks, with
// a deadline; nothing sleeps a fixed time.
#include <gtest/gtest.h>

#include "CallbackCounter.h"

#include <gio/gio.h>

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "GnomeSession.h"
#include "TestEnvironment.h"
#include "backendkit/ColorTemperature.h"
#include "backendkit/Log.h"
#include "gnome/SettingsDaemonBackend.h"
#include "gnome/GnomeSchedule.h"
#include "nightshift/CBBlueLightClient.h"
#include "platform/log/Logger.h"
#include "providers/ProviderLogCapture.h"

namespace duskwarden::provider::gnome {
namespace {

using duskwarden::testing::GnomeSession;
using duskwarden::testing::ScopedEnv;
using duskwarden::testing::waitUntil;
using namespace std::chrono_literals;

GnomeSession* session = nullptr;

class SessionEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { session = new GnomeSession(); }
  void TearDown() override {
    // GIO's shared bus connection (dconf, the test's own proxy) ends the
    // process when its bus goes away; here the bus going away is the plan.
    if (GDBusConnection* shared = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)) {
      g_dbus_connection_set_exit_on_close(shared, FALSE);
      g_object_unref(shared);
    }
    delete session;
    session = nullptr;
  }
};
const auto* const kSession = ::testing::AddGlobalTestEnvironment(new SessionEnvironment);

using Events = duskwarden::testing::CallbackCounter;

// Watches the daemon's Temperature property on a context of our own until it
// equals `kelvin`; each step of its ramp arrives as a property change.
[[nodiscard]] ::testing::AssertionResult daemonTemperatureReaches(guint kelvin,
                                                                std::chrono::milliseconds limit = 15s) {
  GMainContext* context = g_main_context_new();
  g_main_context_push_thread_default(context);
  GDBusProxy* proxy = g_dbus_proxy_new_for_bus_sync(G_BUS_TYPE_SESSION, G_DBUS_PROXY_FLAGS_NONE, nullptr, kGnomeDesktop.busName,
                                                    kGnomeDesktop.objectPath, kGnomeDesktop.busName, nullptr, nullptr);
  // Wakes the blocking iteration, so the deadline is checked when nothing arrives.
  GSource* tick = g_timeout_source_new(10);
  g_source_set_callback(tick, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr, nullptr);
  g_source_attach(tick, context);
  auto reached = [&] {
    GVariant* v = proxy ? g_dbus_proxy_get_cached_property(proxy, "Temperature") : nullptr;
    const bool at = v && g_variant_get_uint32(v) == kelvin;
    if (v) g_variant_unref(v);
    return at;
  };
  auto result = waitUntil("the daemon to reach " + std::to_string(kelvin) + " K", reached, limit,
                          [&] { g_main_context_iteration(context, TRUE); });
  g_source_destroy(tick);
  g_source_unref(tick);
  if (proxy) g_object_unref(proxy);
  g_main_context_pop_thread_default(context);
  g_main_context_unref(context);
  return result;
}

class GnomeBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(session && session->ok()) << "private bus or Xvfb did not start";
    session->resetKeys();
    forgetSavedSchedule(kGnomeDesktop);
    ASSERT_TRUE(session->startDaemon()) << "gsd-color did not appear on the bus";
    backend_ = SettingsDaemonBackend::create(kGnomeDesktop);
    ASSERT_NE(backend_, nullptr);
    backend_->setStatusCallback(events_.callback());
    // The daemon is read when it answers, never waited for by create().
    ASSERT_TRUE(waitUntil("the daemon's first answer", [&] { return enabled().has_value(); }, 10s));
  }
  void TearDown() override { backend_.reset(); }

  std::optional<bool> enabled() {
    bool on = false;
    if (!backend_->readEnabled(&on)) return std::nullopt;
    return on;
  }
  [[nodiscard]] ::testing::AssertionResult waitEnabled(std::optional<bool> expected) {
    return waitUntil("a read of " + (expected ? std::string(*expected ? "on" : "off") : "a failure"),
                     [&] { return enabled() == expected; }, 10s);
  }
  std::string key(const std::string& name) { return session->gsettingsGet(name); }

  Events events_;
  std::unique_ptr<SettingsDaemonBackend> backend_;
};

TEST_F(GnomeBackendTest, OnIsActiveAllDayAndOffGivesTheScheduleBack) {
  EXPECT_EQ(enabled(), false);

  backend_->setEnabled(true);
  EXPECT_EQ(key("night-light-enabled"), "true");
  EXPECT_EQ(key("night-light-schedule-automatic"), "false");
  EXPECT_EQ(key("night-light-schedule-from"), "0.0");
  EXPECT_EQ(key("night-light-schedule-to"), "0.0");
  EXPECT_TRUE(waitEnabled(true)) << "the daemon did not report night light active";

  backend_->setEnabled(false);
  EXPECT_EQ(key("night-light-enabled"), "false");
  EXPECT_EQ(key("night-light-schedule-automatic"), "true");
  EXPECT_EQ(key("night-light-schedule-from"), "20.0");
  EXPECT_EQ(key("night-light-schedule-to"), "6.0");
  EXPECT_TRUE(waitEnabled(false));
}

TEST_F(GnomeBackendTest, TheUsersOwnScheduleSurvivesAndANewerChoiceWins) {
  ASSERT_TRUE(session->gsettingsSet("night-light-schedule-automatic", "false"));
  ASSERT_TRUE(session->gsettingsSet("night-light-schedule-from", "21.5"));
  ASSERT_TRUE(session->gsettingsSet("night-light-schedule-to", "7.25"));
  backend_->setEnabled(true);
  // A second switch-on (a restart of the application) must not save our own recipe.
  auto again = SettingsDaemonBackend::create(kGnomeDesktop);
  ASSERT_NE(again, nullptr);
  again->setEnabled(true);
  again.reset();
  backend_->setEnabled(false);
  EXPECT_EQ(key("night-light-schedule-from"), "21.5");
  EXPECT_EQ(key("night-light-schedule-to"), "7.25");

  backend_->setEnabled(true);
  ASSERT_TRUE(session->gsettingsSet("night-light-schedule-from", "19.0"));  // the user, in Settings
  backend_->setEnabled(false);
  EXPECT_EQ(key("night-light-schedule-from"), "19.0");
  EXPECT_FALSE(loadSavedSchedule(kGnomeDesktop).has_value());
}

TEST_F(GnomeBackendTest, StrengthIsTheTemperatureKeyAndTheDaemonAppliesIt) {
  backend_->setStrength(0.5f, true);
  EXPECT_EQ(key("night-light-temperature"), "uint32 3200");
  float strength = -1;
  ASSERT_TRUE(backend_->readStrength(&strength));
  EXPECT_NEAR(strength, 0.5f, 0.01f);

  backend_->setStrength(std::nanf(""), true);  // ignored
  backend_->setStrength(2.0f, true);           // clamped
  EXPECT_EQ(key("night-light-temperature"), "uint32 1700");

  // The daemon ramps towards the key; wait for it to arrive (about 5 s).
  backend_->setStrength(0.9f, true);
  backend_->setEnabled(true);
  EXPECT_TRUE(daemonTemperatureReaches(2000));
  ASSERT_TRUE(backend_->readStrength(&strength));
  EXPECT_NEAR(strength, 0.9f, 0.01f);
}

TEST_F(GnomeBackendTest, OtherProgramsAndTheDaemonReachTheCallback) {
  int seen = events_.count();
  ASSERT_TRUE(session->gsettingsSet("night-light-temperature", "3000"));
  EXPECT_TRUE(events_.waitBeyond(seen, 10s)) << "no callback for gsettings set";

  backend_->setEnabled(true);
  ASSERT_TRUE(waitEnabled(true));
  // "Disable until tomorrow" from the panel: the daemon's own property.
  session->run({"gdbus", "call", "--session", "-d", kGnomeDesktop.busName, "-o", kGnomeDesktop.objectPath, "-m",
                "org.freedesktop.DBus.Properties.Set", kGnomeDesktop.busName, "DisabledUntilTomorrow", "<true>"});
  EXPECT_TRUE(waitEnabled(false)) << "disabled until tomorrow is not warm now";
  backend_->setEnabled(true);
  EXPECT_TRUE(waitEnabled(true)) << "on must clear disabled-until-tomorrow";
}

TEST_F(GnomeBackendTest, TheDaemonGoingAwayAndComingBackIsSurvived) {
  backend_->setEnabled(true);
  ASSERT_TRUE(waitEnabled(true));
  session->killDaemon();
  EXPECT_TRUE(waitEnabled(std::nullopt)) << "reads must fail while the daemon is gone";
  EXPECT_FALSE(SettingsDaemonBackend::isUsable(kGnomeDesktop));
  backend_->setEnabled(true);  // still fine: writes the keys

  ASSERT_TRUE(session->startDaemon());
  EXPECT_TRUE(waitEnabled(true)) << "the returning daemon is read again";
  EXPECT_TRUE(SettingsDaemonBackend::isUsable(kGnomeDesktop));
}

TEST_F(GnomeBackendTest, DestroyingFromWithinTheCallbackIsSafe) {
  std::mutex mutex;
  bool destroyed = false;
  backend_->setStatusCallback([&] {
    std::lock_guard lock(mutex);
    if (!backend_) return;
    backend_.reset();
    destroyed = true;
  });
  ASSERT_TRUE(session->gsettingsSet("night-light-temperature", "3100"));
  EXPECT_TRUE(waitUntil("the callback to destroy the backend", [&] {
    std::lock_guard lock(mutex);
    return destroyed;
  }, 10s));
}

// An earlier run that ended while on leaves its saved schedule behind; the
// user then picks a new one. On must keep the new one, and off give it back.
TEST_F(GnomeBackendTest, AScheduleSavedByAnEarlierRunDoesNotWinOverTheUsersNewerOne) {
  ASSERT_TRUE(saveSchedule(kGnomeDesktop, {false, 21.0, 7.0}));
  ASSERT_TRUE(session->gsettingsSet("night-light-schedule-automatic", "false"));
  ASSERT_TRUE(session->gsettingsSet("night-light-schedule-from", "19.5"));
  ASSERT_TRUE(session->gsettingsSet("night-light-schedule-to", "6.5"));
  backend_->setEnabled(true);
  EXPECT_EQ(key("night-light-schedule-from"), "0.0");
  backend_->setEnabled(false);
  EXPECT_EQ(key("night-light-schedule-automatic"), "false");
  EXPECT_EQ(key("night-light-schedule-from"), "19.5");
  EXPECT_EQ(key("night-light-schedule-to"), "6.5");
  EXPECT_FALSE(loadSavedSchedule(kGnomeDesktop).has_value());
}

// With nowhere to keep the user's schedule, on leaves it alone (night light
// then follows it) and says why; off has nothing to give back.
TEST_F(GnomeBackendTest, AScheduleThatCannotBeSavedIsNeverReplaced) {
  namespace fs = std::filesystem;
  const fs::path ini = savedSchedulePath(kGnomeDesktop);
  const fs::path dir = ini.parent_path();
  duskwarden::testing::ProviderLogCapture log;
  setLogFunction(&duskwarden::testing::ProviderLogCapture::log, &log);
  for (const char* unusable : {"state directory is a file", "saved file is a directory"}) {
    SCOPED_TRACE(unusable);
    fs::remove_all(dir);
    if (std::string(unusable) == "state directory is a file")
      std::ofstream(dir) << "not a directory\n";
    else
      fs::create_directories(ini);
    ASSERT_TRUE(session->gsettingsSet("night-light-schedule-automatic", "false"));
    ASSERT_TRUE(session->gsettingsSet("night-light-schedule-from", "20.5"));
    ASSERT_TRUE(session->gsettingsSet("night-light-schedule-to", "6.25"));

    backend_->setEnabled(true);
    EXPECT_EQ(key("night-light-enabled"), "true");
    EXPECT_EQ(key("night-light-schedule-automatic"), "false");
    EXPECT_EQ(key("night-light-schedule-from"), "20.5");
    EXPECT_EQ(key("night-light-schedule-to"), "6.25");
    const auto lines = log.take(true);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("GNOME: save the schedule to " + ini.string() + ": ", 0), 0u) << lines[0];

    backend_->setEnabled(false);
    EXPECT_EQ(key("night-light-enabled"), "false");
    EXPECT_EQ(key("night-light-schedule-from"), "20.5");
    EXPECT_EQ(key("night-light-schedule-to"), "6.25");
    EXPECT_TRUE(log.take(true).empty());
  }
  setLogFunction(nullptr, nullptr);
  fs::remove_all(dir);
}

// Through the real library and binding: a call to a daemon that has gone is
// one named error line in the application's log, however often it is made.
TEST_F(GnomeBackendTest, AFailedCallThroughTheLibraryIsOneNamedLineInTheLog) {
  auto sink = std::make_shared<MemoryLogSink>();
  setLogSinks({sink});
  ScopedEnv force("DUSKWARDEN_NIGHTLIGHT_BACKEND", std::string("gnome"));
  BlueLightFramework framework(DW_PROVIDER_MODULE_PATH);
  ASSERT_TRUE(framework.load()) << framework.failureReason();
  ASSERT_TRUE(CBBlueLightClient::supportsBlueLightReduction(framework));
  auto client = CBBlueLightClient::create(framework);
  ASSERT_NE(client, nullptr);
  Events changes;
  client->setStatusNotificationBlock(changes.callback());
  BlueLightStatus status;
  ASSERT_TRUE(waitUntil("the daemon's first answer", [&] { return client->getBlueLightStatus(&status); }, 10s));

  session->killDaemon();
  EXPECT_TRUE(waitUntil("a failed read", [&] { return !client->getBlueLightStatus(&status); }, 10s));
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(client->getBlueLightStatus(&status));
  client.reset();
  std::vector<LogEntry> errors;
  for (const auto& e : sink->entries())
    if (e.level == LogLevel::error) errors.push_back(e);
  setLogSinks({});
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].subsystem, "com.quillmoor.Duskwarden");
  EXPECT_EQ(errors[0].category, "NightlightProvider");
  EXPECT_EQ(errors[0].message, "GNOME: org.gnome.SettingsDaemon.Color is not on the session bus");
}

// Our own command is one change, whatever it writes; a key that cannot change
// whether night light is warm now is no change at all. Without the daemon
// only GSettings speaks, and an outside write of a key of ours marks the end:
// dconf delivers changes in order, so anything owed arrives before it.
TEST(GnomeChanges, OwnCommandsAreOneChangeEachAndOtherKeysNone) {
  ASSERT_TRUE(session && session->ok());
  session->killDaemon();
  session->resetKeys();
  forgetSavedSchedule(kGnomeDesktop);
  auto backend = SettingsDaemonBackend::create(kGnomeDesktop);
  ASSERT_NE(backend, nullptr);
  std::mutex mutex;
  std::vector<float> strengths;  // read by each callback as it runs
  backend->setStatusCallback([&] {
    float s = -1;
    backend->readStrength(&s);
    std::lock_guard lock(mutex);
    strengths.push_back(s);
  });
  backend->setEnabled(true);  // four keys
  backend->setStrength(0.3f, true);
  ASSERT_TRUE(session->gsettingsSet("night-light-last-coordinates", "(48.1, 11.6)"));
  ASSERT_TRUE(session->gsettingsSet("night-light-temperature", "3900"));
  const float marker = static_cast<float>(*kelvinToStrength(3900));
  ASSERT_TRUE(waitUntil("a callback to read the marker", [&] {
    std::lock_guard lock(mutex);
    return !strengths.empty() && std::fabs(strengths.back() - marker) < 0.01f;
  }, 10s));
  std::unique_lock lock(mutex);
  ASSERT_EQ(strengths.size(), 3u);
  EXPECT_NEAR(strengths[0], *kelvinToStrength(2700), 0.01f);
  EXPECT_NEAR(strengths[1], 0.3f, 0.01f);
  lock.unlock();
  backend.reset();
}

// Processes whose environment holds `entry`: children of ours, wherever they went.
std::vector<pid_t> processesWith(const std::string& entry) {
  std::vector<pid_t> found;
  DIR* proc = ::opendir("/proc");
  while (dirent* d = proc ? ::readdir(proc) : nullptr) {
    const pid_t pid = static_cast<pid_t>(std::atoi(d->d_name));
    if (pid <= 0 || pid == ::getpid()) continue;
    std::ifstream in("/proc/" + std::string(d->d_name) + "/environ", std::ios::binary);
    const std::string environ((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (environ.find(entry + '\0') != std::string::npos) found.push_back(pid);
  }
  if (proc) ::closedir(proc);
  return found;
}

// With no session bus at all, GLib would autolaunch one through dbus-launch,
// leaving a dbus-daemon behind; detection must not let it.
TEST(GnomeDetection, NoSessionBusStartsNoBus) {
  ASSERT_TRUE(session && session->ok());  // DISPLAY is the session's Xvfb: what autolaunch needs
  const std::string mark = std::to_string(::getpid());
  ScopedEnv marked("DW_AUTOLAUNCH_MARK", mark);
  ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", nullptr);
  ScopedEnv runtime("XDG_RUNTIME_DIR", duskwarden::testing::makeTempDir("nobus").string());
  EXPECT_FALSE(SettingsDaemonBackend::isUsable(kGnomeDesktop));
  EXPECT_EQ(SettingsDaemonBackend::create(kGnomeDesktop), nullptr);
  const auto left = processesWith("DW_AUTOLAUNCH_MARK=" + mark);
  for (pid_t pid : left) ::kill(pid, SIGTERM);  // ours, started through GLib
  EXPECT_TRUE(left.empty()) << left.size() << " processes left running";
}

TEST(GnomeDetection, NoBusOrNoDaemonIsNotUsable) {
  ASSERT_TRUE(session && session->ok());
  session->killDaemon();
  EXPECT_FALSE(SettingsDaemonBackend::isUsable(kGnomeDesktop));
  ScopedEnv noBus("DBUS_SESSION_BUS_ADDRESS", std::string("unix:path=/nonexistent/bus"));
  EXPECT_FALSE(SettingsDaemonBackend::isUsable(kGnomeDesktop));
  EXPECT_EQ(SettingsDaemonBackend::create(kGnomeDesktop), nullptr);
}

TEST(GnomeSchedule, SavedScheduleRoundTripsAndDamageIsRefused) {
  forgetSavedSchedule(kGnomeDesktop);
  EXPECT_FALSE(loadSavedSchedule(kGnomeDesktop).has_value());
  ASSERT_TRUE(saveSchedule(kGnomeDesktop, {false, 22.5, 5.75}));
  const auto loaded = loadSavedSchedule(kGnomeDesktop);
  ASSERT_TRUE(loaded.has_value());
  EXPECT_FALSE(loaded->automatic);
  EXPECT_DOUBLE_EQ(loaded->from, 22.5);
  EXPECT_DOUBLE_EQ(loaded->to, 5.75);

  std::ofstream(savedSchedulePath(kGnomeDesktop)) << "[schedule]\nautomatic=false\nfrom=99\nto=6\n";
  EXPECT_FALSE(loadSavedSchedule(kGnomeDesktop).has_value()) << "an hour of 99 must not reach the settings";
  std::ofstream(savedSchedulePath(kGnomeDesktop)) << "garbage";
  EXPECT_FALSE(loadSavedSchedule(kGnomeDesktop).has_value());
  forgetSavedSchedule(kGnomeDesktop);
}

}  // namespace
}  // namespace duskwarden::provider::gnome
