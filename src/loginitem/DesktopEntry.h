#pragma once
// The Exec line of a desktop entry: quoting an argument so the launcher hands
// it back unchanged, and splitting a line back into its arguments.
//
// Both work on the value after key-file escaping has been undone (GKeyFile's
// get_string/set_string handle that layer), so a literal backslash here is
// one backslash; in the file it becomes four.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace duskwarden::desktopentry {

// One argument as it must appear in an Exec value: double-quoted when it holds
// a space or a reserved character, with `"`, `` ` ``, `$` and `\` escaped
// inside the quotes, and every `%` doubled so no field code is expanded.
std::string quoteExecArgument(std::string_view argument);

// A whole Exec value from its arguments.
std::string execLine(const std::vector<std::string>& arguments);

// The arguments of an Exec value. Field codes are dropped (`%%` gives `%`);
// nothing is returned for a line the rules reject (an unterminated quote, a
// reserved character outside quotes, a lone `%` at the end), so a malformed
// entry is never taken for a valid one.
std::optional<std::vector<std::string>> splitExecLine(std::string_view exec);

}  // namespace duskwarden::desktopentry
