#include <gtest/gtest.h>

#include <string>

#include "base/glib/GLibPtr.h"
#include "base/keyfile/KeyFileText.h"

namespace duskwarden::keyfile {
namespace {

// Everything a hand-kept or KConfig-written kwinrc may hold around our keys.
const std::string kOdd =
    "# kept by hand\n"
    "Loose=before any group\n"
    "[Compositing][$i]\n"
    "Backend = OpenGL  \n"
    "\n"
    "[NightColor]\n"
    "  Active =  false\t\n"
    "Active[de]=wahr\n"
    "Mode[$e]=Times\n"
    "# my evening\n"
    "[NightColor][Sub]\n"
    "Active=true\n"
    "\n"
    "[Plugins]\r\n"
    "blurEnabled=true\r\n"
    "[ broken\n"
    "[NightColor]\n"
    "NightTemperature=4200\n"
    "[Desktops]\n"
    "Number=2";

std::string edited(std::string text, const std::vector<EntryEdit>& edits) {
  std::string error;
  EXPECT_TRUE(editGroup(text, "NightColor", edits, &error)) << error;
  return text;
}

TEST(KConfigText, ReadsEntriesAsKConfigDoes) {
  EXPECT_EQ(readEntry(kOdd, "NightColor", "Active"), "false");  // trimmed; [de] and [Sub] are other entries
  EXPECT_EQ(readEntry(kOdd, "NightColor", "Mode"), "Times");
  EXPECT_EQ(readEntry(kOdd, "NightColor", "NightTemperature"), "4200");  // a repeated section
  EXPECT_EQ(readEntry(kOdd, "NightColor\x1dSub", "Active"), "true");
  EXPECT_EQ(readEntry(kOdd, "Compositing", "Backend"), "OpenGL");
  EXPECT_EQ(readEntry(kOdd, "NightColor", "Loose"), std::nullopt);
  // The last line wins; [$d] deletes; a malformed header leaves the group as it was.
  EXPECT_EQ(readEntry("[NightColor]\nMode=Times\n[NightColor]\nMode=Location\n", "NightColor", "Mode"), "Location");
  EXPECT_EQ(readEntry("[NightColor]\nMode=Times\nMode[$d]\n", "NightColor", "Mode"), std::nullopt);
  EXPECT_EQ(readEntry("[NightColor]\n[oops\nMode=Times\n", "NightColor", "Mode"), "Times");
}

TEST(KConfigText, ChangesOnlyTheValuesItSetsAndPutsEverythingBack) {
  const std::string on = edited(kOdd, {{"Active", "true"}, {"Mode", "Constant"}, {"NightTemperature", "3400"}});
  std::string expected = kOdd;
  expected.replace(expected.find("=  false"), 8, "=  true");
  expected.replace(expected.find("Mode[$e]=Times"), 14, "Mode[$e]=Constant");
  expected.replace(expected.find("=4200"), 5, "=3400");
  EXPECT_EQ(on, expected);
  EXPECT_EQ(edited(on, {{"Active", "false"}, {"Mode", "Times"}, {"NightTemperature", "4200"}}), kOdd);
}

TEST(KConfigText, AddsAndRemovesKeysAndSectionsWhereKConfigWould) {
  // Whole sections added and taken out again: NightColorSettingsTest.
  // A last line without its newline is ended first, and the file still ends without one.
  EXPECT_EQ(edited("[Desktops]\nNumber=2", {{"Active", "true"}}), "[Desktops]\nNumber=2\n\n[NightColor]\nActive=true");
  // Added to the group's last section, right after its last entry, with its line ending.
  EXPECT_EQ(edited("[NightColor]\r\nMode=Times\r\n# note\r\n[B]\r\n", {{"Active", "true"}}),
            "[NightColor]\r\nMode=Times\r\nActive=true\r\n# note\r\n[B]\r\n");
  // Removing every line of a key: an earlier duplicate must not come back into force.
  EXPECT_EQ(edited("[NightColor]\nActive=false\nx=1\n[NightColor]\nActive=true\n", {{"Active", std::nullopt}}),
            "[NightColor]\nx=1\n");
}

TEST(KConfigText, RefusesLockedFilesGroupsAndKeysAndChangesNothing) {
  for (const std::string& locked : {std::string("[$i]\n[NightColor]\nActive=false\n"),
                                   std::string("[NightColor][$i]\nActive=false\n"),
                                   std::string("[NightColor]\nActive[$i]=false\n")}) {
    std::string text = locked;
    std::string error;
    EXPECT_FALSE(editGroup(text, "NightColor", {{"Mode", "Constant"}, {"Active", "true"}}, &error)) << locked;
    EXPECT_NE(error.find("locked with [$i]"), std::string::npos) << error;
    EXPECT_EQ(text, locked);
  }
  // A lock on another group or another key is not ours to mind.
  EXPECT_EQ(edited("[Plugins][$i]\nx=1\n[NightColor]\nDayTemperature[$i]=6500\n", {{"Active", "true"}}),
            "[Plugins][$i]\nx=1\n[NightColor]\nDayTemperature[$i]=6500\nActive=true\n");
}

// A desktop entry's reader (GLib's) gives back what was escaped.
TEST(KeyFileText, EscapedValuesReadBackAsTheyWere) {
  for (const std::string value : {" lead", "\t lead", "trail ", "back\\slash", "two\nlines\r", "\n x", "mid  dle"}) {
    const std::string text = "[G]\nK=" + escapedValue(value) + "\n";
    const KeyFilePtr file(g_key_file_new());
    ASSERT_TRUE(g_key_file_load_from_data(file.get(), text.data(), text.size(), G_KEY_FILE_NONE, nullptr)) << text;
    EXPECT_STREQ(GStringPtr(g_key_file_get_string(file.get(), "G", "K", nullptr)).get(), value.c_str()) << text;
  }
}

}  // namespace
}  // namespace duskwarden::keyfile
