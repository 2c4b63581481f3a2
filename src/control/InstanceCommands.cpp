#include "control/InstanceCommands.h"

#include "control/CommandOutcome.h"

#include "nightshift/NightShiftManager.h"

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

void InstanceCommands::afterClientQueue(NightShiftManager& manager, std::function<void(const ProviderInfo&)> answer) {
  // The client queue is serial: this runs after the work the operation
  // queued, and its main-queue hop after what that work queued there.
  manager.clientQueue().async([info = env_.providerInfo, main = env_.mainQueue, answer = std::move(answer)] {
    main->async([provider = info(), answer] { answer(provider); });
  });
}

void InstanceCommands::handle(const protocol::Request& request, Reply reply) {
  const Command* command = commandWithWord(request.command);
  if (!command) return reply(protocol::kErrorUnknownCommand);
  auto value = checkedValue(*command, request.arguments);
  if (!value) return reply(protocol::kErrorBadArgument);
  const auto manager = env_.manager();
  const auto replyAfterWork = [this, manager, reply](CommandCall::Answer answer) {
    afterClientQueue(*manager, [reply, answer = std::move(answer)](const ProviderInfo& provider) {
      reply(answer(provider));
    });
  };
  const auto replyWhenCarriedOut = [this, manager, reply](Expectation expected) {
    commandoutcome::watch(
        manager, expected, *env_.mainQueue,
        [this, manager](std::function<void(const ProviderInfo&)> then) { afterClientQueue(*manager, std::move(then)); },
        reply);
  };
  command->handle(CommandCall{manager, std::move(*value), reply, replyAfterWork, replyWhenCarriedOut});
}

}  // namespace duskwarden
