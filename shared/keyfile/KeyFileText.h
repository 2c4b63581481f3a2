#pragma once
// Reading and editing the entries of one group in the text of a KConfig file
// (kwinrc), leaving every other byte as it was: other groups and keys,
// comments, blank lines, odd spacing, [$i]-style markers and line endings.
// KWin and System Settings write the same file, and between their writes its
// layout is the user's.
//
// Lines are read the way KConfig reads them: trimmed; '#' starts a comment;
// a group header is one or more [name] parts, and a last [$i] part locks the
// group (a [$i] line of its own locks every group after it); a key may carry
// options ([$i] locks it, [$d] deletes it) or a [locale]; of several lines for
// one key, also in repeated sections of a group, the last one counts. Values
// are handled as written, escapes included.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace duskwarden::provider::kde {

// The value of `key` (not a localised variant) in `group`: the text after
// '=' without surrounding blanks; nullopt when unset or deleted with [$d].
std::optional<std::string> readEntry(std::string_view text, std::string_view group, std::string_view key);

struct EntryEdit {
  std::string key;
  std::optional<std::string> value;  // nullopt: remove the key
};

// Sets or removes keys of `group`. Setting replaces only the value of the
// key's last line, or adds a line at the end of the group's last section, or
// a new section at the end of the file. Removing takes out every line of the
// key, and a section left empty by that goes with its header (and, at the
// end of the file, with the blank line before it: what adding it put there,
// to a file that ended in an entry as KConfig leaves it). Returns false
// with `error` set, and changes nothing, when the file, the group or one of
// the keys is locked with [$i].
bool editGroup(std::string& text, std::string_view group, const std::vector<EntryEdit>& edits, std::string* error);

}  // namespace duskwarden::provider::kde
