#include "ExecLineReader.h"
#include "TestEnvironment.h"
#include "loginitem/LaunchAtLogin.h"
#include "loginitem/AutostartAppService.h"
#include "platform/log/Logger.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <csignal>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace duskwarden {
namespace {
namespace fs = std::filesystem;
using duskwarden::testing::makeTempDir;
using duskwarden::testing::readFile;
using duskwarden::testing::ScopedEnv;

void writeFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  ASSERT_TRUE(out.good()) << path;
}

// A small program that proves it ran by writing the marker file named in $DW_MARKER.
fs::path makeProgram(const fs::path& dir, const std::string& name) {
  fs::create_directories(dir);
  const fs::path program = dir / name;
  writeFile(program, "#!/bin/sh\necho started > \"$DW_MARKER\"\n");
  fs::permissions(program, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  return program;
}

std::string replaceLine(std::string text, const std::string& from, const std::string& to) {
  const auto at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

class AutostartTest : public ::testing::Test {
 protected:
  fs::path root = makeTempDir("autostart");
  fs::path autostart = root / "config" / "autostart";
  fs::path program = makeProgram(root / "bin", "duskwarden");
  std::optional<fs::path> executable = program;
  AutostartAppService service{autostart, [this] { return executable; }, "Duskwarden"};
  fs::path entry = autostart / "com.quillmoor.Duskwarden.desktop";
};

TEST_F(AutostartTest, RegisterWritesAnEnabledEntryAndUnregisterRemovesIt) {
  EXPECT_EQ(service.entryPath(), entry);
  EXPECT_EQ(service.status(), AppServiceStatus::notRegistered);
  EXPECT_FALSE(service.unregisterService()) << "nothing to remove is not a failure";

  ASSERT_FALSE(service.registerService());  // also creates the missing directory
  EXPECT_EQ(service.status(), AppServiceStatus::enabled);
  const std::string text = readFile(entry);
  EXPECT_EQ(testing::rawValue(text, "Type"), "Application");
  EXPECT_EQ(testing::rawValue(text, "Name"), "Duskwarden");
  EXPECT_EQ(testing::rawValue(text, "Exec"), program.string() + " --autostart");
  EXPECT_EQ(testing::rawValue(text, "TryExec"), program.string());
  EXPECT_EQ(testing::rawValue(text, "X-GNOME-Autostart-enabled"), "true");
  EXPECT_TRUE(testing::rawValue(text, "Comment"));

  ASSERT_FALSE(service.registerService()) << "registering again rewrites the entry";
  EXPECT_EQ(service.status(), AppServiceStatus::enabled);

  ASSERT_FALSE(service.unregisterService());
  EXPECT_FALSE(fs::exists(entry));
  EXPECT_EQ(service.status(), AppServiceStatus::notRegistered);
}

// The user switched the entry off in the desktop's startup settings: register
// must not switch it back on, and unregister must not throw the choice away.
TEST_F(AutostartTest, AnEntryTheUserSwitchedOffIsLeftAsTheUserMadeIt) {
  const std::pair<std::string, std::string> switches[] = {
      {"X-GNOME-Autostart-enabled=true", "X-GNOME-Autostart-enabled=false"},
      {"Type=Application", "Type=Application\nHidden=true"},
  };
  for (const auto& [from, to] : switches) {
    SCOPED_TRACE(to);
    ASSERT_FALSE(service.registerService());
    const std::string switchedOff = replaceLine(readFile(entry), from, to);
    writeFile(entry, switchedOff);
    EXPECT_EQ(service.status(), AppServiceStatus::requiresApproval);

    const auto refused = service.registerService();
    ASSERT_TRUE(refused);
    EXPECT_NE(refused->localizedDescription.find("Startup Applications"), std::string::npos)
        << refused->localizedDescription;
    EXPECT_NE(refused->localizedDescription.find(entry.string()), std::string::npos);
    EXPECT_EQ(readFile(entry), switchedOff);

    EXPECT_FALSE(service.unregisterService());
    EXPECT_EQ(readFile(entry), switchedOff);
    EXPECT_EQ(service.status(), AppServiceStatus::requiresApproval);
    fs::remove(entry);
  }
}

// The user's own entry under our name is theirs: never replaced, never removed.
// One we wrote for this program elsewhere (an earlier install) is ours to replace.
TEST_F(AutostartTest, TheUsersOwnEntryIsLeftAloneButOneWeWroteElsewhereIsReplaced) {
  fs::create_directories(autostart);
  const fs::path other = makeProgram(root / "other", "duskwarden");
  for (const std::string& exec : {other.string(), std::string("sh -c \"sleep 20; exec duskwarden\""),
                                  "\"" + program.string(), program.string() + " --autostart\nTryExec=/nonexistent/x"}) {
    SCOPED_TRACE(exec);
    const std::string own = "[Desktop Entry]\nType=Application\nName=Duskwarden\nExec=" + exec + "\n";
    writeFile(entry, own);
    EXPECT_EQ(service.status(), AppServiceStatus::requiresApproval);
    const auto refused = service.registerService();
    ASSERT_TRUE(refused);
    EXPECT_NE(refused->localizedDescription.find(entry.string()), std::string::npos) << refused->localizedDescription;
    EXPECT_FALSE(service.unregisterService());
    EXPECT_EQ(readFile(entry), own);
  }

  const std::string stale = "[Desktop Entry]\nType=Application\nName=Duskwarden\nExec=" + other.string() +
                            " --autostart\nTryExec=" + other.string() + "\n";
  writeFile(entry, stale);
  EXPECT_EQ(service.status(), AppServiceStatus::notRegistered);
  EXPECT_FALSE(service.unregisterService());
  EXPECT_EQ(readFile(entry), stale);
  ASSERT_FALSE(service.registerService());
  EXPECT_EQ(service.status(), AppServiceStatus::enabled);
  EXPECT_EQ(testing::rawValue(readFile(entry), "Exec"), program.string() + " --autostart");
}

// Entries of earlier versions start us without --autostart: still ours and working.
TEST_F(AutostartTest, AnEntryStartingUsCountsAsOursWithOrWithoutTheLoginArgument) {
  fs::create_directories(autostart);
  writeFile(entry, "[Desktop Entry]\nType=Application\nName=D\nExec=" + program.string() + "\nTryExec=" +
                       program.string() + "\nX-GNOME-Autostart-enabled=true\n");
  EXPECT_EQ(service.status(), AppServiceStatus::enabled);
  // Through PATH, with arguments and a field code, and a disabled one read as such.
  ScopedEnv path("PATH", program.parent_path().string() + ":/usr/bin:/bin");
  writeFile(entry, "[Desktop Entry]\nType=Application\nName=D\nExec=duskwarden --quiet %U\n");
  EXPECT_EQ(service.status(), AppServiceStatus::enabled);
  writeFile(entry, "[Desktop Entry]\nType=Application\nName=D\nExec=duskwarden\nHidden=true\n");
  EXPECT_EQ(service.status(), AppServiceStatus::requiresApproval);

  // A dotfile manager's link to our entry: updated where it points.
  const fs::path kept = root / "dotfiles" / "dw.desktop";
  fs::create_directories(kept.parent_path());
  writeFile(kept, "[Desktop Entry]\nType=Application\nName=D\nExec=" + program.string() + "\n");
  fs::remove(entry);
  fs::create_symlink(kept, entry);
  EXPECT_EQ(service.status(), AppServiceStatus::enabled);
  ASSERT_FALSE(service.registerService());
  EXPECT_TRUE(fs::is_symlink(entry));
  EXPECT_EQ(testing::rawValue(readFile(kept), "Exec"), program.string() + " --autostart");
}

// Registered again at every launch while Keep Always On is set: the entry
// stays as the user keeps it, a moved program is put right in place, and a
// write that fails (a full disk) leaves the entry as it was.
TEST_F(AutostartTest, AnEntryOfOursIsKeptInPlaceWithTheKeysTheUserAdded) {
  ASSERT_FALSE(service.registerService());
  const std::string mine = "# mine\n" + readFile(entry) + "X-GNOME-Autostart-Delay = 10\n";
  writeFile(entry, mine);
  ASSERT_FALSE(service.registerService());
  EXPECT_EQ(readFile(entry), mine);

  executable = makeProgram(root / "moved", "duskwarden");
  const pid_t child = ::fork();
  if (child == 0) {
    const rlimit tiny{16, 16};  // a file may grow to 16 bytes: a full disk, as a write sees it
    ::signal(SIGXFSZ, SIG_IGN);
    ::_exit(::setrlimit(RLIMIT_FSIZE, &tiny) == 0 && service.registerService() ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the failed write was not reported";
  EXPECT_EQ(readFile(entry), mine);

  ASSERT_FALSE(service.registerService());
  std::string moved = replaceLine(mine, "Exec=" + program.string(), "Exec=" + executable->string());
  moved = replaceLine(moved, "TryExec=" + program.string(), "TryExec=" + executable->string());
  EXPECT_EQ(readFile(entry), moved);
  EXPECT_EQ(service.status(), AppServiceStatus::enabled);
}

TEST_F(AutostartTest, AnUnwritableAutostartLocationIsReported) {
  // A regular file where the directory should be stops root as well.
  fs::create_directories(autostart.parent_path());
  writeFile(autostart, "in the way");
  const auto error = service.registerService();
  ASSERT_TRUE(error);
  EXPECT_EQ(error->localizedDescription.rfind("Could not write the autostart entry " + entry.string() + ": ", 0), 0u)
      << error->localizedDescription;
  EXPECT_EQ(service.status(), AppServiceStatus::notRegistered);
}

TEST_F(AutostartTest, AnUnresolvableExecutableIsNotFound) {
  ASSERT_FALSE(service.registerService());
  const std::string written = readFile(entry);

  for (auto missing : {std::optional<fs::path>{}, std::optional<fs::path>{root / "bin" / "gone"},
                       std::optional<fs::path>{fs::path("relative/duskwarden")}}) {
    executable = missing;
    EXPECT_EQ(service.status(), AppServiceStatus::notFound);
    EXPECT_TRUE(service.registerService());
    EXPECT_TRUE(service.unregisterService()) << "an entry we cannot identify was treated as removed";
    EXPECT_EQ(readFile(entry), written);
  }
  fs::remove(entry);
  EXPECT_FALSE(service.unregisterService()) << "no entry: nothing to do, even without an executable";
}

TEST_F(AutostartTest, AnAwkwardExecutablePathStillStartsTheProgram) {
  const fs::path dir = root / "odd dir 'single' \"double\" 100% $HOME `tick` back\\slash";
  const fs::path awkward = makeProgram(dir, "run me %u;#");
  executable = awkward;
  ASSERT_FALSE(service.registerService());
  EXPECT_EQ(service.status(), AppServiceStatus::enabled);

  const fs::path saved = duskwarden::testing::artifactsDir() / "autostart-awkward-path.desktop";
  fs::create_directories(saved.parent_path());
  fs::copy_file(entry, saved, fs::copy_options::overwrite_existing);

  const std::string validate = "desktop-file-validate '" + entry.string() + "' 2>&1";
  const int rc = std::system(validate.c_str());
  ASSERT_TRUE(WIFEXITED(rc));
  EXPECT_EQ(WEXITSTATUS(rc), 0) << readFile(entry);

  const std::string text = readFile(entry);
  const auto exec = testing::rawValue(text, "Exec");
  ASSERT_TRUE(exec);
  const auto args = testing::launcherArguments(testing::unescapeKeyFileString(*exec));
  ASSERT_TRUE(args) << *exec;
  ASSERT_EQ(*args, (std::vector<std::string>{awkward.string(), "--autostart"})) << *exec;
  EXPECT_EQ(testing::unescapeKeyFileString(testing::rawValue(text, "TryExec").value_or("")), awkward.string());

  // Start it from the split arguments, as a session would.
  const fs::path marker = root / "started";
  ScopedEnv markerEnv("DW_MARKER", marker.string());
  std::vector<char*> argv;
  for (const auto& a : *args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  gint status = -1;
  GError* error = nullptr;
  ASSERT_TRUE(g_spawn_sync(nullptr, argv.data(), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr, nullptr,
                           &status, &error))
      << (error ? error->message : "");
  EXPECT_TRUE(g_spawn_check_wait_status(status, nullptr));
  EXPECT_EQ(readFile(marker), "started\n");
}

TEST(AutostartLocations, FollowTheBaseDirectoryRules) {
  const std::string home = makeTempDir("home").string();
  ScopedEnv homeEnv("HOME", home);
  {
    ScopedEnv config("XDG_CONFIG_HOME", "/custom/config");
    EXPECT_EQ(AutostartAppService::userAutostartDirectory(), fs::path("/custom/config/autostart"));
  }
  for (const char* ignored : {"", "relative/config"}) {
    ScopedEnv config("XDG_CONFIG_HOME", ignored);
    EXPECT_EQ(AutostartAppService::userAutostartDirectory(), fs::path(home) / ".config" / "autostart") << ignored;
  }
  {
    ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(AutostartAppService::userAutostartDirectory(), fs::path(home) / ".config" / "autostart");
  }

  const auto self = AutostartAppService::runningExecutable();
  ASSERT_TRUE(self);
  EXPECT_TRUE(fs::equivalent(*self, "/proc/self/exe"));
}

// LaunchAtLogin over the real entry, end to end.
TEST_F(AutostartTest, LaunchAtLoginFollowsTheRealEntry) {
  auto sink = std::make_shared<MemoryLogSink>();
  setLogSinks({sink});
  LaunchAtLogin login(service);

  login.setEnabled(true);
  EXPECT_TRUE(login.isEnabled());
  login.setEnabled(true);
  EXPECT_TRUE(login.isEnabled());
  login.setEnabled(false);
  EXPECT_FALSE(login.isEnabled());
  EXPECT_FALSE(fs::exists(entry));
  EXPECT_TRUE(sink->messages("main").empty());

  login.setEnabled(true);
  writeFile(entry, replaceLine(readFile(entry), "X-GNOME-Autostart-enabled=true", "X-GNOME-Autostart-enabled=false"));
  login.setEnabled(true);
  EXPECT_FALSE(login.isEnabled());
  const auto messages = sink->messages("main");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("Failed to enable launch at login: Launch at login is switched off", 0), 0u)
      << messages[0];

  setLogSinks({});
}

}  // namespace
}  // namespace duskwarden
