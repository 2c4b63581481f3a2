// The files the provider reads and edits (kwinrc, the KDE record, the GNOME
// schedule, the wlroots temperature, the simulator's state) with each shape a
// dotfile manager, a sync tool or a hostile hand may leave at their paths:
// every request returns within its bound, names what it refused, replaces
// nothing that is not a regular file, and keeps a link a link.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "TestEnvironment.h"
#include "Wait.h"
#include "backendkit/Log.h"
#include "gnome/GnomeSchedule.h"
#include "kde/NightColorSettings.h"
#include "sim/SimState.h"
#include "wlroots/KelvinSetting.h"

namespace duskwarden::provider {
namespace {
namespace fs = std::filesystem;

// Each shape as a row: how to make it at a path (a link leading to `content`), and what a refusal names.
using Make = void (*)(const fs::path& path, const std::string& content);
const struct {
  const char* name;
  Make make;
  const char* named;  // empty: the file is used, not refused
} kShapes[] = {
    {"FIFO", [](const fs::path& p, const std::string&) { ::mkfifo(p.c_str(), 0600); }, "FIFO"},
    {"directory", [](const fs::path& p, const std::string&) { fs::create_directory(p); }, "directory"},
    {"dangling link", [](const fs::path& p, const std::string&) { fs::create_symlink(p.string() + ".gone", p); },
     "link to nothing"},
    {"looping link", [](const fs::path& p, const std::string&) { fs::create_symlink(p.filename(), p); },
     "loop of symbolic links"},
    {"link to a file",
     [](const fs::path& p, const std::string& c) {
       std::ofstream(p.string() + ".real") << c;
       fs::create_symlink(p.string() + ".real", p);
     },
     ""},
    {"50 MB file",
     [](const fs::path& p, const std::string& c) {
       std::ofstream(p) << c;
       fs::resize_file(p, 50 * 1024 * 1024);  // sparse: made in no time
     },
     "larger than"},
};

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The kind of file at `path`, where a link leads and a file's size: what a refusal leaves as it was.
std::string kindAt(const fs::path& path) {
  struct stat st {};
  std::error_code ec;
  if (::lstat(path.c_str(), &st) != 0) return "nothing";
  return std::to_string(st.st_mode & S_IFMT) + fs::read_symlink(path, ec).string() + std::to_string(st.st_size);
}

// A file of the provider's and the request that reads and writes it: empty, or the reason it failed.
struct FileRow {
  const char* name;
  fs::path path;
  std::string content;  // a valid file, for a link to lead to
  std::function<std::string()> request;
  bool hugeIsOurs;  // a huge file there is a damaged one of ours, to be replaced; else it is left alone
};

TEST(ProviderFiles, EachShapeAtEachPathIsReadAndWrittenSafelyAndPromptly) {
  setLogFunction([](void*, int, const char*) {}, nullptr);
  const fs::path dir = testing::makeTempDir("provider-files");
  const fs::path kwinrc = dir / "config" / "kwinrc", record = dir / "kde" / "kde-night-color.ini";
  const fs::path simState = dir / "sim" / sim::kStateFileName;
  const auto switchOn = [&] { return kde::NightColorSettings(kwinrc.string(), record.string()).switchOn().error; };
  std::string why;
  const FileRow files[] = {
      {"kwinrc", kwinrc, "[NightColor]\nActive=false\n", switchOn, false},
      {"KDE record", record, "[Replaced]\nActive=false\n", switchOn, true},
      {"GNOME schedule", gnome::savedSchedulePath(gnome::kGnomeDesktop), "[schedule]\nautomatic=true\nfrom=20\nto=6\n",
       [&] { return gnome::loadSavedSchedule(gnome::kGnomeDesktop),
                gnome::saveSchedule(gnome::kGnomeDesktop, {false, 21.0, 7.0}, &why) ? "" : why; }, true},
      {"wlroots temperature", wlroots::kelvinSettingPath(), "[night-light]\ntemperature=2000\n",
       [&] { return wlroots::loadKelvinSetting(), wlroots::saveKelvinSetting(3000, &why) ? "" : why; }, true},
      {"simulator state", simState, "enabled=false\nstrength=0.5\n",
       [&] { return sim::updateState(simState, [](sim::SimState& s) { s.enabled = true; }, &why) ? "" : why; }, true},
  };
  for (const FileRow& file : files) {
    for (const auto& shape : kShapes) {
      SCOPED_TRACE(std::string(file.name) + " is a " + shape.name);
      for (const fs::path& d : {kwinrc.parent_path(), file.path.parent_path()}) {
        fs::remove_all(d);
        fs::create_directories(d);
      }
      if (file.path != kwinrc) std::ofstream(kwinrc) << "[NightColor]\nActive=false\n";
      shape.make(file.path, file.content);
      const std::string before = kindAt(file.path);
      std::string result;
      testing::withinBound(file.name, [&] { result = file.request(); });

      const bool link = shape.named[0] == '\0', huge = shape.make == kShapes[5].make;
      if (link || (huge && file.hugeIsOurs)) {
        EXPECT_EQ(result, "");
        EXPECT_EQ(fs::is_symlink(file.path), link) << "a link stays a link";
        EXPECT_LT(fs::file_size(file.path), 4096u);
        EXPECT_NE(slurp(file.path), file.content) << "written where the link leads";
      } else {
        EXPECT_NE(result.find(shape.named), std::string::npos) << "'" << result << "'";
        EXPECT_EQ(kindAt(file.path), before) << "replaced or changed";
      }
    }
  }
  setLogFunction(nullptr, nullptr);
}

}  // namespace
}  // namespace duskwarden::provider
