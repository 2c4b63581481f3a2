#include "control/OutcomeWords.h"

#include "control/CommandTable.h"
#include "base/decimal/Decimal.h"
#include "platform/log/Logger.h"
#include "platform/text/Text.h"

#include <iterator>

namespace duskwarden {

namespace {

using Outcome = NightShiftManager::Outcome;
using Kind = Outcome::Kind;

std::string refused(const Outcome&, const std::string&, const std::string&) {
  return text::translate("CommandLine",
                         "Night Shift stays on while Keep Always On is set; switch that off first (--keep-always-on off)");
}

std::string unsupported(const Outcome&, const std::string&, const std::string& name) {
  if (journalReachable())
    return text::translate("CommandLine",
                           "night light is not supported on this desktop; the journal says why "
                           "(journalctl SYSLOG_IDENTIFIER=duskwarden)");
  return text::arg(
      text::translate("CommandLine",
                      "night light is not supported on this desktop; the running %1's standard error says why"),
      {name});
}

std::string failed(const Outcome& outcome, const std::string& goal, const std::string&) {
  return text::arg(text::translate("CommandLine", "could not %1: %2"), {goal, describe(outcome.reason)});
}

std::string unconfirmed(const Outcome&, const std::string& goal, const std::string&) {
  return text::arg(
      text::translate("CommandLine", "asked to %1, but the desktop did not report it done within %2 seconds"),
      {goal, decimal::shortest(kRequestSeconds)});
}

constexpr OutcomeWord kWords[] = {
    {Kind::done, "ok", kExitDone, nullptr},
    {Kind::noChangeNeeded, "unchanged", kExitDone, nullptr},
    {Kind::refused, "refused", kExitFailed, refused},
    {Kind::unsupported, "unsupported", kExitFailed, unsupported},
    {Kind::failed, "failed", kExitFailed, failed},
    {Kind::unconfirmed, "unconfirmed", kExitFailed, unconfirmed},
};

constexpr bool inKindOrder() {
  for (std::size_t i = 0; i < std::size(kWords); ++i)
    if (static_cast<std::size_t>(kWords[i].kind) != i) return false;
  return true;
}
static_assert(inKindOrder(), "one row per kind, in the order Outcome::Kind declares them");

}  // namespace

const OutcomeWord& outcomeWord(Kind kind) { return kWords[static_cast<std::size_t>(kind)]; }

const OutcomeWord* outcomeWithWord(std::string_view word) {
  for (const auto& entry : kWords)
    if (entry.word == word) return &entry;
  return nullptr;
}

}  // namespace duskwarden
