#pragma once
// Runs a shell command line and captures what it prints.

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

namespace duskwarden::testing {

struct CommandResult {
  int status = -1;  // exit status, or -1 when it did not exit normally
  std::string output;  // stdout and stderr together
};

inline CommandResult runCommand(const std::string& commandLine) {
  CommandResult result;
  FILE* pipe = ::popen((commandLine + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 4096> buffer{};
  size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.output.append(buffer.data(), n);
  const int raw = ::pclose(pipe);
  if (raw != -1 && WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
  return result;
}

// Single-quoted for the shell.
inline std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}
inline std::string shellQuote(const std::filesystem::path& path) { return shellQuote(path.string()); }

}  // namespace duskwarden::testing
