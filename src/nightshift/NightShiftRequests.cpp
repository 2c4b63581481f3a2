// What became of each request: the manager's bookkeeping from the moment a
// request is made on main, through its command on clientQueue, to the first
// status read that shows it, says why not, or its deadline.
//
// Ordering does the work: a command posts "ran" to main from clientQueue
// before any read that follows it there can post its status, so every read
// main applies after hearing "ran" was made after the command.

#include "nightshift/NightShiftManager.h"

#include <cmath>
#include <limits>
#include <vector>

namespace duskwarden {

namespace {
// A request still waiting this long before its deadline asks for one more read.
constexpr double kLastLookSeconds = 0.5;
}  // namespace

unsigned NightShiftManager::openRequest(Asked asked, float strength, std::optional<Request> request,
                                        const std::function<void(unsigned id, const DropTime&)>& queue) {
  const bool isStrength = asked == Asked::strength;
  const bool already =
      isStrength ? !unconfirmed.get().strength && std::fabs(lastReadStrength_ - strength) <= kStrengthTolerance
                 : !unconfirmed.get().enabled && isNightShiftEnabled.get() == (asked == Asked::on);
  markUnconfirmed(asked);
  const double deadline =
      request ? deps_.mainQueue->now() + request->timeout : std::numeric_limits<double>::infinity();
  // A request joins a queued command that asks the same and has not run yet:
  // a burst of them behind a stall runs once.
  unsigned id = 0;
  for (auto& [queued, command] : commands_) {
    if (!request || command.asked != asked || (isStrength && command.strength != strength)) continue;
    id = queued;
    if (command.dropAfter->load() < deadline) command.dropAfter->store(deadline);
  }
  if (id == 0) {
    id = ++lastId_;
    auto dropAfter = std::make_shared<std::atomic<double>>(deadline);
    commands_[id] = PendingCommand{asked, strength, dropAfter};
    queue(id, dropAfter);
  }
  if (!request) return id;

  const unsigned watch = ++lastId_;
  watches_[watch] = Watch{asked, strength, id, already, false, false, std::move(request->completion)};
  if (request->timeout > kLastLookSeconds) {
    deps_.mainQueue->asyncAfter(request->timeout - kLastLookSeconds, [self = shared_from_this(), watch] {
      const auto it = self->watches_.find(watch);
      if (it != self->watches_.end() && it->second.ran) self->updateStatus();
    });
  }
  deps_.mainQueue->asyncAfter(request->timeout, [self = shared_from_this(), watch] { self->expire(watch); });
  return id;
}

void NightShiftManager::markUnconfirmed(Asked asked) {
  Unconfirmed now = unconfirmed.get();
  (asked == Asked::strength ? now.strength : now.enabled) = true;
  if (unconfirmed.get() != now) unconfirmed = now;
}

bool NightShiftManager::dropIfLate(unsigned id, const DropTime& dropAfter, const std::string& what) {
  if (clientQueue_->now() < dropAfter->load()) return false;
  logger_.log("Dropped the request to %{public}s: its deadline passed while it waited, and it was answered as failed",
              what);
  reportRan(id, false, true);
  return true;
}

void NightShiftManager::reportRan(unsigned id, bool reachedClient, bool dropped) {
  deps_.mainQueue->async(
      [self = shared_from_this(), id, reachedClient, dropped] { self->commandRan(id, reachedClient, dropped); });
}

void NightShiftManager::commandRan(unsigned id, bool reachedClient, bool dropped) {
  commands_.erase(id);
  std::vector<unsigned> waiting;
  for (auto& [watch, request] : watches_)
    if (request.command == id) waiting.push_back(watch);
  for (unsigned watch : waiting) {
    if (dropped) {
      complete(watch, {Outcome::Kind::failed, {DW_NIGHTLIGHT_REASON_TIMEOUT, {}}});
    } else if (!reachedClient) {
      complete(watch, {Outcome::Kind::unsupported, {}});
    } else {
      watches_[watch].ran = true;
    }
  }
}

void NightShiftManager::judge(const Read& read) {
  std::vector<std::pair<unsigned, Outcome>> decided;
  for (auto& [watch, request] : watches_) {
    if (!request.ran) continue;
    request.sawRead = true;
    bool shows = false;
    if (read.ok && request.asked == Asked::strength)
      shows = read.strength && std::fabs(*read.strength - request.strength) <= kStrengthTolerance;
    else if (read.ok)
      shows = read.enabled == (request.asked == Asked::on);
    if (shows)
      decided.emplace_back(watch, Outcome{request.already ? Outcome::Kind::noChangeNeeded : Outcome::Kind::done, {}});
    else if (read.reason)
      decided.emplace_back(watch, Outcome{Outcome::Kind::failed, *read.reason});
    // Otherwise the desktop may still be applying it (KWin, GNOME's ramp): later reads, or the deadline, decide.
  }
  for (auto& [watch, outcome] : decided) complete(watch, outcome);
}

void NightShiftManager::expire(unsigned watch) {
  const auto it = watches_.find(watch);
  if (it == watches_.end()) return;
  if (it->second.ran && it->second.sawRead) return complete(watch, {Outcome::Kind::unconfirmed, {}});
  // No read came back after it: the platform is stuck, and says so until a read does.
  const BlueLightReason timeout{DW_NIGHTLIGHT_REASON_TIMEOUT, {}};
  if (reason.get() != timeout) reason = timeout;
  complete(watch, {Outcome::Kind::failed, timeout});
}

void NightShiftManager::complete(unsigned watch, Outcome outcome) {
  auto node = watches_.extract(watch);
  if (node.empty()) return;
  const Watch& request = node.mapped();
  const bool fell = outcome.kind == Outcome::Kind::failed || outcome.kind == Outcome::Kind::unconfirmed;
  // The value asked for is not what the platform has: show the last one it
  // reported, unless a later strength is on its way.
  bool later = false;
  for (const auto& [id, command] : commands_) later = later || (command.asked == Asked::strength && id != request.command);
  if (fell && request.asked == Asked::strength && !later && colorTemperatureStrength.get() != lastReadStrength_)
    colorTemperatureStrength = lastReadStrength_;
  if (request.completion) request.completion(outcome);
}

}  // namespace duskwarden
