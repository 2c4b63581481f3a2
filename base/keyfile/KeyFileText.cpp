#include "base/keyfile/KeyFileText.h"

#include <algorithm>
#include <set>

namespace duskwarden::keyfile {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

enum class Kind { blank, comment, header, entry, invalid };

struct Line {
  std::size_t begin = 0, end = 0;  // [begin, end) without the '\n'
  Kind kind = Kind::blank;
  int section = -1;  // index into Scan::sections; -1 before the first header
  // Entries: the key without options or locale, and where the value sits.
  std::string key;
  bool localized = false, locked = false, deleted = false;
  std::size_t valueBegin = 0, valueEnd = 0;
};

struct Section {
  std::string group;  // parts joined by '\x1d', as KConfig names nested groups
  std::size_t header;  // line index
  bool locked;
};

struct Scan {
  std::vector<Line> lines;
  std::vector<Section> sections;
  bool fileLocked = false;
};

// A header's group name and whether it is locked; nullopt when malformed.
std::optional<std::pair<std::string, bool>> parseHeader(std::string_view line) {
  std::string name;
  bool locked = false;
  std::size_t start = 1, end = 0;
  do {
    end = line.find(']', start);
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view part = line.substr(start, end - start);
    if (end + 1 == line.size() && part == "$i") {
      locked = true;
    } else {
      if (!name.empty()) name += '\x1d';
      name += part;
    }
  } while ((start = end + 2) <= line.size() && line[end + 1] == '[');
  return std::make_pair(name, locked);
}

void parseEntry(std::string_view text, Line& l) {
  const std::string_view raw = text.substr(l.begin, l.end - l.begin);
  const std::size_t eq = raw.find('=');
  std::string_view key = trimmed(raw.substr(0, eq));
  l.kind = Kind::invalid;
  if (key.empty()) return;
  for (std::size_t open; (open = key.rfind('[')) != std::string_view::npos; key = key.substr(0, open)) {
    const std::size_t close = key.find(']', open);
    if (close == std::string_view::npos) return;
    if (close > open + 1 && key[open + 1] == '$') {
      const std::string_view options = key.substr(open + 2, close - open - 2);
      l.locked = l.locked || options.find('i') != std::string_view::npos;
      l.deleted = l.deleted || options.find('d') != std::string_view::npos;
    } else {
      l.localized = true;
    }
  }
  if (eq == std::string_view::npos && !l.deleted) return;
  l.key = std::string(trimmed(key));
  l.kind = Kind::entry;
  if (eq == std::string_view::npos) return;
  std::size_t vb = l.begin + eq + 1, ve = l.end;
  while (vb < ve && (text[vb] == ' ' || text[vb] == '\t')) ++vb;
  while (ve > vb && isBlank(text[ve - 1])) --ve;
  l.valueBegin = vb;
  l.valueEnd = ve;
}

Scan scan(std::string_view text) {
  Scan s;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t nl = text.find('\n', pos);
    Line l;
    l.begin = pos;
    l.end = nl == std::string_view::npos ? text.size() : nl;
    pos = nl == std::string_view::npos ? text.size() : nl + 1;
    l.section = s.sections.empty() ? -1 : static_cast<int>(s.sections.size()) - 1;
    const std::string_view t = trimmed(text.substr(l.begin, l.end - l.begin));
    if (t.empty()) {
      l.kind = Kind::blank;
    } else if (t.front() == '#') {
      l.kind = Kind::comment;
    } else if (t.front() == '[') {
      l.kind = Kind::invalid;  // a malformed header leaves the current group as it is
      if (const auto header = parseHeader(t)) {
        l.kind = Kind::header;
        if (header->first.empty()) {
          s.fileLocked = s.fileLocked || header->second;
        } else {
          s.sections.push_back({header->first, s.lines.size(), header->second || s.fileLocked});
          l.section = static_cast<int>(s.sections.size()) - 1;
        }
      }
    } else {
      parseEntry(text, l);
    }
    s.lines.push_back(std::move(l));
  }
  return s;
}

bool inGroup(const Scan& s, const Line& l, std::string_view group) {
  return l.section >= 0 && s.sections[static_cast<std::size_t>(l.section)].group == group;
}

bool isKeyLine(const Scan& s, const Line& l, std::string_view group, std::string_view key) {
  return l.kind == Kind::entry && !l.localized && l.key == key && inGroup(s, l, group);
}

std::string lineEnding(std::string_view text, const Line& l) {
  return l.end > l.begin && text[l.end - 1] == '\r' ? "\r\n" : "\n";
}

// The file's own line ending, as its first line has it.
std::string fileEnding(std::string_view text, const Scan& s) {
  return s.lines.empty() ? "\n" : lineEnding(text, s.lines.front());
}

bool endsInNewline(std::string_view text) { return !text.empty() && text.back() == '\n'; }

// The key's last line in `group`: the one that counts.
std::optional<std::size_t> lastKeyLine(const Scan& s, std::string_view group, std::string_view key) {
  std::optional<std::size_t> last;
  for (std::size_t i = 0; i < s.lines.size(); ++i)
    if (isKeyLine(s, s.lines[i], group, key)) last = i;
  return last;
}

// The line a new entry of `group` follows: the last entry of the group's
// last section, or its header; nullopt when the group has no section.
std::optional<std::size_t> insertionAnchor(const Scan& s, std::string_view group) {
  std::optional<std::size_t> anchor;
  for (std::size_t i = 0; i < s.lines.size(); ++i) {
    const Line& l = s.lines[i];
    if (!inGroup(s, l, group)) continue;
    if (l.kind == Kind::header || l.kind == Kind::entry || l.kind == Kind::invalid) anchor = i;
  }
  return anchor;
}

