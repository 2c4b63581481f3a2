#include "control/InstanceCommands.h"

#include <algorithm>
#include <optional>
#include <string>

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

}  // namespace duskwarden
