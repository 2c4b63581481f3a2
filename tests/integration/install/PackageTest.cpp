// The Debian package that `cpack -G DEB` makes from this build tree: what it
// holds, what it declares, and that the packaged program runs.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "TestEnvironment.h"
#include "duskwarden_build_info.h"
#include "e2e/lib/Command.h"

namespace fs = std::filesystem;
using duskwarden::testing::runCommand;
using duskwarden::testing::shellQuote;

namespace {

std::string trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// "a (>= 1), b | c, d" -> {"a", "b", "c", "d"}: the package names only.
std::vector<std::string> packageNames(const std::string& relation) {
  std::vector<std::string> names;
  std::string name;
  bool inVersion = false;
  for (char c : relation + ",") {
    if (c == '(') inVersion = true;
    if (c == ')') inVersion = false;
    if (inVersion || c == ')' || c == ' ') continue;
    if (c == ',' || c == '|') {
      if (!name.empty()) names.push_back(name);
      name.clear();
    } else {
      name += c;
    }
  }
  return names;
}

class DebianPackage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const char* build = std::getenv("DW_BUILD_DIR");
    ASSERT_NE(build, nullptr) << "DW_BUILD_DIR is not set";
    const fs::path out = duskwarden::testing::makeTempDir("cpack");
    const auto cpack = runCommand("cpack -G DEB --config " + shellQuote(fs::path(build) / "CPackConfig.cmake") +
                                  " -B " + shellQuote(out));
    ASSERT_EQ(cpack.status, 0) << cpack.output;
    for (const auto& item : fs::directory_iterator(out)) {
      if (item.path().extension() == ".deb") deb_ = item.path();
    }
    ASSERT_FALSE(deb_.empty()) << "cpack made no .deb:\n" << cpack.output;
  }

  static std::string field(const std::string& name) {
    const auto result = runCommand("dpkg-deb -f " + shellQuote(deb_) + " " + name);
    EXPECT_EQ(result.status, 0) << result.output;
    return trimmed(result.output);
  }

  void SetUp() override {
    if (deb_.empty()) GTEST_SKIP() << "no package was built (see the suite's setup failure)";
  }

  static fs::path deb_;
};

fs::path DebianPackage::deb_;

TEST_F(DebianPackage, HoldsTheInstallTreeUnderUsr) {
  const auto listing = runCommand("dpkg-deb -c " + shellQuote(deb_));
  ASSERT_EQ(listing.status, 0) << listing.output;

  std::vector<std::string> paths;
  std::istringstream lines(listing.output);
  std::string line;
  while (std::getline(lines, line)) {
    const auto at = line.find(" ./");
    ASSERT_NE(at, std::string::npos) << line;
    paths.push_back(line.substr(at + 1));
  }
  for (const auto& path : paths) {
    if (path == "./") continue;  // the archive's root, as dpkg-deb writes it
    EXPECT_EQ(path.rfind("./usr/", 0), 0u) << path;
    EXPECT_EQ(path.find("/usr/local"), std::string::npos) << path;
  }
  for (const char* wanted : {"./usr/bin/duskwarden", "./usr/lib/duskwarden/libduskwarden-nightlight.so",
                             "./usr/lib/duskwarden/libduskwarden-update.so", "./usr/lib/duskwarden/backends/kde.so",
                             "./usr/lib/duskwarden/backends/gnome.so", "./usr/lib/duskwarden/backends/wlroots.so",
                             "./usr/lib/duskwarden/backends/x11.so", "./usr/lib/duskwarden/backends/sim.so",
                             "./usr/share/applications/com.quillmoor.Duskwarden.desktop",
                             "./usr/share/metainfo/com.quillmoor.Duskwarden.metainfo.xml",
                             "./usr/share/icons/hicolor/scalable/apps/com.quillmoor.Duskwarden.svg",
                             "./usr/share/icons/hicolor/48x48/apps/com.quillmoor.Duskwarden.png",
                             "./usr/share/man/man1/duskwarden.1.gz",
                             "./usr/share/duskwarden/translations/duskwarden_de.qm"}) {
    EXPECT_NE(std::find(paths.begin(), paths.end(), wanted), paths.end()) << wanted << " missing from\n"
                                                                          << listing.output;
  }
}