// A new section at the end of the file, after a blank line.
void appendSection(std::string& text, const Scan& s, std::string_view group, const std::string& entry) {
  const std::string eol = fileEnding(text, s);
  if (!text.empty() && !endsInNewline(text)) text += eol;
  if (!s.lines.empty() && s.lines.back().kind != Kind::blank) text += eol;
  // Appended piece by piece (GCC 12's -O3 -Wrestrict false positive on `"[" + string`).
  text += '[';
  text += group;
  text += ']';
  text += eol;
  text += entry;
  text += eol;
}

void setEntry(std::string& text, std::string_view group, const std::string& key, const std::string& value) {
  const Scan s = scan(text);
  const auto last = lastKeyLine(s, group, key);
  if (last && !s.lines[*last].deleted) {
    const Line& l = s.lines[*last];
    text.replace(l.valueBegin, l.valueEnd - l.valueBegin, value);
  } else if (const auto anchor = last ? last : insertionAnchor(s, group)) {
    const Line& l = s.lines[*anchor];
    const std::string eol = lineEnding(text, l);
    if (l.end == text.size())
      text += eol + key + "=" + value + eol;
    else
      text.insert(l.end + 1, key + "=" + value + eol);
  } else {
    appendSection(text, s, group, key + "=" + value);
  }
}

// What goes with the `dropped` lines: the header and blank lines of each
// section that held nothing else, and for such a section at the very end
// of the file the blank line that separated it.
std::vector<std::size_t> emptiedSections(const Scan& s, const std::vector<std::size_t>& dropped) {
  std::set<int> touched;
  for (const std::size_t i : dropped) touched.insert(s.lines[i].section);
  std::vector<std::size_t> more;
  for (const int section : touched) {
    std::vector<std::size_t> blanks;
    bool empty = true;
    for (std::size_t i = 0; i < s.lines.size() && empty; ++i) {
      const Line& l = s.lines[i];
      if (l.section != section || l.kind == Kind::header || std::count(dropped.begin(), dropped.end(), i)) continue;
      if (l.kind == Kind::blank)
        blanks.push_back(i);
      else
        empty = false;
    }
    if (!empty) continue;
    const std::size_t header = s.sections[static_cast<std::size_t>(section)].header;
    more.push_back(header);
    more.insert(more.end(), blanks.begin(), blanks.end());
    const bool atEnd = static_cast<std::size_t>(section) + 1 == s.sections.size();
    if (atEnd && header > 0 && s.lines[header - 1].kind == Kind::blank) more.push_back(header - 1);
  }
  return more;
}

// Every line of the key that holds a value, then any section that held only those.
void removeEntry(std::string& text, std::string_view group, std::string_view key) {
  const Scan s = scan(text);
  std::vector<std::size_t> drop;
  for (std::size_t i = 0; i < s.lines.size(); ++i)
    if (isKeyLine(s, s.lines[i], group, key) && !s.lines[i].deleted) drop.push_back(i);
  if (drop.empty()) return;
  const auto emptied = emptiedSections(s, drop);
  drop.insert(drop.end(), emptied.begin(), emptied.end());
  std::sort(drop.begin(), drop.end());
  drop.erase(std::unique(drop.begin(), drop.end()), drop.end());
  for (auto it = drop.rbegin(); it != drop.rend(); ++it) {
    const Line& l = s.lines[*it];
    const std::size_t end = l.end < text.size() ? l.end + 1 : l.end;
    text.erase(l.begin, end - l.begin);
  }
}

}  // namespace

std::optional<std::string> readEntry(std::string_view text, std::string_view group, std::string_view key) {
  const Scan s = scan(text);
  std::optional<std::string> value;
  for (const Line& l : s.lines) {
    if (!isKeyLine(s, l, group, key)) continue;
    if (l.deleted)
      value.reset();
    else
      value = std::string(text.substr(l.valueBegin, l.valueEnd - l.valueBegin));
    if (l.locked) break;  // later lines cannot change a locked entry
  }
  return value;
}

bool editGroup(std::string& text, std::string_view group, const std::vector<EntryEdit>& edits, std::string* error) {
  const Scan s = scan(text);
  auto fail = [error](std::string why) {
    if (error) *error = std::move(why);
    return false;
  };
  if (s.fileLocked) return fail("the file is locked with [$i]");
  for (const Section& section : s.sections)
    if (section.group == group && section.locked) return fail(std::string(1, '[').append(group).append("] is locked with [$i]"));
  for (const EntryEdit& edit : edits)
    for (const Line& l : s.lines)
      if (isKeyLine(s, l, group, edit.key) && l.locked)
        return fail(edit.key + " in [" + std::string(group) + "] is locked with [$i]");
  const bool hadFinalNewline = text.empty() || endsInNewline(text);
  for (const EntryEdit& edit : edits) {
    if (edit.value)
      setEntry(text, group, edit.key, *edit.value);
    else
      removeEntry(text, group, edit.key);
  }
  // A file that ended without a newline still does.
  if (!hadFinalNewline && endsInNewline(text)) {
    text.pop_back();
    if (!text.empty() && text.back() == '\r') text.pop_back();
  }
  return true;
}

std::string escapedValue(std::string_view value) {
  std::string out;
  bool leading = true;  // blanks a reader would trim
  for (const char c : value) {
    if (c == ' ' || c == '\t') {
      if (leading) out += c == ' ' ? "\\s" : "\\t";
      else out += c;
      continue;
    }
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\\') out += "\\\\";
    else out += c;
    if (c != '\n' && c != '\r') leading = false;
  }
  return out;
}

}  // namespace duskwarden::keyfile
