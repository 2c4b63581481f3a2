#pragma once
// Each outcome of a request, once: its word on the socket, the exit status
// of the launch that asked, and what that launch says of it on standard
// error. The running copy answers with these words (InstanceProtocol) and the
// client reads them back (RemoteCommand), both from this table.
//
// Plain C++: no Qt.

#include "nightshift/NightShiftManager.h"

#include <string>
#include <string_view>

namespace duskwarden {

struct OutcomeWord {
  using Outcome = NightShiftManager::Outcome;

  Outcome::Kind kind;
  std::string_view word;  // "ok", "failed", ...
  int exitStatus;
  // The line said, from what was asked (`goal`: "turn Night Shift on") and
  // the program's name; nullptr: nothing to say.
  std::string (*said)(const Outcome& outcome, const std::string& goal, const std::string& name);
};

const OutcomeWord& outcomeWord(OutcomeWord::Outcome::Kind kind);
// Nothing for a word that names no outcome.
const OutcomeWord* outcomeWithWord(std::string_view word);

}  // namespace duskwarden
