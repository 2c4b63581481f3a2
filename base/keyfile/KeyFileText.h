#pragma once
// Reading and editing the entries of one group in the text of a key file
// (KDE's kwinrc, a desktop entry), leaving every other byte as it was: other
// groups and keys, comments, blank lines, odd spacing, [$i]-style markers,
// line endings and a missing final newline. KWin and System Settings write
// kwinrc too, and the user may have added keys to our autostart entry:
// between our writes, the layout is theirs.
//
// Lines are read the way KConfig reads them: trimmed; '#' starts a comment;
// a group header is one or more [name] parts, and a last [$i] part locks the
// group (a [$i] line of its own locks every group after it); a key may carry
// options ([$i] locks it, [$d] marks it deleted: back to its default, whatever
// a system-wide file says) or a [locale]; of several lines for one key, also
// in repeated sections of a group, the last one counts, unless an earlier
// one is locked. Values are handled as written, escapes included.
//
// A [$d] line is the user's, never ours: setting the key adds a line after
// it (which KConfig reads as overriding it) and removing the key takes only
// the lines with values, so the [$d] line is in force again.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace duskwarden::keyfile {

// The value of `key` (not a localised variant) in `group`: the text after
// '=' without surrounding blanks; nullopt when unset or deleted with [$d].
std::optional<std::string> readEntry(std::string_view text, std::string_view group, std::string_view key);

struct EntryEdit {
  std::string key;
  std::optional<std::string> value;  // nullopt: remove the key
};

// Sets or removes keys of `group`. Setting replaces only the value of the
// key's last line, or adds a line after the key's last [$d] line, or at the
// end of the group's last section, or a new section at the end of the file.
// Removing takes out every line of the key that holds a value, and a section
// left empty by that goes with its header (and, at the end of the file, with
// the blank line before it: what adding it put there, to a file that ended
// in an entry as KConfig leaves it). New lines take the file's line ending.
// Returns false with `error` set ("[NightColor] is locked with [$i]"), and
// changes nothing, when the file, the group or one of the keys is locked.
bool editGroup(std::string& text, std::string_view group, const std::vector<EntryEdit>& edits, std::string* error);

// `value` as a key file holds it, so that a reader gives back the same
// string: backslashes, newlines and carriage returns escaped, and leading
// blanks (which a reader trims) as \s and \t.
std::string escapedValue(std::string_view value);

}  // namespace duskwarden::keyfile
