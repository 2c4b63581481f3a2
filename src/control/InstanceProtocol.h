#pragma once
// What other launches and the running copy say over the local socket.
//
// One request line from the client, one answer line back, then the running
// copy closes the connection. A line ends with '\n' and holds at most
// kMaxRequestLine bytes of printable ASCII: words separated by single
// spaces. A request starts with the protocol version ("v1"), then a command
// word and its arguments:
//
//   v1 activate          show yourself -> ok
//   v1 <word> [<value>]  a command of the command table (CommandTable.h):
//                        "v1 strength 0.7" -> ok | refused | unsupported | failed <why> [<message>],
//                        "v1 status" -> status enabled=1 strength=0.7 keep-always-on=0 supported=1 backend=sim
//
// "ok" to enable, disable and strength means the desktop reported the state
// asked for. "failed <why> <message>" means it did not: <why> is one of
// inhibited, held (another program holds the screen's gamma), locked, busy
// (another writer holds the settings' lock), failed, timeout (the provider's
// reasons) or unconfirmed (the state was not reported within a few seconds);
// the message, which may be absent, says it in a sentence (UTF-8, printable).
// A client that does not know "failed" reports it as an answer it does not know.
//
// Failures are answered "error <reason>": bad-request (not a request line),
// unsupported-version (another version: never guessed at), unknown-command,
// bad-argument, timeout (the answer did not come in time).
//
// Plain C++, shared by the running copy and the command-line client.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace duskwarden::instanceprotocol {

inline constexpr std::size_t kMaxRequestLine = 256;
inline constexpr std::string_view kVersion = "v1";

// The one word the socket answers itself; the commands' words are the table's.
inline constexpr std::string_view kActivate = "activate";
// The status answer's first word.
inline constexpr std::string_view kStatus = "status";

// Answers, without their '\n'.
inline constexpr std::string_view kAnswerOk = "ok";
inline constexpr std::string_view kAnswerRefused = "refused";          // Keep Always On holds night light on
inline constexpr std::string_view kAnswerUnsupported = "unsupported";  // no usable night light here
inline constexpr std::string_view kAnswerFailed = "failed";            // "failed <why> [<message>]"
inline constexpr std::string_view kUnconfirmed = "unconfirmed";        // the <why> of a deadline passed
inline constexpr std::string_view kErrorBadRequest = "error bad-request";
inline constexpr std::string_view kErrorUnsupportedVersion = "error unsupported-version";
inline constexpr std::string_view kErrorUnknownCommand = "error unknown-command";
inline constexpr std::string_view kErrorBadArgument = "error bad-argument";
inline constexpr std::string_view kErrorTimeout = "error timeout";

struct Request {
  std::string command;
  std::vector<std::string> arguments;
};

// A request line taken apart: the request, or the error answer to give.
struct ParsedRequest {
  std::optional<Request> request;
  std::string_view error;
};

// Checks the line's bytes and words and its version.
ParsedRequest parseRequest(std::string_view line);

// "v1 <command> <arguments...>"
std::string requestLine(std::string_view command, const std::vector<std::string>& arguments = {});

// Collects bytes into lines, never holding more than one line's limit.
class LineReader {
 public:
  explicit LineReader(std::size_t maxLine = kMaxRequestLine) : maxLine_(maxLine) {}

  // False once the pending line is longer than the limit; the peer is then
  // not speaking this protocol and should be dropped.
  bool append(std::string_view bytes);
  // The next complete line, without its '\n'.
  std::optional<std::string> takeLine();

 private:
  std::size_t maxLine_;
  std::string buffer_;
};

// A strength as people and scripts write it: a plain decimal from 0 to 1
// ("0.7", "1", ".25"), in any locale the same. No sign, exponent, comma,
// "inf" or "nan". Rounded to six decimals, then to the nearest float.
std::optional<float> parseStrength(std::string_view text);
// The shortest decimal that reads back as `strength` rounded to six
// decimals ("0.7", "1", never more than "0.123457").
std::string formatStrength(float strength);

// Why the desktop did not carry a request out.
struct Failure {
  std::string why;      // a word: inhibited, held, locked, busy, failed, timeout, unconfirmed
  std::string message;  // a sentence, or empty
};

// The provider's reason codes (DW_NIGHTLIGHT_REASON_*) as <why> words, and
// back; an unknown code is "failed", an unknown word DW_NIGHTLIGHT_REASON_FAILED.
std::string_view reasonWord(int code);
int reasonCode(std::string_view word);

// "failed <why> <message>": the message made printable (PrintableText.h)
// and cut, at a character's end, so the line fits kMaxRequestLine.
std::string formatFailure(const Failure& failure);
// The failure in a "failed" answer, its message made printable; nothing for any other line.
std::optional<Failure> parseFailure(std::string_view answer);

// "on" / "off"
std::optional<bool> parseSwitch(std::string_view text);

struct Status {
  bool enabled = false;
  float strength = 0.5f;
  bool keepAlwaysOn = false;
  bool supported = false;
  std::optional<std::string> backend;  // the provider's backend, when it names one
};

// The answer line for `status`, and back. A backend name that is not a
// short word of letters, digits, '-' or '_' is left out.
std::string formatStatus(const Status& status);
std::optional<Status> parseStatus(std::string_view answer);

}  // namespace duskwarden::instanceprotocol
