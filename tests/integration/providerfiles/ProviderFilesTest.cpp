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
#include <sstream>

#include "TestEnvironment.h"
#include "Wait.h"
#include "common/Log.h"
#include "gnome/GnomeSchedule.h"
#include "kde/NightColorSettings.h"
#include "sim/SimState.h"
#include "wlroots/KelvinSetting.h"

namespace duskwarden::provider {
namespace {
namespace fs = std::filesystem;

enum class Shape { fifo, directory, danglingLink, loopingLink, linkToFile, huge };

const struct {
  const char* name;
  Shape shape;
  const char* named;  // what a refusal must say
} kShapes[] = {
    {"FIFO", Shape::fifo, "FIFO"},
    {"directory", Shape::directory, "directory"},
    {"dangling link", Shape::danglingLink, "link to nothing"},
    {"looping link", Shape::loopingLink, "loop of symbolic links"},
    {"link to a file", Shape::linkToFile, ""},
    {"50 MB file", Shape::huge, "larger than"},
};

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void make(Shape shape, const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  switch (shape) {
    case Shape::fifo: ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); break;
    case Shape::directory: fs::create_directory(path); break;
    case Shape::danglingLink: fs::create_symlink(path.string() + ".gone", path); break;
    case Shape::loopingLink: fs::create_symlink(path.filename(), path); break;
    case Shape::linkToFile:
      std::ofstream(path.string() + ".real") << content;
      fs::create_symlink(path.string() + ".real", path);
      break;
    case Shape::huge:
      std::ofstream(path) << content;
      fs::resize_file(path, 50 * 1024 * 1024);  // sparse: made in no time
      break;
  }
}

// The kind of file at `path`, where a link leads and a file's size: what a refusal leaves as it was.
std::string kindAt(const fs::path& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return "nothing";
  std::error_code ec;
  return std::to_string(st.st_mode & S_IFMT) + " " + fs::read_symlink(path, ec).string() + " " +
         std::to_string(S_ISREG(st.st_mode) ? st.st_size : 0);
}

// A file of the provider's and the request that reads and writes it: nothing, or the reason it failed.
struct FileRow {
  const char* name;
  fs::path path;
  std::string content;  // a valid file, for a link to lead to
  std::function<std::optional<std::string>()> request;
  bool hugeIsOurs;  // a huge file there is a damaged one of ours, to be replaced; else it is left alone
};

std::optional<std::string> failure(bool ok, const std::string& why) { return ok ? std::nullopt : std::optional(why); }

TEST(ProviderFiles, EachShapeAtEachPathIsReadAndWrittenSafelyAndPromptly) {
  setLogFunction([](void*, int, const char*) {}, nullptr);
  const fs::path dir = testing::makeTempDir("provider-files");
  const fs::path kwinrc = dir / "config" / "kwinrc", record = dir / "kde" / "kde-night-color.ini";
  const fs::path simState = dir / "sim" / sim::kStateFileName;
  const auto switchOn = [&] {
    const kde::SettingsChange change = kde::NightColorSettings(kwinrc.string(), record.string()).switchOn();
    return failure(change.ok(), change.error);
  };
  const FileRow files[] = {
      {"kwinrc", kwinrc, "[NightColor]\nActive=false\n", switchOn, false},
      {"KDE record", record, "[Replaced]\nActive=false\n", switchOn, true},
      {"GNOME schedule", gnome::savedSchedulePath(), "[schedule]\nautomatic=true\nfrom=20\nto=6\n",
       [] {
         std::string why;
         const bool saved = gnome::saveSchedule({false, 21.0, 7.0}, &why);
         return failure(saved && gnome::loadSavedSchedule(&why).value_or(gnome::Schedule{}).from == 21.0, why);
       },
       true},
      {"wlroots temperature", wlroots::kelvinSettingPath(), "[night-light]\ntemperature=2000\n",
       [] {
         std::string why;
         return failure(wlroots::saveKelvinSetting(3000, &why) && wlroots::loadKelvinSetting() == 3000.0, why);
       },
       true},
      {"simulator state", simState, "enabled=false\nstrength=0.5\n",
       [&] {
         std::string why;
         sim::SimState back;
         const bool ok = sim::updateState(simState, [](sim::SimState& s) { s.enabled = true; }, &why) &&
                         sim::readState(simState, &back, &why);
         return failure(ok && back.enabled, why);
       },
       true},
  };
  for (const FileRow& file : files) {
    for (const auto& shape : kShapes) {
      SCOPED_TRACE(std::string(file.name) + " is a " + shape.name);
      fs::remove_all(dir / "config");
      fs::remove_all(file.path.parent_path());
      fs::create_directories(kwinrc.parent_path());
      if (file.path != kwinrc) std::ofstream(kwinrc) << "[NightColor]\nActive=false\n";
      make(shape.shape, file.path, file.content);
      const std::string before = kindAt(file.path);
      std::optional<std::string> result;
      testing::withinBound(file.name, [&] { result = file.request(); });

      if (shape.shape == Shape::linkToFile || (shape.shape == Shape::huge && file.hugeIsOurs)) {
        EXPECT_EQ(result, std::nullopt);
        EXPECT_EQ(fs::is_symlink(file.path), shape.shape == Shape::linkToFile) << "a link stays a link";
        EXPECT_LT(fs::file_size(file.path), 4096u);
        EXPECT_NE(slurp(file.path), file.content) << "written where the link leads";
      } else {
        ASSERT_TRUE(result) << "accepted";
        EXPECT_NE(result->find(shape.named), std::string::npos) << *result;
        EXPECT_EQ(kindAt(file.path), before) << "replaced or changed";
      }
    }
  }
  setLogFunction(nullptr, nullptr);
}

}  // namespace
}  // namespace duskwarden::provider
