// The settings file and the autostart entry when something hostile or
// damaged sits at their paths: each call must return promptly, log the path,
// and leave on disk only what the rules allow.
#include "TestEnvironment.h"
#include "Wait.h"
#include "loginitem/LaunchAtLogin.h"
#include "loginitem/AutostartAppService.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/log/Logger.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>

namespace duskwarden {
namespace {
namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

mode_t typeOf(const fs::path& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

using testing::withinBound;

enum class Defaults { backedUp, refused };

struct Row {
  const char* name;
  // Puts the case at `path`; `dir` is the test's own scratch directory.
  std::function<bool(const fs::path& path, const fs::path& dir, const std::string& content)> make;
  Defaults defaults;
};

bool regular(const fs::path& path, const fs::path&, const std::string& content) {
  writeFile(path, content);
  return true;
}

const std::string kUserFile = "export PS1='$ '\n";
const std::string kBig = std::string(2 * 1024 * 1024, '#') + "\n";

const Row kRows[] = {
    {"LinkToAUserFile",
     [](const fs::path& p, const fs::path& d, const std::string&) {
       writeFile(d / ".bashrc", kUserFile);
       fs::create_symlink(d / ".bashrc", p);
       return true;
     },
     Defaults::backedUp},
    // Never a system path such as /dev/zero: a faulty write would replace the real node.
    {"LinkToACharacterDevice",
     [](const fs::path& p, const fs::path& d, const std::string&) {
       if (::mknod((d / "zero").c_str(), S_IFCHR | 0600, makedev(1, 5)) != 0) return false;
       fs::create_symlink(d / "zero", p);
       return true;
     },
     Defaults::refused},
    {"Fifo", [](const fs::path& p, const fs::path&, const std::string&) { return ::mkfifo(p.c_str(), 0600) == 0; },
     Defaults::refused},
    {"Directory", [](const fs::path& p, const fs::path&, const std::string&) { return fs::create_directory(p); },
     Defaults::refused},
    {"DanglingLink",
     [](const fs::path& p, const fs::path& d, const std::string&) { return fs::create_symlink(d / "gone", p), true; },
     Defaults::refused},
    {"LoopingLink",
     [](const fs::path& p, const fs::path&, const std::string&) { return fs::create_symlink(p.filename(), p), true; },
     Defaults::refused},
    {"Oversized", [](const fs::path& p, const fs::path& d, const std::string& c) { return regular(p, d, c + kBig); },
     Defaults::backedUp},
    {"Binary",
     [](const fs::path& p, const fs::path& d, const std::string&) {
       return regular(p, d, std::string("\x7f" "ELF\x02\x01\x01\x00\xff\xfe\x80", 11));
     },
     Defaults::backedUp},
    {"EmbeddedNul",
     [](const fs::path& p, const fs::path& d, const std::string& c) { return regular(p, d, c + std::string(1, '\0') + "x=1\n"); },
     Defaults::backedUp},
    {"CommentAndTypo",
     [](const fs::path& p, const fs::path& d, const std::string& c) {
       return regular(p, d, "# my note\n" + c + "this line has a typo\n");
     },
     Defaults::backedUp},
};

class UserFilesTest : public ::testing::TestWithParam<Row> {
 protected:
  void SetUp() override { setLogSinks({sink}); }
  void TearDown() override { setLogSinks({}); }

  // Sets the row up at `path`; what is there, to compare with afterwards.
  std::string setUp(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    return GetParam().make(path, dir, content) ? onDisk(path) : "";
  }
  // The kind of file at `path` (and behind a link), with a regular file's bytes.
  std::string onDisk(const fs::path& path) {
    const mode_t type = typeOf(path);
    std::error_code ec;
    const fs::path target = type == S_IFLNK ? path.parent_path() / fs::read_symlink(path, ec) : fs::path();
    return std::to_string(type) + (type == S_IFREG ? readFile(path) : "") +
           (type == S_IFLNK ? target.string() + std::to_string(typeOf(target)) : "");
  }
  std::vector<std::string> logged(LogLevel level, const std::string& needle) {
    std::vector<std::string> out;
    for (const auto& e : sink->entries())
      if (e.level == level && e.message.find(needle) != std::string::npos) out.push_back(e.message);
    return out;
  }

  std::shared_ptr<MemoryLogSink> sink = std::make_shared<MemoryLogSink>();
  fs::path dir = testing::makeTempDir("userfiles");
};

TEST_P(UserFilesTest, DefaultsFileReadsUnknownAndIsBackedUpOrLeftAlone) {
  const fs::path path = dir / "config" / "defaults.conf";
  const std::string before = setUp(path, "[Defaults]\nautoEnable=true\n");
  if (before.empty()) GTEST_SKIP() << "cannot make this case here";
  const std::string userFile = fs::exists(dir / ".bashrc") ? readFile(dir / ".bashrc") : "";

  std::optional<bool> read = true;
  withinBound("reading", [&] { read = UserDefaults(path).readBool(Setting::autoEnable); });
  EXPECT_EQ(read, std::nullopt);
  EXPECT_EQ(logged(LogLevel::error, "Could not read the defaults file " + path.string()).size(), 1u);

  withinBound("writing", [&] { UserDefaults(path).setBool(false, Setting::autoEnable); });
  if (GetParam().defaults == Defaults::refused) {
    EXPECT_EQ(onDisk(path), before);
    EXPECT_EQ(logged(LogLevel::error, "Not replacing the defaults file " + path.string()).size(), 1u);
    EXPECT_FALSE(fs::exists(fs::symlink_status(path.string() + ".bak")));
  } else {
    EXPECT_EQ(onDisk(fs::path(path.string() + ".bak")), before) << "the damaged file is kept as it was";
    EXPECT_EQ(typeOf(path), static_cast<mode_t>(S_IFREG));
    EXPECT_EQ(UserDefaults(path).readBool(Setting::autoEnable), false);
    EXPECT_EQ(logged(LogLevel::defaultLevel, "Kept the damaged defaults file " + path.string()).size(), 1u);
  }
  if (!userFile.empty()) {
    EXPECT_EQ(readFile(dir / ".bashrc"), userFile) << "wrote through the link";
  }
}

TEST_P(UserFilesTest, AutostartEntryIsRefusedAndLeftAlone) {
  const fs::path program = dir / "bin" / "duskwarden";
  fs::create_directories(program.parent_path());
  writeFile(program, "#!/bin/sh\n");
  fs::permissions(program, fs::perms::owner_all);
  AutostartAppService service(dir / "autostart", [&] { return std::optional<fs::path>(program); }, "Duskwarden");
  const std::string before =
      setUp(service.entryPath(), "[Desktop Entry]\nType=Application\nName=D\nExec=" + program.string() + "\n");
  if (before.empty()) GTEST_SKIP() << "cannot make this case here";

  LaunchAtLogin login(service);
  withinBound("register and unregister", [&] {
    EXPECT_EQ(service.status(), AppServiceStatus::requiresApproval);
    login.setEnabled(true);
    login.setEnabled(false);
  });
  EXPECT_EQ(onDisk(service.entryPath()), before);
  EXPECT_EQ(logged(LogLevel::error, "Failed to enable launch at login: The autostart entry " +
                                        service.entryPath().string()).size(),
            1u);
}

INSTANTIATE_TEST_SUITE_P(Paths, UserFilesTest, ::testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });

// What people write for yes and no, and a write that keeps their notes.
TEST(DefaultsSpellings, AreReadAsWrittenAndAWriteKeepsCommentsAndOtherKeys) {
  auto sink = std::make_shared<MemoryLogSink>();
  setLogSinks({sink});
  const fs::path path = testing::makeTempDir("spellings") / "defaults.conf";
  const std::pair<const char*, std::optional<bool>> spellings[] = {
      {"TRUE", true}, {"True", true}, {"yes", true},   {" on ", true},      {"1", true},   {"true  # on", true},
      {"Off", false}, {"NO", false},  {"0", false},    {"banana", std::nullopt}, {"", std::nullopt}};
  for (const auto& [text, expected] : spellings) {
    writeFile(path, std::string("[Defaults]\nautoEnable=") + text + "\n");
    UserDefaults d(path);
    EXPECT_EQ(d.readBool(Setting::autoEnable), expected) << "'" << text << "'";
    EXPECT_EQ(d.readBool(Setting::autoEnable), expected);
  }
  EXPECT_EQ(sink->entries().size(), 2u) << "one line for each of banana and the empty value";

  writeFile(path, "# my note\n[Defaults]\n# why\nautoEnable=yes  # keep it on\nother=x\n[Mine]\nk=v\n");
  UserDefaults(path).setBool(false, Setting::autoEnable);
  // Blank lines between groups are GLib's to place (2.74 adds them, 2.84 does not).
  std::string written = readFile(path);
  written.erase(std::unique(written.begin(), written.end(), [](char a, char b) { return a == '\n' && b == '\n'; }),
                written.end());
  EXPECT_EQ(written, "# my note\n[Defaults]\n# why\nautoEnable=false  # keep it on\nother=x\n[Mine]\nk=v\n");
  setLogSinks({});
}

}  // namespace
}  // namespace duskwarden
