// Runs the headless demo the way CI and a newcomer do, then checks that its
// screenshots show something: the popover's pixels, the menu, a changed state.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "TestEnvironment.h"
#include "e2e/lib/Command.h"

namespace fs = std::filesystem;
using duskwarden::testing::runCommand;
using duskwarden::testing::shellQuote;

namespace {

struct Box {
  int width = 0, height = 0, x = 0, y = 0;
};

// The bounding box of the pixels that differ between two screenshots.
Box changedRegion(const fs::path& before, const fs::path& after) {
  const auto result = runCommand("convert " + shellQuote(before) + " " + shellQuote(after) +
                                 " -compose difference -composite -colorspace gray -threshold 0 -trim"
                                 " -format '%w %h %X %Y' info:");
  Box box;
  std::istringstream(result.output) >> box.width >> box.height >> box.x >> box.y;
  return box;
}

// How many distinct colours, and the standard deviation (0..1), in a region.
std::pair<int, double> regionStats(const fs::path& image, const Box& box) {
  const std::string crop = std::to_string(box.width) + "x" + std::to_string(box.height) + "+" +
                           std::to_string(box.x) + "+" + std::to_string(box.y);
  const auto result = runCommand("convert " + shellQuote(image) + " -crop " + crop +
                                 " +repage -format '%k %[fx:standard_deviation]' info:");
  int colours = 0;
  double deviation = 0;
  std::istringstream(result.output) >> colours >> deviation;
  return {colours, deviation};
}

long differingPixels(const fs::path& a, const fs::path& b) {
  // compare prints the count on stderr and exits 1 when the images differ.
  const auto result = runCommand("compare -metric AE " + shellQuote(a) + " " + shellQuote(b) + " null:");
  return std::atol(result.output.c_str());
}

std::string summaryValue(const fs::path& summary, const std::string& key) {
  std::ifstream in(summary);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key + ": ", 0) == 0) return line.substr(key.size() + 2);
  }
  return {};
}

TEST(HeadlessDemo, RunsEveryStepAndLeavesScreenshotsThatShowTheApplication) {
  const char* source = std::getenv("DW_SOURCE_DIR");
  const char* build = std::getenv("DW_BUILD_DIR");
  ASSERT_TRUE(source && build) << "DW_SOURCE_DIR and DW_BUILD_DIR must be set";
  const fs::path out = duskwarden::testing::artifactsDir() / "demo";

  // The demo must bring its own display: a test runner's DISPLAY must not leak in.
  const auto demo = runCommand("env -u DISPLAY DUSKWARDEN_BUILD_DIR=" + shellQuote(std::string(build)) + " " +
                               shellQuote(fs::path(source) / "scripts/demo.sh") + " " + shellQuote(out));
  EXPECT_EQ(demo.status, 0) << demo.output;
  EXPECT_NE(demo.output.find(out.string()), std::string::npos) << "the demo should name its output folder";
  EXPECT_EQ(summaryValue(out / "summary.txt", "result"), "ok") << demo.output;

  // After enabling, the ramps keep red and cut blue.
  double red = 0, green = 0, blue = 0;
  std::istringstream(summaryValue(out / "summary.txt", "ramp-tops-after-enable")) >> red >> green >> blue;
  EXPECT_GT(red, 0.95);
  EXPECT_LT(blue, 0.9);
  EXPECT_LT(blue, green);

  for (const char* shot : {"tray.png", "popover.png", "enabled.png", "menu.png"}) {
    ASSERT_TRUE(fs::exists(out / shot)) << shot << " missing; demo said:\n" << demo.output;
  }

  // The popover is what appeared between the two shots; it must be a real
  // panel with text and controls, not an empty or single-colour rectangle.
  const Box popover = changedRegion(out / "tray.png", out / "popover.png");
  EXPECT_GE(popover.width, 200);
  EXPECT_GE(popover.height, 200);
  const auto [colours, deviation] = regionStats(out / "popover.png", popover);
  EXPECT_GT(colours, 50) << "popover region " << popover.width << "x" << popover.height;
  EXPECT_GT(deviation, 0.05);

  // Turning the night light on changed what the popover shows.
  EXPECT_GT(differingPixels(out / "popover.png", out / "enabled.png"), 500);

  // The menu: a smaller window with its items' text.
  const Box menu = changedRegion(out / "tray.png", out / "menu.png");
  EXPECT_GE(menu.width, 60);
  EXPECT_GE(menu.height, 20);
  EXPECT_GT(regionStats(out / "menu.png", menu).first, 10);
}

}  // namespace
