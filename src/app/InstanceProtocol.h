#pragma once
// What a later launch and the running copy say over the local socket.
//
// One request line from the client, one answer line back, then the running
// copy closes the connection. A line ends with '\n' and holds at most
// kMaxRequestLine bytes of printable ASCII: a command word, then arguments
// separated by single spaces. Today the one command is "activate" (show
// yourself), answered "ok". A command the running copy does not know is
// answered "error unknown-command", so a newer client can tell an older
// copy from a failure and fall back.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace duskwarden::instanceprotocol {

inline constexpr std::size_t kMaxRequestLine = 256;
inline constexpr std::string_view kActivate = "activate";
inline constexpr std::string_view kAnswerOk = "ok\n";
inline constexpr std::string_view kAnswerUnknownCommand = "error unknown-command\n";
inline constexpr std::string_view kAnswerBadRequest = "error bad-request\n";

struct Request {
  std::string command;
  std::vector<std::string> arguments;
};

// Collects bytes into lines, never holding more than one line's limit.
class LineReader {
 public:
  explicit LineReader(std::size_t maxLine = kMaxRequestLine) : maxLine_(maxLine) {}

  // False once the pending line is longer than the limit; the peer is then
  // not speaking this protocol and should be dropped.
  bool append(std::string_view bytes) {
    buffer_.append(bytes);
    const auto end = buffer_.find('\n');
    return (end == std::string::npos ? buffer_.size() : end) <= maxLine_;
  }

  // The next complete line, without its '\n'.
  std::optional<std::string> takeLine() {
    const auto end = buffer_.find('\n');
    if (end == std::string::npos) return std::nullopt;
    std::string line = buffer_.substr(0, end);
    buffer_.erase(0, end + 1);
    return line;
  }

 private:
  std::size_t maxLine_;
  std::string buffer_;
};

// Nothing for an empty line, a control or non-ASCII byte, or an empty word.
inline std::optional<Request> parseRequest(std::string_view line) {
  if (line.empty() || line.size() > kMaxRequestLine) return std::nullopt;
  for (char c : line)
    if (c < ' ' || c > '~') return std::nullopt;
  Request request;
  std::size_t start = 0;
  while (true) {
    const auto space = line.find(' ', start);
    const auto word = line.substr(start, space == std::string_view::npos ? std::string_view::npos : space - start);
    if (word.empty()) return std::nullopt;
    if (request.command.empty()) request.command = word;
    else request.arguments.emplace_back(word);
    if (space == std::string_view::npos) return request;
    start = space + 1;
  }
}

}  // namespace duskwarden::instanceprotocol
