#include "platform/defaults/UserDefaults.h"
#include "platform/log/Logger.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <glib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

using duskwarden::LogLevel;
using duskwarden::MemoryLogSink;
using duskwarden::Setting;
using duskwarden::UserDefaults;
using duskwarden::testing::makeTempDir;
using duskwarden::testing::ScopedEnv;
namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void writeFile(const fs::path& p, const std::string& content) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << content;
}

// Parses the file independently of UserDefaults; fails the test if it does not parse.
bool storedBool(const fs::path& p, const char* group, const char* key) {
  GKeyFile* f = g_key_file_new();
  GError* err = nullptr;
  bool value = false;
  if (!g_key_file_load_from_file(f, p.c_str(), G_KEY_FILE_NONE, &err)) {
    ADD_FAILURE() << "not a valid key file: " << err->message;
    g_error_free(err);
  } else {
    value = g_key_file_get_boolean(f, group, key, &err);
    if (err) {
      ADD_FAILURE() << "key " << group << "/" << key << ": " << err->message;
      g_error_free(err);
    }
  }
  g_key_file_free(f);
  return value;
}

class UserDefaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sink_ = std::make_shared<MemoryLogSink>();
    duskwarden::setLogSinks({sink_});
    dir_ = makeTempDir("defaults");
    file_ = dir_ / "com.quillmoor.Duskwarden" / "defaults.conf";
  }
  void TearDown() override { duskwarden::setLogSinks({}); }

  std::vector<duskwarden::LogEntry> errors() const {
    std::vector<duskwarden::LogEntry> out;
    for (auto& e : sink_->entries())
      if (e.level == LogLevel::error) out.push_back(e);
    return out;
  }

  std::shared_ptr<MemoryLogSink> sink_;
  fs::path dir_;
  fs::path file_;
};

TEST_F(UserDefaultsTest, MissingFileAndMissingKeyReadFalseWithoutErrors) {
  UserDefaults d(file_);
  EXPECT_FALSE(d.boolForKey(Setting::autoEnable));
  EXPECT_FALSE(fs::exists(file_)) << "reading must not create the file";
  EXPECT_TRUE(sink_->entries().empty());
}

TEST_F(UserDefaultsTest, ValueSurvivesIntoAFreshInstanceThatRereadsTheFile) {
  {
    UserDefaults d(file_);
    d.setBool(true, Setting::autoEnable);
    EXPECT_TRUE(d.boolForKey(Setting::autoEnable));
  }
  EXPECT_TRUE(storedBool(file_, "Defaults", "autoEnable"));
  // Change the file behind the library's back: a new instance must see it.
  writeFile(file_, "[Defaults]\nautoEnable=false\nother=true\n");
  UserDefaults again(file_);
  EXPECT_FALSE(again.boolForKey(Setting::autoEnable));
  again.setBool(true, Setting::autoEnable);
  EXPECT_TRUE(storedBool(file_, "Defaults", "other"));
  UserDefaults third(file_);
  EXPECT_TRUE(third.boolForKey(Setting::autoEnable));
  EXPECT_TRUE(errors().empty());
}

