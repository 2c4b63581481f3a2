#include "control/CommandTable.h"

#include "control/InstanceProtocol.h"
#include "nightshift/NightShiftManager.h"
#include "platform/text/Text.h"

#include <cmath>

namespace duskwarden {

namespace {

namespace protocol = instanceprotocol;

// Values.

const CommandValue kStrengthValue{
    "VALUE",
    [](std::string_view text) -> std::optional<std::string> {
      const auto strength = protocol::parseStrength(text);
      if (!strength) return std::nullopt;
      return protocol::formatStrength(*strength);
    },
    [](std::string_view, std::string_view text) {
      return text::arg(text::translate("CommandLine",
                                       "invalid strength '%1': expected a decimal number from 0.0 to 1.0, such as 0.5"),
                       {text});
    }};

const CommandValue kSwitchValue{
    "on|off",
    [](std::string_view text) -> std::optional<std::string> {
      if (!protocol::parseSwitch(text)) return std::nullopt;
      return std::string(text);
    },
    [](std::string_view option, std::string_view text) {
      return text::arg(text::translate("CommandLine", "invalid value '%1' for %2: expected on or off"), {text, option});
    }};

// Handlers: each the very manager operation the popover's control uses.

void enable(const CommandCall& call) {
  call.manager->enableNightShift();
  call.replyWhenCarriedOut({.enabled = true});
}

void disable(const CommandCall& call) {
  if (call.manager->disableNightShift() == NightShiftManager::Outcome::refused)
    return call.reply(protocol::kAnswerRefused);
  call.replyWhenCarriedOut({.enabled = false});
}

void setStrength(const CommandCall& call) {
  const float strength = *protocol::parseStrength(call.value);  // checked by the table
  call.manager->setColorTemperatureStrength(strength);
  call.replyWhenCarriedOut({.strength = strength});
}

void setKeepAlwaysOn(const CommandCall& call) {
  // Persists it, sets the login item and may turn night light on, as the switch does.
  call.manager->autoEnable = call.value == "on";
  if (const auto& failure = call.manager->autoEnableSaveFailure())
    return call.reply(protocol::formatFailure({"failed", *failure}));
  call.replyAfterWork([](const ProviderInfo&) { return std::string(protocol::kAnswerOk); });
}

void status(const CommandCall& call) {
  // Read afresh, as opening the popover does; answered once that read is applied.
  call.manager->updateStatus();
  call.replyAfterWork([manager = call.manager](const ProviderInfo& provider) {
    protocol::Status status;
    status.enabled = manager->isNightShiftEnabled.get();
    status.strength = manager->colorTemperatureStrength.get();
    status.keepAlwaysOn = manager->autoEnable.get();
    status.supported = provider.supported;
    status.backend = provider.backend;
    return protocol::formatStatus(status);
  });
}

// What the status answer prints.

std::string onOff(bool on) { return on ? text::translate("CommandLine", "on") : text::translate("CommandLine", "off"); }

// For people; scripts read --json, which stays the same in every language.
std::string humanStatus(const protocol::Status& status) {
  const std::string strength = std::isfinite(status.strength) ? protocol::formatStrength(status.strength)
                                                              : text::translate("CommandLine", "unknown");
  return text::arg(
      text::translate("CommandLine", "Night Shift: %1; strength: %2; Keep Always On: %3; backend: %4"),
      {status.supported ? onOff(status.enabled) : text::translate("CommandLine", "not supported here"), strength,
       onOff(status.keepAlwaysOn), status.backend.value_or(text::translate("CommandLine", "none"))});
}

// Every value is a number, a Boolean or a word of [A-Za-z0-9_-]: nothing to escape.
std::string jsonStatus(const protocol::Status& status) {
  const auto boolean = [](bool value) { return value ? "true" : "false"; };
  return std::string("{\"enabled\": ") + boolean(status.enabled) + ", \"strength\": " +
         (std::isfinite(status.strength) ? protocol::formatStrength(status.strength) : "null") +
         ", \"keepAlwaysOn\": " + boolean(status.keepAlwaysOn) + ", \"backend\": " +
         (status.backend ? "\"" + *status.backend + "\"" : "null") + ", \"supported\": " + boolean(status.supported) +
         "}";
}

std::optional<std::string> showStatus(std::string_view answer, bool forScripts) {
  const auto status = protocol::parseStatus(answer);
  if (!status) return std::nullopt;
  return forScripts ? jsonStatus(*status) : humanStatus(*status);
}

const Command kCommands[] = {
    {.option = "--enable",
     .word = "enable",
     .help = DW_TRANSLATE_NOOP("CommandLine", "turn Night Shift on"),
     .goal = DW_TRANSLATE_NOOP("CommandLine", "turn Night Shift on"),
     .handle = enable},
    {.option = "--disable",
     .word = "disable",
     .help = DW_TRANSLATE_NOOP("CommandLine", "turn Night Shift off; refused while Keep Always On is set"),
     .goal = DW_TRANSLATE_NOOP("CommandLine", "turn Night Shift off"),
     .handle = disable},
    {.option = "--strength",
     .word = "strength",
     .value = &kStrengthValue,
     .help = DW_TRANSLATE_NOOP("CommandLine", "set the warmth, from 0.0 (least warm) to 1.0 (most warm)"),
     .goal = DW_TRANSLATE_NOOP("CommandLine", "set the strength"),
     .handle = setStrength},
    {.option = "--keep-always-on",
     .word = "keep-always-on",
     .value = &kSwitchValue,
     .help = DW_TRANSLATE_NOOP("CommandLine", "switch Keep Always On"),
     .handle = setKeepAlwaysOn},
    {.option = "--status",
     .word = "status",
     .help = DW_TRANSLATE_NOOP("CommandLine", "show the state, as a line or as JSON"),
     .handle = status,
     .startsProgram = false,
     .forScripts = "--json",
     .show = showStatus},
};

template <typename Matches>
const Command* find(Matches matches) {
  for (const Command& command : kCommands)
    if (matches(command)) return &command;
  return nullptr;
}

}  // namespace

std::span<const Command> commands() { return kCommands; }

const Command* commandWithOption(std::string_view option) {
  return find([option](const Command& c) { return c.option == option; });
}

const Command* commandWithWord(std::string_view word) {
  return find([word](const Command& c) { return c.word == word; });
}

const Command* commandForScriptsOption(std::string_view option) {
  return find([option](const Command& c) { return !c.forScripts.empty() && c.forScripts == option; });
}

std::string synopsis(const Command& command) {
  std::string text(command.option);
  if (command.value) text += " " + std::string(command.value->name);
  if (!command.forScripts.empty()) text += " [" + std::string(command.forScripts) + "]";
  return text;
}

}  // namespace duskwarden
