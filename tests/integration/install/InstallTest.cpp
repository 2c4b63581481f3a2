// `cmake --install` of this build tree into a temporary prefix: the installed
// program runs and finds its provider, the desktop entry and the AppStream
// metadata validate, and the uninstall target takes everything away again.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "TestEnvironment.h"
#include "duskwarden/nightlight.h"
#include "duskwarden_build_info.h"
#include "e2e/lib/Command.h"

namespace fs = std::filesystem;
using duskwarden::testing::runCommand;
using duskwarden::testing::shellQuote;

namespace {

fs::path buildDir() {
  const char* dir = std::getenv("DW_BUILD_DIR");
  return dir ? fs::path(dir) : fs::path();
}

// The build tree keeps one install_manifest.txt, which the uninstall target
// reads; a developer's own install record must survive this test.
class ManifestGuard {
 public:
  explicit ManifestGuard(fs::path manifest) : manifest_(std::move(manifest)) {
    if (fs::exists(manifest_)) {
      saved_ = manifest_;
      saved_->replace_extension(".txt.test-saved");
      fs::copy_file(manifest_, *saved_, fs::copy_options::overwrite_existing);
    }
  }
  ~ManifestGuard() {
    std::error_code ec;
    if (saved_) {
      fs::rename(*saved_, manifest_, ec);
    } else {
      fs::remove(manifest_, ec);
    }
  }
  ManifestGuard(const ManifestGuard&) = delete;
  ManifestGuard& operator=(const ManifestGuard&) = delete;

 private:
  fs::path manifest_;
  std::optional<fs::path> saved_;
};

std::string readFile(const fs::path& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The value of `key` in the [Desktop Entry] group (simple keys, no locale).
std::string desktopValue(const std::string& entry, const std::string& key) {
  std::istringstream lines(entry);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  }
  return {};
}

class InstallTree : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(buildDir().empty()) << "DW_BUILD_DIR is not set";
    prefix_ = duskwarden::testing::makeTempDir("prefix");
    const auto install = runCommand("cmake --install " + shellQuote(buildDir()) + " --prefix " + shellQuote(prefix_));
    ASSERT_EQ(install.status, 0) << install.output;
  }

  fs::path prefix_;
  ManifestGuard manifest_{buildDir() / "install_manifest.txt"};
};

TEST_F(InstallTree, PutsProgramProviderEntryIconsAndManPageInPlace) {
  const fs::path binary = prefix_ / "bin/duskwarden";
  ASSERT_TRUE(fs::exists(binary));
  EXPECT_NE(fs::status(binary).permissions() & fs::perms::owner_exec, fs::perms::none);

  // The program looks for its provider relative to itself.
  const fs::path provider = (binary.parent_path() / DW_PROVIDER_RELPATH).lexically_normal();
  EXPECT_EQ(provider, prefix_ / "lib/duskwarden/libduskwarden-nightlight.so");
  EXPECT_TRUE(fs::exists(provider));

  const fs::path entry = prefix_ / "share/applications/com.quillmoor.Duskwarden.desktop";
  ASSERT_TRUE(fs::exists(entry));
  const auto validate = runCommand("desktop-file-validate " + shellQuote(entry));
  EXPECT_EQ(validate.status, 0) << validate.output;
  EXPECT_TRUE(validate.output.empty()) << validate.output;  // no warnings or hints either

  // What the menu launches and shows must be what was installed.
  const std::string text = readFile(entry);
  EXPECT_TRUE(fs::exists(prefix_ / "bin" / desktopValue(text, "Exec"))) << desktopValue(text, "Exec");
  EXPECT_TRUE(fs::exists(prefix_ / "share/icons/hicolor/scalable/apps" / (desktopValue(text, "Icon") + ".svg")))
      << desktopValue(text, "Icon");

  int symbols = 0;
  for (const auto& icon : fs::directory_iterator(prefix_ / "share/icons/hicolor/scalable/status")) {
    EXPECT_EQ(icon.path().filename().string().rfind("com.quillmoor.Duskwarden.", 0), 0u) << icon.path();
    ++symbols;
  }
  EXPECT_GE(symbols, 4);

  const fs::path man = prefix_ / "share/man/man1/duskwarden.1.gz";
  ASSERT_TRUE(fs::exists(man));
  const auto page = runCommand("gzip -dc " + shellQuote(man));
  EXPECT_EQ(page.status, 0) << page.output;
  EXPECT_NE(page.output.find(".TH DUSKWARDEN 1"), std::string::npos);
  EXPECT_NE(page.output.find("DUSKWARDEN_NIGHTLIGHT_BACKEND"), std::string::npos);
}

// The software centre's entry and the launcher's actions: both validate, and
// what they name (the entry, the program, this version) was installed.
TEST_F(InstallTree, MetadataAndLauncherActionsValidateAndNameWhatWasInstalled) {
  const fs::path metainfo = prefix_ / "share/metainfo/com.quillmoor.Duskwarden.metainfo.xml";
  ASSERT_TRUE(fs::exists(metainfo));
  const auto validate = runCommand("appstreamcli validate --pedantic --no-net " + shellQuote(metainfo));
  EXPECT_EQ(validate.status, 0) << validate.output;
  // The one remark left: the id's capitals, which stored files and autostart entries carry.
  EXPECT_NE(validate.output.find("Validation was successful: pedantic: 1\n"), std::string::npos) << validate.output;
  // The tree check also looks the launchable's desktop entry up.
  const auto tree = runCommand("appstreamcli validate-tree --no-net " + shellQuote(prefix_));
  EXPECT_EQ(tree.status, 0) << tree.output;

  const std::string xml = readFile(metainfo);
  for (const std::string& wanted :
       {std::string("<id>com.quillmoor.Duskwarden</id>"),
        std::string("<launchable type=\"desktop-id\">com.quillmoor.Duskwarden.desktop</launchable>"),
        std::string("<binary>duskwarden</binary>"), std::string("<release version=\"") + DW_SHORT_VERSION + "\"",
        std::string("<content_rating type=\"oars-1.1\"/>")})
    EXPECT_NE(xml.find(wanted), std::string::npos) << wanted;
  EXPECT_TRUE(fs::exists(prefix_ / "bin/duskwarden"));

  const std::string entry = readFile(prefix_ / "share/applications/com.quillmoor.Duskwarden.desktop");
  EXPECT_EQ(desktopValue(entry, "Actions"), "enable-night-shift;disable-night-shift;");
  for (const char* action : {"[Desktop Action enable-night-shift]\nName=Enable Night Shift\nExec=duskwarden --enable\n",
                             "[Desktop Action disable-night-shift]\nName=Disable Night Shift\nExec=duskwarden --disable\n"})
    EXPECT_NE(entry.find(action), std::string::npos) << action;
}