TEST_F(DebianPackage, DeclaresItsNameVersionAndDependencies) {
  EXPECT_EQ(field("Package"), "duskwarden");
  EXPECT_EQ(field("Version"), std::string(DW_SHORT_VERSION) + "-" + DW_BUNDLE_VERSION);
  EXPECT_EQ(field("Architecture"), trimmed(runCommand("dpkg --print-architecture").output));

  const auto depends = packageNames(field("Depends"));
  const auto declares = [&](const std::string& name) {
    return std::find(depends.begin(), depends.end(), name) != depends.end();
  };
  // Found by dpkg-shlibdeps from the linked libraries (Debian 13 renamed some
  // for its 64-bit time_t)...
  for (const std::string linked : {"libc6", "libqt6widgets6", "libqt6core6", "libxrandr2"})
    EXPECT_TRUE(declares(linked) || declares(linked + "t64")) << linked;
  // ...and Qt's SVG image plugin, loaded at run time, which nothing links:
  // whichever package holds it on this release.
  const auto holder = runCommand("dpkg-query -S '*/qt6/plugins/imageformats/libqsvg.so'");
  ASSERT_EQ(holder.status, 0) << holder.output;
  EXPECT_TRUE(declares(holder.output.substr(0, holder.output.find(':')))) << holder.output;
  EXPECT_TRUE(declares("qt6-qpa-plugins"));
  // The GNOME session's services are used when present, never required.
  EXPECT_EQ(std::find(depends.begin(), depends.end(), "gnome-settings-daemon"), depends.end());
  EXPECT_EQ(std::find(depends.begin(), depends.end(), "gnome-shell"), depends.end());

  // Every declared name must be a real package: the program runs here, so each
  // one is installed here (a misspelt name would make the .deb uninstallable).
  for (const auto& name : depends) {
    const auto known = runCommand("dpkg-query -W -f '${Status}' " + shellQuote(name));
    EXPECT_EQ(known.output, "install ok installed") << name;
  }
}

TEST_F(DebianPackage, PackagedProgramRunsAndFindsItsProvider) {
  const fs::path root = duskwarden::testing::makeTempDir("unpacked");
  const auto unpack = runCommand("dpkg-deb -x " + shellQuote(deb_) + " " + shellQuote(root));
  ASSERT_EQ(unpack.status, 0) << unpack.output;

  // Stripping must leave a working program and a provider with its entry point.
  const auto version = runCommand("env -u DISPLAY -u WAYLAND_DISPLAY " + shellQuote(root / "usr/bin/duskwarden") +
                                  " --version");
  EXPECT_EQ(version.status, 0) << version.output;
  EXPECT_NE(version.output.find(DW_SHORT_VERSION), std::string::npos) << version.output;

  const fs::path provider = (root / "usr/bin" / DW_PROVIDER_RELPATH).lexically_normal();
  ASSERT_TRUE(fs::exists(provider)) << provider;
  const auto symbols = runCommand("nm -D --defined-only " + shellQuote(provider));
  EXPECT_EQ(symbols.status, 0) << symbols.output;
  EXPECT_NE(symbols.output.find("dw_nightlight_get_ops"), std::string::npos) << symbols.output;
  // Stripped modules keep the dynamic symbol table the loader reads their entry from.
  const auto module = runCommand("nm -D --defined-only " + shellQuote(provider.parent_path() / "backends/x11.so"));
  EXPECT_NE(module.output.find("T dw_backend_module"), std::string::npos) << module.output;
}

}  // namespace
