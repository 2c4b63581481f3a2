#include "control/InstanceCommands.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

namespace duskwarden {

namespace {

namespace protocol = instanceprotocol;

// The request's value as the table accepts it ("" for a command without one), or nothing.
std::optional<std::string> checkedValue(const Command& command, const std::vector<std::string>& arguments) {
  if (!command.value) return arguments.empty() ? std::optional<std::string>("") : std::nullopt;
  if (arguments.size() != 1) return std::nullopt;
  return command.value->check(arguments[0]);
}

}  // namespace

InstanceCommands::InstanceCommands(Environment environment) : env_(std::move(environment)) {}

void InstanceCommands::handle(const protocol::Request& request, Reply reply) {
  const Command* command = commandWithWord(request.command);
  if (!command) return reply(protocol::kErrorUnknownCommand);
  auto value = checkedValue(*command, request.arguments);
  if (!value) return reply(protocol::kErrorBadArgument);
  double timeout = kRequestSeconds;
  if (request.deadline) timeout = std::clamp(*request.deadline - env_.mainQueue->now(), 0.0, kRequestSeconds);
  NightShiftManager::Request asked{timeout, [reply](const NightShiftManager::Outcome& outcome) {
                                     reply(protocol::formatOutcome(outcome));
                                   }};
  command->handle(CommandCall{*env_.manager(), std::move(*value), std::move(asked), reply});
}

AnyCancellable InstanceCommands::follow(const protocol::Request& request, Reply push) {
  const Command* command = request.arguments.empty() ? nullptr : commandWithWord(request.arguments[0]);
  if (!command || command->follow.empty()) {
    push(protocol::kErrorUnknownCommand);
    return {};
  }
  if (request.arguments.size() != 1) {
    push(protocol::kErrorBadArgument);
    return {};
  }
  const auto manager = env_.manager();
  struct Follower {
    std::string last;
    bool scheduled = false;
  };
  auto follower = std::make_shared<Follower>();
  // The manager outlives the socket's connections only on the way out.
  auto answerNow = [command, follower, push, weak = std::weak_ptr(manager)] {
    follower->scheduled = false;
    const auto alive = weak.lock();
    if (!alive) return;
    const Reply send = [follower, push](std::string_view line) {
      if (line == follower->last) return;  // a write that changed nothing this command shows
      follower->last = line;
      push(line);
    };
    command->handle(CommandCall{*alive, "", NightShiftManager::Request{0, nullptr}, send});
  };
  answerNow();
  // objectWillChange comes before the value is stored: answer on the next
  // turn, once for a burst of writes (a status read writes several values).
  return manager->objectWillChange.sink([queue = env_.mainQueue, follower, answerNow] {
    if (std::exchange(follower->scheduled, true)) return;
    queue->async(answerNow);
  });
}

}  // namespace duskwarden
