#include "update/SystemVersion.h"

#include <unistd.h>

#include <cstdio>

namespace duskwarden {

namespace {

// os-release is a few hundred bytes; stop early on anything else.
constexpr std::size_t kMaxOsReleaseBytes = 64 * 1024;

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::string unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  std::string out;
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (v[i] == '\\' && i + 1 < v.size()) ++i;
    out += v[i];
  }
  return out;
}

}  // namespace

std::optional<std::string> parseOsReleaseVersionId(std::string_view text) {
  std::optional<std::string> found;
  while (!text.empty()) {
    auto eol = text.find('\n');
    std::string_view line = trim(text.substr(0, eol));
    text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);
    if (line.rfind("VERSION_ID=", 0) != 0) continue;
    std::string value = unquote(trim(line.substr(11)));
    // The last assignment wins, as when the file is sourced by a shell.
    if (value.empty()) found.reset();
    else found = value;
  }
  return found;
}

std::optional<std::string> systemVersionFromFile(const std::filesystem::path& path) {
  // Read with stdio, not a stream: the launch reads this, and a tray
  // program's first iostream pulls in the whole locale machinery (about
  // half a mebibyte of the C++ library's pages) for one short file.
  std::FILE* file = std::fopen(path.c_str(), "re");
  if (!file) return std::nullopt;
  std::string text;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0 && text.size() < kMaxOsReleaseBytes)
    text.append(buffer, n);
  std::fclose(file);
  return parseOsReleaseVersionId(text);
}

std::optional<std::string> runningSystemVersion() {
  // The one in /etc wins whenever it exists, even without a version.
  if (::access("/etc/os-release", F_OK) == 0) return systemVersionFromFile("/etc/os-release");
  return systemVersionFromFile("/usr/lib/os-release");
}

}  // namespace duskwarden
