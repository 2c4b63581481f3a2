#include "control/InstanceProtocol.h"

#include "control/OutcomeWords.h"
#include "base/decimal/Decimal.h"
#include "duskwarden/nightlight.h"
#include "platform/log/PrintableText.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <map>

namespace duskwarden::instanceprotocol {

namespace {

std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> found;
  std::size_t start = 0;
  while (true) {
    const auto space = line.find(' ', start);
    found.push_back(line.substr(start, space == std::string_view::npos ? std::string_view::npos : space - start));
    if (space == std::string_view::npos) return found;
    start = space + 1;
  }
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// "v" and digits: a version word, ours or not.
bool isVersionWord(std::string_view word) {
  if (word.size() < 2 || word[0] != 'v') return false;
  for (char c : word.substr(1))
    if (!isDigit(c)) return false;
  return true;
}

// A backend's name or a failure's word: one short word, safe in any answer.
bool isShortWord(std::string_view name) {
  if (name.empty() || name.size() > 32 || name == "-") return false;
  for (char c : name)
    if (!(isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_')) return false;
  return true;
}

std::optional<bool> parseFlag(std::string_view text) {
  if (text == "1") return true;
  if (text == "0") return false;
  return std::nullopt;
}

constexpr std::string_view kDeadlineKey = "deadline=";

// "deadline=<ms>": its seconds, or nothing when the word is not one.
std::optional<double> parseDeadline(std::string_view word) {
  if (!word.starts_with(kDeadlineKey)) return std::nullopt;
  word.remove_prefix(kDeadlineKey.size());
  std::uint64_t ms = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), ms);
  if (word.empty() || error != std::errc{} || end != word.data() + word.size()) return std::nullopt;
  return static_cast<double>(ms) / 1000.0;
}

}  // namespace

double monotonicNow() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

ParsedRequest parseRequest(std::string_view line) {
  if (line.empty() || line.size() > kMaxRequestLine) return {std::nullopt, kErrorBadRequest};
  for (char c : line)
    if (c < ' ' || c > '~') return {std::nullopt, kErrorBadRequest};
  const auto parts = words(line);
  for (auto word : parts)
    if (word.empty()) return {std::nullopt, kErrorBadRequest};
  if (!isVersionWord(parts[0])) return {std::nullopt, kErrorBadRequest};
  if (parts[0] != kVersion) return {std::nullopt, kErrorUnsupportedVersion};
  if (parts.size() < 2) return {std::nullopt, kErrorBadRequest};
  Request request{std::string(parts[1]), {}, {}};
  std::size_t end = parts.size();
  if (end > 2 && parts[end - 1].starts_with(kDeadlineKey)) {
    request.deadline = parseDeadline(parts[--end]);
    if (!request.deadline) return {std::nullopt, kErrorBadRequest};
  }
  for (std::size_t i = 2; i < end; ++i) request.arguments.emplace_back(parts[i]);
  return {std::move(request), {}};
}

std::string requestLine(std::string_view command, const std::vector<std::string>& arguments,
                        std::optional<double> deadline) {
  std::string line = std::string(kVersion) + " " + std::string(command);
  for (const auto& argument : arguments) line += " " + argument;
  if (deadline) line += " " + std::string(kDeadlineKey) + std::to_string(static_cast<std::uint64_t>(*deadline * 1000));
  return line;
}

bool LineReader::append(std::string_view bytes) {
  buffer_.append(bytes);
  const auto end = buffer_.find('\n');
  return (end == std::string::npos ? buffer_.size() : end) <= maxLine_;
}

std::optional<std::string> LineReader::takeLine() {
  const auto end = buffer_.find('\n');
  if (end == std::string::npos) return std::nullopt;
  std::string line = buffer_.substr(0, end);
  buffer_.erase(0, end + 1);
  return line;
}

namespace {

// Six decimals are far finer than any desktop's setting (one kelvin is about
// 0.0003); past them a value is noise that would be echoed as a long number.
float toSixDecimals(double value) { return static_cast<float>(std::round(value * 1e6) / 1e6); }

}  // namespace

std::optional<float> parseStrength(std::string_view text) {
  const auto value = decimal::parse<double>(text);
  if (!value || !(*value >= 0.0 && *value <= 1.0)) return std::nullopt;
  return toSixDecimals(*value);
}

std::string formatStrength(float strength) {
  const std::string text = decimal::shortest(toSixDecimals(strength));
  return text.empty() ? std::string("0") : text;
}

namespace {

constexpr struct {
  int code;
  std::string_view word;
} kReasonWords[] = {
    {DW_NIGHTLIGHT_REASON_INHIBITED, "inhibited"}, {DW_NIGHTLIGHT_REASON_HELD, "held"},
    {DW_NIGHTLIGHT_REASON_LOCKED, "locked"},       {DW_NIGHTLIGHT_REASON_BUSY, "busy"},
    {DW_NIGHTLIGHT_REASON_FAILED, "failed"},       {DW_NIGHTLIGHT_REASON_TIMEOUT, "timeout"},
};

}  // namespace

std::string_view reasonWord(int code) {
  for (const auto& reason : kReasonWords)
    if (reason.code == code) return reason.word;
  return "failed";
}

int reasonCode(std::string_view word) {
  for (const auto& reason : kReasonWords)
    if (reason.word == word) return reason.code;
  return DW_NIGHTLIGHT_REASON_FAILED;
}

std::string formatOutcome(const NightShiftManager::Outcome& outcome) {
  std::string line(outcomeWord(outcome.kind).word);
  if (outcome.kind != NightShiftManager::Outcome::Kind::failed) return line;
  line += " " + std::string(reasonWord(outcome.reason.code));
  const std::string message = printableText(outcome.reason.message);
  if (message.empty()) return line;
  std::size_t room = kMaxRequestLine - line.size() - 1;
  if (message.size() > room) {
    while (room > 0 && (static_cast<unsigned char>(message[room]) & 0xC0) == 0x80) --room;  // not inside a character
  } else {
    room = message.size();
  }
  return line + " " + message.substr(0, room);
}

std::optional<NightShiftManager::Outcome> parseOutcome(std::string_view answer) {
  using Kind = NightShiftManager::Outcome::Kind;
  const auto parts = words(answer);
  const OutcomeWord* word = outcomeWithWord(parts[0]);
  if (word == nullptr) return std::nullopt;
  if (word->kind != Kind::failed) {
    if (parts.size() != 1) return std::nullopt;
    return NightShiftManager::Outcome{word->kind, {}};
  }
  if (parts.size() < 2 || !isShortWord(parts[1])) return std::nullopt;
  const std::size_t start = parts[0].size() + 1 + parts[1].size();
  const std::string_view message = start < answer.size() ? answer.substr(start + 1) : std::string_view{};
  return NightShiftManager::Outcome{Kind::failed, {reasonCode(parts[1]), printableText(message)}};
}

std::optional<bool> parseSwitch(std::string_view text) {
  if (text == "on") return true;
  if (text == "off") return false;
  return std::nullopt;
}

std::string formatStatus(const Status& status) {
  const std::string backend = status.backend && isShortWord(*status.backend) ? *status.backend : "-";
  // A provider's odd value is reported as unknown rather than breaking the line.
  const std::string strength = std::isfinite(status.strength) ? formatStrength(status.strength) : "-";
  return std::string(kStatus) + " enabled=" + (status.enabled ? "1" : "0") + " strength=" + strength +
         " keep-always-on=" + (status.keepAlwaysOn ? "1" : "0") + " supported=" + (status.supported ? "1" : "0") +
         " backend=" + backend + " unconfirmed=" + unconfirmedList(status.unconfirmed, "-") +
         " reason=" + (status.reason ? std::string(reasonWord(*status.reason)) : "-");
}

std::string unconfirmedList(const NightShiftManager::Unconfirmed& unconfirmed, std::string_view none) {
  std::string list = unconfirmed.enabled ? "enabled" : "";
  if (unconfirmed.strength) list += list.empty() ? "strength" : ",strength";
  return list.empty() ? std::string(none) : list;
}

std::optional<Status> parseStatus(std::string_view answer) {
  const auto parts = words(answer);
  if (parts.empty() || parts[0] != kStatus) return std::nullopt;
  std::map<std::string_view, std::string_view> fields;
  for (std::size_t i = 1; i < parts.size(); ++i) {
    const auto equals = parts[i].find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    fields[parts[i].substr(0, equals)] = parts[i].substr(equals + 1);
  }
  Status status;
  const auto enabled = parseFlag(fields["enabled"]);
  const auto keep = parseFlag(fields["keep-always-on"]);
  const auto supported = parseFlag(fields["supported"]);
  if (!enabled || !keep || !supported) return std::nullopt;
  status.enabled = *enabled;
  status.keepAlwaysOn = *keep;
  status.supported = *supported;
  const std::string_view strength = fields["strength"];
  if (strength == "-") {
    status.strength = NAN;
  } else {
    const auto [end, error] = std::from_chars(strength.data(), strength.data() + strength.size(), status.strength);
    if (strength.empty() || error != std::errc{} || end != strength.data() + strength.size() ||
        !std::isfinite(status.strength))
      return std::nullopt;
  }
  const std::string_view backend = fields["backend"];
  if (backend.empty()) return std::nullopt;
  if (backend != "-") {
    if (!isShortWord(backend)) return std::nullopt;
    status.backend = std::string(backend);
  }
  const std::string_view unconfirmed = fields["unconfirmed"];
  status.unconfirmed.enabled = unconfirmed.find("enabled") != std::string_view::npos;
  status.unconfirmed.strength = unconfirmed.find("strength") != std::string_view::npos;
  const std::string_view reason = fields["reason"];
  if (!reason.empty() && reason != "-") status.reason = reasonCode(reason);
  return status;
}

}  // namespace duskwarden::instanceprotocol