TEST_F(InstallTree, InstalledProgramAnswersWithoutADisplay) {
  const std::string program = "env -u DISPLAY -u WAYLAND_DISPLAY " + shellQuote(prefix_ / "bin/duskwarden");

  const auto version = runCommand(program + " --version");
  EXPECT_EQ(version.status, 0) << version.output;
  EXPECT_EQ(version.output.rfind(std::string("Duskwarden ") + DW_SHORT_VERSION + " (build " + DW_BUNDLE_VERSION + ")", 0),
            0u)
      << version.output;

  const auto help = runCommand(program + " --help");
  EXPECT_EQ(help.status, 0) << help.output;
  EXPECT_NE(help.output.find("--version"), std::string::npos) << help.output;
  EXPECT_NE(help.output.find("--keep-always-on on|off"), std::string::npos) << help.output;

  const auto wrong = runCommand(program + " --no-such-option");
  EXPECT_EQ(wrong.status, 2) << wrong.output;
  EXPECT_NE(wrong.output.find("--no-such-option"), std::string::npos) << wrong.output;
}

TEST_F(InstallTree, InstalledProviderLoadsAndOffersItsTable) {
  const fs::path provider = prefix_ / "lib/duskwarden/libduskwarden-nightlight.so";
  void* handle = ::dlopen(provider.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << ::dlerror();
  auto getOps = reinterpret_cast<dw_nightlight_get_ops_fn>(::dlsym(handle, DW_NIGHTLIGHT_ENTRY_POINT));
  ASSERT_NE(getOps, nullptr) << ::dlerror();
  const dw_nightlight_ops* ops = getOps();
  ASSERT_NE(ops, nullptr);
  EXPECT_EQ(ops->abi_version, DW_NIGHTLIGHT_ABI_VERSION);
  // It finds its backend modules where they were installed, beside it.
  duskwarden::testing::ScopedEnv backend("DUSKWARDEN_NIGHTLIGHT_BACKEND", std::string("sim"));
  EXPECT_EQ(ops->supports_night_light(), 1);
  EXPECT_STREQ(ops->backend_name(), "sim");

  // The update check's library, beside it, where the first check opens it.
  const fs::path update = prefix_ / "lib/duskwarden/libduskwarden-update.so";
  void* updateHandle = ::dlopen(update.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(updateHandle, nullptr) << ::dlerror();
  EXPECT_NE(::dlsym(updateHandle, "dw_update_create_appcast_source"), nullptr) << ::dlerror();
}

TEST_F(InstallTree, InstalledFilesDoNotDependOnTheBuildTree) {
  for (const char* file :
       {"bin/duskwarden", "lib/duskwarden/libduskwarden-nightlight.so", "lib/duskwarden/libduskwarden-update.so",
        "lib/duskwarden/backends/kde.so", "lib/duskwarden/backends/gnome.so", "lib/duskwarden/backends/wlroots.so",
        "lib/duskwarden/backends/x11.so", "lib/duskwarden/backends/sim.so"}) {
    const auto dynamic = runCommand("readelf -d " + shellQuote(prefix_ / file));
    ASSERT_EQ(dynamic.status, 0) << dynamic.output;
    EXPECT_EQ(dynamic.output.find("RPATH"), std::string::npos) << file << "\n" << dynamic.output;
    EXPECT_EQ(dynamic.output.find(buildDir().string()), std::string::npos) << file << "\n" << dynamic.output;
    // Only the modules link a desktop's libraries, each its own.
    if (std::string(file).find("nightlight") != std::string::npos) {
      for (const char* library : {"libgio", "libglib", "libX11", "libXrandr", "libwayland"}) {
        EXPECT_EQ(dynamic.output.find(library), std::string::npos) << file << " links " << library;
      }
    }
  }
}

TEST_F(InstallTree, UninstallTargetRemovesEveryInstalledFile) {
  const auto uninstall = runCommand("cmake --build " + shellQuote(buildDir()) + " --target uninstall");
  ASSERT_EQ(uninstall.status, 0) << uninstall.output;

  std::vector<std::string> left;
  for (const auto& item : fs::recursive_directory_iterator(prefix_)) {
    if (!item.is_directory() || item.is_symlink()) left.push_back(item.path().string());
  }
  EXPECT_TRUE(left.empty()) << ::testing::PrintToString(left);
  EXPECT_FALSE(fs::exists(prefix_ / "lib/duskwarden"));  // the program's own folder goes too

  // Run again, it reports that there is nothing left rather than failing.
  const auto again = runCommand("cmake --build " + shellQuote(buildDir()) + " --target uninstall");
  EXPECT_EQ(again.status, 0) << again.output;
  EXPECT_NE(again.output.find("Already gone"), std::string::npos) << again.output;
}

}  // namespace
