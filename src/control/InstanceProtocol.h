#pragma once
// What other launches and the running copy say over the local socket.
//
// One request line from the client, one answer line back, then the running
// copy closes the connection. A line ends with '\n' and holds at most
// kMaxRequestLine bytes of printable ASCII: words separated by single
// spaces. A request starts with the protocol version ("v1"), then a command
// word, its arguments and, last, the request's deadline:
//
//   v1 activate [deadline=<ms>]          show yourself -> ok
//   v1 <word> [<value>] [deadline=<ms>]  a command of the command table (CommandTable.h):
//        "v1 strength 0.7 deadline=8123456" -> ok | unchanged | refused | unsupported | unconfirmed
//                                              | failed <why> [<message>],
//        "v1 status" -> status enabled=1 strength=0.7 keep-always-on=0 supported=1 backend=sim unconfirmed=-
//                         reason=-
//   v1 follow <word>                     a command's answer now and again at each change, one line each,
//        "v1 follow status"              until either end closes; "error busy" when too many follow already
//
// The deadline is when the client stops waiting, in milliseconds of the
// machine's monotonic clock (CLOCK_MONOTONIC). A request read after it is
// dropped unanswered ("error timeout"), and one read before it is answered
// before it: within kRequestSeconds at most. A request answered "failed" or
// left unanswered never takes effect later. Without a deadline, a request
// has kRequestSeconds from when it is read.
//
// The answers to a command are the manager's outcomes (OutcomeWords.h):
// "ok" means the desktop reported the state asked for, "unchanged" that it
// showed it before the request too; "failed <why> <message>" that it did not:
// <why> is one of inhibited, held (another program holds the screen's gamma),
// locked, busy (another writer holds the settings' lock), failed, or timeout
// (the desktop did not answer in time); the message, which may be absent,
// says it in a sentence (UTF-8, printable). "unconfirmed": the desktop
// answered but did not report the state asked for in time, nor why.
//
// Failures are answered "error <reason>": bad-request (not a request line),
// unsupported-version (another version: never guessed at), unknown-command,
// bad-argument, timeout (the answer did not come in time).
//
// Plain C++, shared by the running copy and the command-line client.

#include "nightshift/NightShiftManager.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace duskwarden::instanceprotocol {

inline constexpr std::size_t kMaxRequestLine = 256;
inline constexpr std::string_view kVersion = "v1";

// The words the socket answers itself; the commands' words are the table's.
inline constexpr std::string_view kActivate = "activate";
inline constexpr std::string_view kFollow = "follow";
// The status answer's first word.
inline constexpr std::string_view kStatus = "status";

// Answers, without their '\n' (a command's outcome is OutcomeWords.h's).
inline constexpr std::string_view kAnswerOk = "ok";
inline constexpr std::string_view kErrorBadRequest = "error bad-request";
inline constexpr std::string_view kErrorUnsupportedVersion = "error unsupported-version";
inline constexpr std::string_view kErrorUnknownCommand = "error unknown-command";
inline constexpr std::string_view kErrorBadArgument = "error bad-argument";
inline constexpr std::string_view kErrorTimeout = "error timeout";
inline constexpr std::string_view kErrorBusy = "error busy";

struct Request {
  std::string command;
  std::vector<std::string> arguments;
  std::optional<double> deadline;  // seconds on the monotonic clock, when the client stops waiting
};

// Seconds on the monotonic clock, as deadlines count them.
double monotonicNow();

// A request line taken apart: the request, or the error answer to give.
struct ParsedRequest {
  std::optional<Request> request;
  std::string_view error;
};

// Checks the line's bytes and words and its version.
ParsedRequest parseRequest(std::string_view line);

// "v1 <command> <arguments...> [deadline=<ms>]"
std::string requestLine(std::string_view command, const std::vector<std::string>& arguments = {},
                        std::optional<double> deadline = std::nullopt);

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

// The provider's reason codes (DW_NIGHTLIGHT_REASON_*) as <why> words, and
// back; an unknown code is "failed", an unknown word DW_NIGHTLIGHT_REASON_FAILED.
std::string_view reasonWord(int code);
int reasonCode(std::string_view word);

// A command's outcome as its answer line: its word, and for a failure
// "failed <why> <message>", the message made printable (PrintableText.h) and
// cut, at a character's end, so the line fits kMaxRequestLine.
std::string formatOutcome(const NightShiftManager::Outcome& outcome);
// The outcome an answer line carries, its message made printable; nothing for any other line.
std::optional<NightShiftManager::Outcome> parseOutcome(std::string_view answer);

// "on" / "off"
std::optional<bool> parseSwitch(std::string_view text);

struct Status {
  bool enabled = false;
  float strength = 0.5f;
  bool keepAlwaysOn = false;
  bool supported = false;
  std::optional<std::string> backend;  // the provider's backend, when it names one
  NightShiftManager::Unconfirmed unconfirmed{false, false};  // values no read has confirmed
  std::optional<int> reason = std::nullopt;  // why night light is off or the last request failed: a DW_NIGHTLIGHT_REASON_*
};

// The answer line for `status`, and back. A backend name that is not a
// short word of letters, digits, '-' or '_' is left out. "unconfirmed=" lists
// the unconfirmed values ("enabled,strength", "-" for none); a line without
// it (an earlier version's) confirms both. "reason=" is reasonWord's word or
// "-"; a line without it names none.
std::string formatStatus(const Status& status);
// "enabled,strength", "strength", ...; `none` when both are confirmed.
std::string unconfirmedList(const NightShiftManager::Unconfirmed& unconfirmed, std::string_view none);
std::optional<Status> parseStatus(std::string_view answer);

}  // namespace duskwarden::instanceprotocol
