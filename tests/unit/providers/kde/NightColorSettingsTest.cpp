// kwinrc switched on and off on real files in a private directory: what is
// written, what comes back, and what is never touched.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "TestEnvironment.h"
#include "kde/KConfigFile.h"
#include "kde/NightColorSettings.h"
#include "kde/NightColorValues.h"
#include "base/keyfile/KeyFileText.h"

namespace duskwarden::provider::kde {
namespace {

namespace fs = std::filesystem;
using keyfile::editGroup;
using keyfile::readEntry;

TEST(NightColorValues, ReadKWinsValuesAndMapStrength) {
  for (const char* no : {"", "false", "No", "OFF", "0"}) EXPECT_FALSE(readsAsTrue(no)) << no;
  EXPECT_TRUE(readsAsTrue("yes"));
  EXPECT_FALSE(isConstantMode("3"));  // a position, and not Constant's in newer Plasma
  EXPECT_TRUE(isConstantMode("constant"));
  EXPECT_EQ(effectiveTemperature(std::nullopt), 4500);
  EXPECT_EQ(effectiveTemperature("34OO"), 4500);
  EXPECT_EQ(effectiveTemperature("500"), 1000);
  EXPECT_EQ(effectiveTemperature("9000"), 6500);
  EXPECT_EQ(temperatureForStrength(0.5), 3200);
  EXPECT_EQ(temperatureForStrength(std::nan("")), std::nullopt);
  for (float s : {0.0f, 0.77f, 1.0f}) EXPECT_NEAR(strengthForTemperature(*temperatureForStrength(s)), s, 1e-3);
  // The temperatures arrive as int32 in PropertiesChanged and as uint32 from Get.
  for (GVariant* v : {g_variant_new_int32(3400), g_variant_new_uint32(3400), g_variant_new_string("3400")}) {
    g_variant_ref_sink(v);
    EXPECT_EQ(kelvinFromVariant(v), g_variant_is_of_type(v, G_VARIANT_TYPE_STRING) ? std::nullopt : std::optional(3400));
    g_variant_unref(v);
  }
}

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void put(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

class NightColorSettingsTest : public ::testing::Test {
 protected:
  fs::path dir_ = testing::makeTempDir("kde");
  fs::path kwinrc_ = dir_ / "config" / "kwinrc";
  fs::path record_ = dir_ / "state" / "duskwarden" / "kde-night-color.ini";
  NightColorSettings settings_{kwinrc_.string(), record_.string()};

  void SetUp() override { fs::create_directories(kwinrc_.parent_path()); }
  std::optional<std::string> key(const char* name) { return readEntry(slurp(kwinrc_), kGroup, name); }
  // The user changes a key in System Settings.
  void userSets(const char* name, const std::string& value) {
    std::string text = slurp(kwinrc_);
    ASSERT_TRUE(editGroup(text, kGroup, {{name, value}}, nullptr));
    put(kwinrc_, text);
  }
};

TEST_F(NightColorSettingsTest, OnHoldsNightColorAndOffGivesTheFileBackByteForByte) {
  const std::string withGroup =
      "[Desktops]\nId_1=f60a\nNumber=1\n\n[NightColor]\n# mine\nActive = false\nMode=Times\n"
      "NightTemperature=5200\n\n[Plugins][$i]\nblurEnabled=true\n";
  // Brought into our span only when outside it; KWin's default 4500 already is.
  const std::pair<std::string, int> cases[] = {{withGroup, 4700}, {"[Desktops]\nNumber=1\n", 4500}, {"", 4500}};
  for (const auto& [original, temperature] : cases) {
    SCOPED_TRACE(original);
    put(kwinrc_, original);
    ::chmod(kwinrc_.c_str(), 0640);
    SettingsChange on = settings_.switchOn();
    ASSERT_TRUE(on.ok()) << on.error;
    EXPECT_EQ(key("Active"), "true");
    EXPECT_EQ(key("Mode"), "Constant");
    EXPECT_EQ(effectiveTemperature(key("NightTemperature")), temperature);
    EXPECT_EQ(readEntry(slurp(kwinrc_), "Plugins", "blurEnabled"), readEntry(original, "Plugins", "blurEnabled"));
    EXPECT_EQ(fs::status(kwinrc_).permissions() & fs::perms::all, fs::perms(0640));
    // Again while on (a retry during an inhibition): nothing to write, nothing to announce.
    const std::string held = slurp(kwinrc_);
    EXPECT_TRUE(settings_.switchOn().keys.empty());
    EXPECT_EQ(slurp(kwinrc_), held);

    ASSERT_TRUE(settings_.setTemperature(2500).ok());
    EXPECT_EQ(key("NightTemperature"), "2500");
    const SettingsChange off = settings_.switchOff();
    ASSERT_TRUE(off.ok()) << off.error;
    EXPECT_FALSE(off.keys.empty());
    EXPECT_EQ(slurp(kwinrc_), original);
    // The chosen warmth alone outlives off, and on brings it back.
    ASSERT_TRUE(settings_.switchOn().ok());
    EXPECT_EQ(key("NightTemperature"), "2500");
    ASSERT_TRUE(settings_.switchOff().ok());
    EXPECT_EQ(slurp(kwinrc_), original);
    fs::remove(record_);
  }
}

TEST_F(NightColorSettingsTest, TheUsersLatestChoiceIsKeptAndNeverOneOfOurs) {
  put(kwinrc_, "[NightColor]\nActive=true\nMode=Automatic\nNightTemperature=4000\n");
  ASSERT_TRUE(settings_.switchOn().ok());
  ASSERT_TRUE(settings_.switchOff().ok());
  EXPECT_EQ(key("Mode"), "Automatic");
  EXPECT_EQ(key("Active"), "false");  // off stays off, even under the user's own schedule
  EXPECT_EQ(key("NightTemperature"), "4000");

  // The panel turns Night Color off; Mode still holds ours, and re-enabling
  // must not take that Constant for the user's.
  ASSERT_TRUE(settings_.switchOn().ok());
  userSets("Active", "false");
  ASSERT_TRUE(settings_.switchOn().ok());
  ASSERT_TRUE(settings_.switchOff().ok());
  EXPECT_EQ(key("Mode"), "Automatic");

  // A schedule chosen while ours is in place replaces the older one on record.
  ASSERT_TRUE(settings_.switchOn().ok());
  userSets("Mode", "Location");
  ASSERT_TRUE(settings_.switchOn().ok());
  // A temperature the user picks after ours stays theirs.
  userSets("NightTemperature", "3900");
  ASSERT_TRUE(settings_.switchOff().ok());
  EXPECT_EQ(key("Mode"), "Location");
  EXPECT_EQ(key("NightTemperature"), "3900");
}

TEST_F(NightColorSettingsTest, NothingChangesUnlessTheRecordIsSavedAndTheLockHeld) {
  const std::string original = "[NightColor]\nActive=false\nMode=Times\n";
  put(kwinrc_, original);
  fs::create_directories(record_.parent_path().parent_path());
  put(record_.parent_path(), "a file where the record's directory should be");
  SettingsChange on = settings_.switchOn();
  EXPECT_NE(on.error.find(record_.parent_path().string()), std::string::npos) << on.error;
  EXPECT_TRUE(on.keys.empty());
  EXPECT_EQ(slurp(kwinrc_), original);
  fs::remove(record_.parent_path());

  // KConfig holds its lock while it writes: wait, then give up without writing.
  {
    ConfigLock theirs(kwinrc_.string());
    ASSERT_TRUE(theirs.locked());
    ConfigLock ours(kwinrc_.string(), 50);
    EXPECT_FALSE(ours.locked());
    EXPECT_NE(ours.error().find("held by another program"), std::string::npos) << ours.error();
  }
  // A lock left by a process that has died is taken over.
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  put(kwinrc_.string() + ".lock", std::to_string(child) + "\nkwin_wayland\n" + [] {
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    return std::string(host);
  }() + "\n");
  on = settings_.switchOn();
  ASSERT_TRUE(on.ok()) << on.error;
  EXPECT_EQ(key("Mode"), "Constant");
  EXPECT_FALSE(fs::exists(kwinrc_.string() + ".lock"));
}

// The user's kwinrc as people and tools leave it: on holds Night Color on as
// KWin reads it and off gives back every byte; a lock is never edited.
TEST_F(NightColorSettingsTest, ShapesOfTheUsersFileAreKeptOrRefusedWhole) {
  using Refusal = SettingsChange::Refusal;
  const std::pair<std::string, Refusal> cases[] = {
      {"[NightColor]\nActive[$d]\nMode=Times\n", Refusal::none},  // deleted: back to its default, whatever /etc says
      {"[Desktops]\nNumber=1", Refusal::none},
      {"[NightColor]\nMode=Times", Refusal::none},
      {"[Desktops]\r\nNumber=1\r\n", Refusal::none},
      {"[NightColor]\r\nActive=false\r\nMode=Times\r\n", Refusal::none},
      {"[NightColor][$i]\nActive=false\n", Refusal::locked},
      {"[NightColor]\nActive[$i]=false\nMode=Times\n", Refusal::locked},
  };
  for (const auto& [original, refusal] : cases) {
    SCOPED_TRACE(original);
    put(kwinrc_, original);
    const SettingsChange on = settings_.switchOn();
    EXPECT_EQ(on.refusal, refusal) << on.error;
    if (refusal != Refusal::none) {
      EXPECT_NE(on.error.find("is locked with [$i]"), std::string::npos) << on.error;
      EXPECT_EQ(slurp(kwinrc_), original);
      EXPECT_FALSE(fs::exists(record_)) << "recorded though nothing could be written";
      continue;
    }
    const std::string held = slurp(kwinrc_);
    EXPECT_TRUE(readsAsTrue(key("Active")));
    EXPECT_EQ(held.back() == '\n', original.back() == '\n') << "the final newline came or went";
    const bool crlf = original.find('\r') != std::string::npos;
    EXPECT_EQ(std::count(held.begin(), held.end(), '\r'), crlf ? std::count(held.begin(), held.end(), '\n') : 0);
    ASSERT_TRUE(settings_.switchOff().ok());
    EXPECT_EQ(slurp(kwinrc_), original);
  }

  // A hand-edited record: a value with a line break or a '[' never reaches kwinrc.
  put(kwinrc_, "[NightColor]\nMode=Times\n");
  ASSERT_TRUE(settings_.switchOn().ok());
  put(record_, "[Replaced]\nMode=Times\\n[Evil]\\nx=1\nNightTemperature=[4000\nUnset=Active\n");
  ASSERT_TRUE(settings_.switchOff().ok());
  EXPECT_EQ(slurp(kwinrc_).find('['), slurp(kwinrc_).rfind('[')) << slurp(kwinrc_);
}

// A lock still held when the process ends (a request in flight at exit) goes with it.
TEST_F(NightColorSettingsTest, ALockHeldAtExitIsRemoved) {
  const std::string lock = kwinrc_.string() + ".lock";
  const pid_t child = ::fork();
  if (child == 0) {
    std::thread([this] {
      ConfigLock held(kwinrc_.string());
      std::this_thread::sleep_for(std::chrono::hours(1));
    }).detach();
    while (!fs::exists(lock)) std::this_thread::yield();
    std::exit(0);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_FALSE(fs::exists(lock));
}

}  // namespace
}  // namespace duskwarden::provider::kde
