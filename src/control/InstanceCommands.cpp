#include "control/InstanceCommands.h"

#include "nightshift/CBBlueLightClient.h"
#include "nightshift/NightShiftManager.h"

namespace duskwarden {

namespace {

namespace protocol = instanceprotocol;

InstanceCommands::ProviderInfo loadedProviderInfo() {
  BlueLightFramework& framework = BlueLightFramework::system();
  return {CBBlueLightClient::supportsBlueLightReduction(framework), CBBlueLightClient::backendName(framework)};
}

}  // namespace

InstanceCommands::InstanceCommands(Environment environment) : env_(std::move(environment)) {
  if (!env_.manager) env_.manager = [] { return NightShiftManager::sharedHandle(); };
  if (!env_.mainQueue) env_.mainQueue = mainQueueHandle();
  if (!env_.providerInfo) env_.providerInfo = loadedProviderInfo;
}

std::shared_ptr<NightShiftManager> InstanceCommands::manager() const { return env_.manager(); }

void InstanceCommands::afterClientQueue(std::function<void(const ProviderInfo&)> answer) {
  // The client queue is serial: this runs after the work the operation
  // queued, and its main-queue hop after what that work queued there.
  manager()->clientQueue().async([info = env_.providerInfo, main = env_.mainQueue, answer = std::move(answer)] {
    main->async([provider = info(), answer] { answer(provider); });
  });
}

void InstanceCommands::handle(const protocol::Request& request, Reply reply) {
  const auto& command = request.command;
  const auto& arguments = request.arguments;
  const auto done = [reply](const ProviderInfo& provider) {
    reply(provider.supported ? protocol::kAnswerOk : protocol::kAnswerUnsupported);
  };
  const auto manager = this->manager();

  if ((command == protocol::kEnable || command == protocol::kDisable) && arguments.empty()) {
    if (command == protocol::kEnable) {
      manager->enableNightShift();
    } else if (manager->autoEnable.get()) {
      manager->disableNightShift();  // logs the refusal and does nothing else
      return reply(protocol::kAnswerRefused);
    } else {
      manager->disableNightShift();
    }
    return afterClientQueue(done);
  }
  if (command == protocol::kStrength && arguments.size() == 1) {
    const auto strength = protocol::parseStrength(arguments[0]);
    if (!strength) return reply(protocol::kErrorBadArgument);
    manager->setColorTemperatureStrength(*strength);
    return afterClientQueue(done);
  }
  if (command == protocol::kKeepAlwaysOn && arguments.size() == 1) {
    const auto on = protocol::parseSwitch(arguments[0]);
    if (!on) return reply(protocol::kErrorBadArgument);
    manager->autoEnable = *on;  // persists it, sets the login item, may turn night light on
    return afterClientQueue([reply](const ProviderInfo&) { reply(protocol::kAnswerOk); });
  }
  if (command == protocol::kStatus && arguments.empty()) {
    manager->updateStatus();
    return afterClientQueue([reply, manager](const ProviderInfo& provider) {
      protocol::Status status;
      status.enabled = manager->isNightShiftEnabled.get();
      status.strength = manager->colorTemperatureStrength.get();
      status.keepAlwaysOn = manager->autoEnable.get();
      status.supported = provider.supported;
      status.backend = provider.backend;
      reply(protocol::formatStatus(status));
    });
  }
  const bool known = command == protocol::kEnable || command == protocol::kDisable || command == protocol::kStrength ||
                     command == protocol::kKeepAlwaysOn || command == protocol::kStatus;
  reply(known ? protocol::kErrorBadArgument : protocol::kErrorUnknownCommand);
}

}  // namespace duskwarden
