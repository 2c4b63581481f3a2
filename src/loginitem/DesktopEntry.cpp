#include "loginitem/DesktopEntry.h"

namespace duskwarden::desktopentry {
namespace {

// Characters that force quoting; outside quotes they make a line invalid.
constexpr std::string_view kReserved = "\"'\\><~|&;$*?#()`";

bool needsQuoting(std::string_view argument) {
  if (argument.empty()) return true;
  for (char c : argument) {
    if (c == ' ' || c == '\t' || c == '\n' || kReserved.find(c) != std::string_view::npos) return true;
  }
  return false;
}

bool escapedInsideQuotes(char c) { return c == '"' || c == '`' || c == '$' || c == '\\'; }

}  // namespace

std::string quoteExecArgument(std::string_view argument) {
  const bool quote = needsQuoting(argument);
  std::string out;
  out.reserve(argument.size() + 8);
  if (quote) out += '"';
  for (char c : argument) {
    if (c == '%') {
      out += "%%";
    } else {
      if (quote && escapedInsideQuotes(c)) out += '\\';
      out += c;
    }
  }
  if (quote) out += '"';
  return out;
}

std::string execLine(const std::vector<std::string>& arguments) {
  std::string line;
  for (const auto& argument : arguments) {
    if (!line.empty()) line += ' ';
    line += quoteExecArgument(argument);
  }
  return line;
}

std::optional<std::vector<std::string>> splitExecLine(std::string_view exec) {
  std::vector<std::string> arguments;
  std::string current;
  bool inArgument = false;
  bool inQuotes = false;
  // A field code such as %f stands for arguments we do not supply; an argument
  // that is nothing but a field code therefore disappears.
  bool onlyFieldCodes = true;

  auto finish = [&] {
    if (inArgument && !(onlyFieldCodes && current.empty())) arguments.push_back(current);
    current.clear();
    inArgument = false;
    onlyFieldCodes = true;
  };

  for (std::size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (c == '%') {
      if (i + 1 >= exec.size()) return std::nullopt;
      inArgument = true;
      if (exec[++i] == '%') {
        current += '%';
        onlyFieldCodes = false;
      }
      continue;
    }
    if (inQuotes) {
      if (c == '"') {
        inQuotes = false;
      } else if (c == '\\') {
        if (i + 1 >= exec.size() || !escapedInsideQuotes(exec[i + 1])) return std::nullopt;
        current += exec[++i];
      } else {
        current += c;
      }
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\n') {
      finish();
    } else if (c == '"') {
      inQuotes = true;
      inArgument = true;
      onlyFieldCodes = false;
    } else if (kReserved.find(c) != std::string_view::npos) {
      return std::nullopt;
    } else {
      current += c;
      inArgument = true;
      onlyFieldCodes = false;
    }
  }
  if (inQuotes) return std::nullopt;
  finish();
  return arguments;
}

}  // namespace duskwarden::desktopentry
