#pragma once
// Reads an Exec line from a desktop file's raw text the way a launcher does,
// written apart from the production code so the two can disagree: first the
// key-file string escapes, then the Exec quoting, then the %% field code.

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace duskwarden::testing {

// The raw value of `key` in the [Desktop Entry] group.
inline std::optional<std::string> rawValue(const std::string& fileText, const std::string& key) {
  std::istringstream in(fileText);
  std::string line;
  bool inGroup = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] == '[') {
      inGroup = line == "[Desktop Entry]";
    } else if (inGroup && line.rfind(key + "=", 0) == 0) {
      return line.substr(key.size() + 1);
    }
  }
  return std::nullopt;
}

inline std::string unescapeKeyFileString(const std::string& raw) {
  std::string out;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\\' || i + 1 == raw.size()) {
      out += raw[i];
      continue;
    }
    switch (raw[++i]) {
      case 's': out += ' '; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      case '\\': out += '\\'; break;
      default: out += '\\'; out += raw[i]; break;
    }
  }
  return out;
}

// Splits an unescaped Exec value into arguments; nothing for a malformed line.
inline std::optional<std::vector<std::string>> launcherArguments(const std::string& exec) {
  std::vector<std::string> args;
  std::string arg;
  bool have = false;
  std::size_t i = 0;
  while (i < exec.size()) {
    const char c = exec[i];
    if (c == ' ') {
      if (have) args.push_back(arg);
      arg.clear();
      have = false;
      ++i;
    } else if (c == '"') {
      have = true;
      ++i;
      while (true) {
        if (i >= exec.size()) return std::nullopt;
        if (exec[i] == '"') { ++i; break; }
        if (exec[i] == '\\') {
          if (i + 1 >= exec.size()) return std::nullopt;
          const char next = exec[i + 1];
          if (next != '"' && next != '`' && next != '$' && next != '\\') return std::nullopt;
          arg += next;
          i += 2;
          continue;
        }
        if (exec[i] == '%') {
          if (i + 1 >= exec.size() || exec[i + 1] != '%') return std::nullopt;
          arg += '%';
          i += 2;
          continue;
        }
        arg += exec[i++];
      }
    } else if (c == '%') {
      if (i + 1 >= exec.size() || exec[i + 1] != '%') return std::nullopt;
      arg += '%';
      have = true;
      i += 2;
    } else {
      if (std::string("\"'\\><~|&;$*?#()`\t\n").find(c) != std::string::npos) return std::nullopt;
      arg += c;
      have = true;
      ++i;
    }
  }
  if (have) args.push_back(arg);
  return args;
}

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace duskwarden::testing