TEST_F(UserDefaultsTest, CreatesItsDirectoryPrivateToTheUser) {
  UserDefaults d(file_);
  d.setBool(false, Setting::autoEnable);
  ASSERT_TRUE(fs::exists(file_));
  struct stat st {};
  ASSERT_EQ(::stat(file_.parent_path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  // Written false is stored as false, not left out.
  EXPECT_FALSE(storedBool(file_, "Defaults", "autoEnable"));
  EXPECT_NE(readFile(file_).find("autoEnable=false"), std::string::npos);
}

TEST_F(UserDefaultsTest, WriteKeepsOtherKeysGroupsAndComments) {
  writeFile(file_,
            "# kept comment\n[Other]\nname=value with spaces\nlist=a;b;c;\n"
            "[Defaults]\nautoEnable=false\nsomethingElse=true\nnumber=42\n");
  UserDefaults d(file_);
  d.setBool(true, Setting::autoEnable);
  const std::string text = readFile(file_);
  EXPECT_NE(text.find("# kept comment"), std::string::npos) << text;
  EXPECT_NE(text.find("name=value with spaces"), std::string::npos) << text;
  EXPECT_NE(text.find("list=a;b;c;"), std::string::npos) << text;
  EXPECT_NE(text.find("number=42"), std::string::npos) << text;
  EXPECT_TRUE(storedBool(file_, "Defaults", "somethingElse"));
  EXPECT_TRUE(storedBool(file_, "Defaults", "autoEnable"));
}

TEST_F(UserDefaultsTest, WriteKeepsKeysAddedByOthersAfterStart) {
  writeFile(file_, "[Defaults]\nautoEnable=false\n");
  UserDefaults d(file_);
  // Someone edits the file while we run; our next write must not undo that.
  writeFile(file_, "[Defaults]\nautoEnable=false\nhandEdited=true\n[Extra]\nk=v\n");
  d.setBool(true, Setting::autoEnable);
  EXPECT_TRUE(storedBool(file_, "Defaults", "handEdited"));
  EXPECT_NE(readFile(file_).find("k=v"), std::string::npos);
  EXPECT_TRUE(storedBool(file_, "Defaults", "autoEnable"));
}

TEST_F(UserDefaultsTest, NonBooleanValuesReadUnknownAndOtherKeysAndGroupsAreNotTheSetting) {
  const std::pair<const char*, std::optional<bool>> files[] = {
      {"[Defaults]\nautoEnable=banana\n", std::nullopt},
      {"[Defaults]\nautoEnable=1\n", true},  // GLib's key files accept 1/0 as booleans
      {"[Defaults]\nautoEnable=\n", std::nullopt},
      {"[Defaults]\nother=true\n[Elsewhere]\nautoEnable=true\n", false},  // only [Defaults] is read
  };
  for (const auto& [text, expected] : files) {
    writeFile(file_, text);
    EXPECT_EQ(UserDefaults(file_).readBool(Setting::autoEnable), expected) << text;
  }
}

TEST_F(UserDefaultsTest, WriteReplacesTheFileByRenameAndLeavesNoTemporaryFile) {
  UserDefaults d(file_);
  d.setBool(true, Setting::autoEnable);
  struct stat before {};
  ASSERT_EQ(::stat(file_.c_str(), &before), 0);
  // Hold the old file open: a rename leaves it intact, an in-place rewrite would not.
  std::ifstream oldHandle(file_);
  const std::string oldText = readFile(file_);
  d.setBool(false, Setting::autoEnable);
  struct stat after {};
  ASSERT_EQ(::stat(file_.c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino);
  std::stringstream viaOldHandle;
  viaOldHandle << oldHandle.rdbuf();
  EXPECT_EQ(viaOldHandle.str(), oldText);
  std::vector<std::string> names;
  for (auto& e : fs::directory_iterator(file_.parent_path())) names.push_back(e.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"defaults.conf"});
  // Setting what the file already says (every launch does) writes nothing.
  d.setBool(false, Setting::autoEnable);
  struct stat again {};
  ASSERT_EQ(::stat(file_.c_str(), &again), 0);
  EXPECT_EQ(again.st_ino, after.st_ino);
}

TEST_F(UserDefaultsTest, ConcurrentReaderNeverSeesAPartialFile) {
  // A long file makes a torn write visible if writing were not atomic.
  std::string big = "[Padding]\n";
  for (int i = 0; i < 2000; ++i) big += "key" + std::to_string(i) + "=some padding text to make the file long\n";
  writeFile(file_, big + "[Defaults]\nautoEnable=false\n");
  UserDefaults d(file_);
  std::atomic<bool> done{false};
  std::atomic<int> reads{0}, torn{0};
  std::thread reader([&] {
    while (!done.load()) {
      const std::string text = readFile(file_);
      if (text.empty()) continue;  // cannot happen with rename, but do not count it as a read
      ++reads;
      if (text.find("key1999=") == std::string::npos || text.find("autoEnable=") == std::string::npos) ++torn;
    }
  });
  for (int i = 0; i < 100; ++i) d.setBool(i % 2 == 0, Setting::autoEnable);
  done = true;
  reader.join();
  EXPECT_GT(reads.load(), 0);
  EXPECT_EQ(torn.load(), 0);
  EXPECT_FALSE(storedBool(file_, "Defaults", "autoEnable"));
}

struct CorruptCase {
  const char* name;
  std::string content;
};

class CorruptFileTest : public UserDefaultsTest, public ::testing::WithParamInterface<CorruptCase> {};

TEST_P(CorruptFileTest, ReadsUnknownLogsOneErrorAndNextWriteKeepsABackupFirst) {
  writeFile(file_, GetParam().content);
  UserDefaults d(file_);
  EXPECT_EQ(d.readBool(Setting::autoEnable), std::nullopt);
  EXPECT_FALSE(d.boolForKey(Setting::autoEnable));
  auto errs = errors();
  ASSERT_EQ(errs.size(), 1u);
  EXPECT_EQ(errs[0].subsystem, "com.quillmoor.Duskwarden");
  EXPECT_EQ(errs[0].category, "UserDefaults");
  EXPECT_NE(errs[0].message.find(file_.string()), std::string::npos) << errs[0].message;
  // Reads after the first do not repeat the error.
  EXPECT_FALSE(d.boolForKey(Setting::autoEnable));
  d.setBool(true, Setting::autoEnable);
  EXPECT_EQ(errors().size(), 1u);
  EXPECT_TRUE(storedBool(file_, "Defaults", "autoEnable"));
  EXPECT_TRUE(UserDefaults(file_).boolForKey(Setting::autoEnable));
  EXPECT_EQ(readFile(file_.string() + ".bak"), GetParam().content);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, CorruptFileTest,
    ::testing::Values(CorruptCase{"BinaryGarbage", std::string("\x00\x01\xff\xfe[\x7f\x80=\n\x00zz", 12)},
                      CorruptCase{"InvalidUtf8", "[Defaults]\nautoEnable=true\n\xc3\x28\xa0\xa1=true\n"},
                      CorruptCase{"LineWithoutEquals", "[Defaults]\nautoEnable=true\njust some words\n"},
                      CorruptCase{"KeyBeforeAnyGroup", "autoEnable=true\n"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(UserDefaultsTest, PathThatIsADirectoryIsUnreadableEvenForRoot) {
  fs::create_directories(file_);
  UserDefaults d(file_);
  EXPECT_FALSE(d.boolForKey(Setting::autoEnable));
  ASSERT_EQ(errors().size(), 1u);
  // The write cannot replace a directory: it fails loudly, says why, and the setting stays as it was.
  const auto failure = d.setBool(true, Setting::autoEnable);
  EXPECT_EQ(errors().size(), 2u);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->rfind("Could not write the defaults file " + file_.string() + ": ", 0), 0u) << *failure;
  EXPECT_FALSE(d.boolForKey(Setting::autoEnable));
  EXPECT_TRUE(fs::is_directory(file_));
}

TEST_F(UserDefaultsTest, FileWithoutReadPermissionIsUnknownAndNotReplaced) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads files regardless of their mode";
  writeFile(file_, "[Defaults]\nautoEnable=true\n");
  fs::permissions(file_, fs::perms::none);
  UserDefaults d(file_);
  EXPECT_EQ(d.readBool(Setting::autoEnable), std::nullopt);
  EXPECT_EQ(errors().size(), 1u);
  d.setBool(false, Setting::autoEnable);
  EXPECT_EQ(errors().size(), 2u);
  fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_TRUE(storedBool(file_, "Defaults", "autoEnable"));
}

TEST_F(UserDefaultsTest, UnwritableDirectoryLogsAndTheSettingStaysAsItWas) {
  // The would-be parent directory is a regular file: creation fails even for root.
  writeFile(dir_ / "com.quillmoor.Duskwarden", "not a directory");
  UserDefaults d(file_);
  EXPECT_EQ(d.readBool(Setting::autoEnable), false) << "no file can be below a regular file";
  d.setBool(true, Setting::autoEnable);
  auto errs = errors();
  ASSERT_EQ(errs.size(), 1u);
  EXPECT_NE(errs[0].message.find("com.quillmoor.Duskwarden"), std::string::npos) << errs[0].message;
  EXPECT_NE(errs[0].message.find("Not a directory"), std::string::npos) << errs[0].message;
  EXPECT_FALSE(d.boolForKey(Setting::autoEnable));
  EXPECT_FALSE(UserDefaults(file_).boolForKey(Setting::autoEnable));

  // Once the obstacle is gone, a write stores what it sets, and nothing that was refused.
  EXPECT_TRUE(d.setBool(true, Setting::autoEnable));
  fs::remove(dir_ / "com.quillmoor.Duskwarden");
  EXPECT_FALSE(d.boolForKey(Setting::autoEnable));
  EXPECT_EQ(d.setBool(false, Setting::autoEnable), std::nullopt);
  EXPECT_EQ(readFile(file_), "[Defaults]\nautoEnable=false\n");
}

// Every setting's key is checked against this when the program is built.
TEST(SettingKeys, KeysThatWouldBreakTheFileAreRefused) {
  for (const char* bad : {"", "a=b", "line\nbreak", "[group]", " padded", "#note"})
    EXPECT_FALSE(duskwarden::isStorableKey(bad)) << bad;
}

TEST_F(UserDefaultsTest, SymlinkedFileIsUpdatedInPlaceOfItsTarget) {
  const fs::path real = dir_ / "dotfiles" / "defaults.conf";
  writeFile(real, "[Defaults]\nautoEnable=false\n");
  fs::create_directories(file_.parent_path());
  fs::create_symlink(real, file_);
  UserDefaults d(file_);
  d.setBool(true, Setting::autoEnable);
  EXPECT_TRUE(fs::is_symlink(file_));
  EXPECT_TRUE(storedBool(real, "Defaults", "autoEnable"));
}

TEST_F(UserDefaultsTest, ConcurrentWritersLoseNoKey) {
  writeFile(file_, "[Defaults]\nk0=true\nk1=true\nk2=true\nk3=true\n");
  UserDefaults d(file_);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 10; ++i) d.setBool((t + i) % 2 == 0, Setting::autoEnable);
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(UserDefaults(file_).readBool(Setting::autoEnable), d.readBool(Setting::autoEnable));
  for (const char* key : {"k0", "k1", "k2", "k3"}) EXPECT_TRUE(storedBool(file_, "Defaults", key)) << key;
}

struct PathCase {
  const char* name;
  const char* xdg;  // nullptr: unset
  bool usesXdg;
};

class DefaultPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(DefaultPathTest, FollowsTheXdgRules) {
  const std::string home = "/home/someone";
  ScopedEnv h("HOME", home);
  std::string xdg = GetParam().xdg ? GetParam().xdg : "";
  ScopedEnv x("XDG_CONFIG_HOME", GetParam().xdg ? &xdg : nullptr);
  const fs::path expected = GetParam().usesXdg ? fs::path(xdg) : fs::path(home) / ".config";
  EXPECT_EQ(UserDefaults::defaultPath(), expected / "com.quillmoor.Duskwarden" / "defaults.conf");
}

INSTANTIATE_TEST_SUITE_P(Env, DefaultPathTest,
                         ::testing::Values(PathCase{"Absolute", "/tmp/xdg-config", true},
                                           PathCase{"Unset", nullptr, false}, PathCase{"Empty", "", false},
                                           PathCase{"Relative", "relative/config", false}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(UserDefaultsStandard, IsOneInstanceAtTheDefaultPath) {
  auto& a = UserDefaults::standard();
  EXPECT_EQ(&a, &UserDefaults::standard());
  EXPECT_EQ(a.path(), UserDefaults::defaultPath());
}

}  // namespace
