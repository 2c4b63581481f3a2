// The man page and README's command list against the command table: a
// command added to one and not the others, or renamed in one, fails here.
#include "control/CommandTable.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace duskwarden {
namespace {

using Entries = std::set<std::string>;

std::vector<std::string> linesOf(const std::string& relative) {
  const char* root = std::getenv("DW_SOURCE_DIR");
  std::ifstream in(std::string(root ? root : ".") + "/" + relative);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The options on a line, in order ("--status --json"); the man page writes "\-" for "-".
std::string optionsIn(std::string line) {
  for (auto at = line.find("\\-"); at != std::string::npos; at = line.find("\\-", at)) line.erase(at, 1);
  static const std::regex option("--[a-z-]+");
  std::string found;
  for (std::sregex_iterator it(line.begin(), line.end(), option), end; it != end; ++it)
    found += (found.empty() ? "" : " ") + it->str();
  return found;
}

// The headings (each line after a .TP) of the man page's COMMANDS section.
Entries manPageCommands() {
  Entries found;
  bool inSection = false;
  bool heading = false;
  for (const auto& line : linesOf("resources/duskwarden.1")) {
    if (line.starts_with(".SH")) inSection = line == ".SH COMMANDS";
    if (inSection && heading) found.insert(optionsIn(line));
    heading = line == ".TP";
  }
  return found;
}

// The examples ("    duskwarden --status --json   # ...") of README's command-line section (at any heading level).
Entries readmeCommands() {
  Entries found;
  bool inSection = false;
  for (const auto& line : linesOf("README.md")) {
    if (line.starts_with("#")) inSection = line.substr(line.find_first_not_of('#')).starts_with(" Command line");
    if (inSection && line.starts_with("    duskwarden --")) found.insert(optionsIn(line.substr(0, line.find('#'))));
  }
  return found;
}

Entries tableCommands() {
  Entries found;
  for (const Command& command : commands()) {
    found.insert(std::string(command.option));
    if (!command.forScripts.empty()) found.insert(std::string(command.option) + " " + std::string(command.forScripts));
    if (!command.follow.empty()) found.insert(std::string(command.option) + " " + std::string(command.follow));
    if (!command.formats.empty()) found.insert(std::string(command.option) + " " + std::string(kFormatOption));
  }
  return found;
}

TEST(CommandDocs, TheManPageAndReadmeListEveryCommandOfTheTableAndNoOther) {
  EXPECT_EQ(manPageCommands(), tableCommands());
  EXPECT_EQ(readmeCommands(), tableCommands());
}

}  // namespace
}  // namespace duskwarden
