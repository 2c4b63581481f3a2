#include "loginitem/DesktopEntry.h"

#include <gtest/gtest.h>

namespace duskwarden::desktopentry {
namespace {

using Args = std::vector<std::string>;

TEST(DesktopEntryExec, QuotesOnlyWhatTheRulesRequire) {
  const std::pair<std::string, std::string> cases[] = {
      {"/usr/bin/duskwarden", "/usr/bin/duskwarden"},
      {"/opt/My App/run", "\"/opt/My App/run\""},
      {"/opt/tab\there", "\"/opt/tab\there\""},
      {"/a/\"q\"", R"("/a/\"q\"")"},
      {"/a/it's", "\"/a/it's\""},
      {"/a/$HOME", R"("/a/\$HOME")"},
      {"/a/`x`", R"("/a/\`x\`")"},
      {"/a/back\\slash", R"("/a/back\\slash")"},
      {"/a/x;y&z|w", "\"/a/x;y&z|w\""},
      {"/a/~(*?#)<>", "\"/a/~(*?#)<>\""},
      {"", "\"\""},
      // Field codes are expanded inside quotes too, so % is always doubled.
      {"/a/100%", "/a/100%%"},
      {"/a/100% sure", "\"/a/100%% sure\""},
  };
  for (const auto& [argument, expected] : cases) {
    EXPECT_EQ(quoteExecArgument(argument), expected) << argument;
  }
  EXPECT_EQ(execLine({"/opt/My App/run", "--flag", "%u"}), "\"/opt/My App/run\" --flag %%u");
}

TEST(DesktopEntryExec, SplittingGivesBackWhatWasQuoted) {
  const Args nasty[] = {
      {"/usr/bin/duskwarden"},
      {"/tmp/dir with spaces/it's \"quoted\"/100%/$HOME/`cmd`/back\\slash/run me"},
      {"/a/%f", "%%", "", "two  spaces", "tab\tand\nnewline"},
      {"/a/\\\\double", "x;y", "~home", "#hash"},
  };
  for (const auto& arguments : nasty) {
    const auto split = splitExecLine(execLine(arguments));
    ASSERT_TRUE(split) << execLine(arguments);
    EXPECT_EQ(*split, arguments) << execLine(arguments);
  }
}

TEST(DesktopEntryExec, SplittingReadsHandWrittenLines) {
  EXPECT_EQ(splitExecLine("prog %U"), (Args{"prog"}));
  EXPECT_EQ(splitExecLine("prog --rate=50%% %f"), (Args{"prog", "--rate=50%"}));
  EXPECT_EQ(splitExecLine("  prog\t a  b "), (Args{"prog", "a", "b"}));
  EXPECT_EQ(splitExecLine("\"/opt/a b\"/c d"), (Args{"/opt/a b/c", "d"}));
  EXPECT_EQ(splitExecLine(""), Args{});
}

TEST(DesktopEntryExec, SplittingRejectsLinesTheRulesForbid) {
  const char* bad[] = {
      "\"/opt/unterminated",        // open quote
      "/opt/a$b",                   // reserved character outside quotes
      "prog; rm -rf ~",             // ditto
      "/opt/it's",                  // single quotes are reserved, not quoting
      "prog 100%",                  // lone % at the end
      "\"/opt/bad\\escape\"",       // only " ` $ \ may be escaped
  };
  for (const char* line : bad) EXPECT_FALSE(splitExecLine(line)) << line;
}

}  // namespace
}  // namespace duskwarden::desktopentry
