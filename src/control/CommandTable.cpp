#include "control/CommandTable.h"

#include "control/InstanceProtocol.h"
#include "nightshift/NightShiftManager.h"
#include "platform/text/Text.h"
#include "duskwarden/nightlight.h"

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

void enable(const CommandCall& call) { call.manager.enableNightShift(call.request); }

void disable(const CommandCall& call) { call.manager.disableNightShift(call.request); }

void setStrength(const CommandCall& call) {
  // Applied once, as at the end of a drag.
  call.manager.setColorTemperatureStrength(*protocol::parseStrength(call.value), call.request);  // checked by the table
}

void setKeepAlwaysOn(const CommandCall& call) { call.manager.setAutoEnable(call.value == "on", call.request); }

void status(const CommandCall& call) {
  // What the manager publishes now: it reads whenever the desktop reports a change.
  const NightShiftManager& manager = call.manager;
  protocol::Status status;
  status.enabled = manager.isNightShiftEnabled.get();
  // A drag moves the published strength step by step; followers and scripts
  // see what the desktop took, or the value asked for while unconfirmed.
  status.strength = manager.unconfirmed.get().strength ? manager.colorTemperatureStrength.get()
                                                       : manager.lastReadStrength();
  status.keepAlwaysOn = manager.autoEnable.get();
  // Not known before the set-up has run: then the state reads as unconfirmed.
  status.supported = !manager.backend.get() || manager.backend.get()->supported;
  if (manager.backend.get()) status.backend = manager.backend.get()->name;
  status.unconfirmed = manager.unconfirmed.get();
  if (const auto& why = manager.reason.get(); why && why->code != DW_NIGHTLIGHT_REASON_NONE) status.reason = why->code;
  call.reply(protocol::formatStatus(status));
}

// What the status answer prints.

std::string onOff(bool on) { return on ? text::translate("CommandLine", "on") : text::translate("CommandLine", "off"); }

std::string shown(std::string value, bool unconfirmed) {
  return unconfirmed ? text::arg(text::translate("CommandLine", "%1 (unconfirmed)"), {value}) : value;
}

// For people; scripts read --json, which stays the same in every language.
std::string humanStatus(const protocol::Status& status) {
  const std::string strength = std::isfinite(status.strength) ? protocol::formatStrength(status.strength)
                                                              : text::translate("CommandLine", "unknown");
  const std::string line = text::arg(
      text::translate("CommandLine", "Night Shift: %1; strength: %2; Keep Always On: %3; backend: %4"),
      {status.supported ? shown(onOff(status.enabled), status.unconfirmed.enabled)
                        : text::translate("CommandLine", "not supported here"),
       shown(strength, status.unconfirmed.strength), onOff(status.keepAlwaysOn),
       status.backend.value_or(text::translate("CommandLine", "none"))});
  if (!status.reason) return line;
  return text::arg(text::translate("CommandLine", "%1; why: %2"), {line, describe(BlueLightReason{*status.reason, {}})});
}

// Every value is a number, a Boolean or a word of [A-Za-z0-9_-]: nothing to escape.
std::string jsonStatus(const protocol::Status& status) {
  const auto boolean = [](bool value) { return value ? "true" : "false"; };
  std::string unconfirmed = status.unconfirmed.enabled ? "\"enabled\"" : "";
  if (status.unconfirmed.strength) unconfirmed += std::string(unconfirmed.empty() ? "" : ", ") + "\"strength\"";
  return std::string("{\"enabled\": ") + boolean(status.enabled) + ", \"strength\": " +
         (std::isfinite(status.strength) ? protocol::formatStrength(status.strength) : "null") +
         ", \"keepAlwaysOn\": " + boolean(status.keepAlwaysOn) + ", \"backend\": " +
         (status.backend ? "\"" + *status.backend + "\"" : "null") + ", \"supported\": " + boolean(status.supported) +
         ", \"unconfirmed\": [" + unconfirmed + "], \"reason\": " +
         (status.reason ? "\"" + std::string(protocol::reasonWord(*status.reason)) + "\"" : "null") + "}";
}

// A JSON string of any UTF-8 text: translations may hold quotes.
std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      constexpr char kHex[] = "0123456789abcdef";
      out += std::string("\\u00") + kHex[(c >> 4) & 0xF] + kHex[c & 0xF];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// What a waybar custom module reads (return-type json): its text, tooltip,
// the class its style sheet picks (on, kept, off, failed; also as "alt" for
// format-icons) and the strength as a percentage.
std::string waybarStatus(const protocol::Status& status) {
  const char* kind = !status.supported                     ? "failed"
                     : status.enabled && status.keepAlwaysOn ? "kept"
                     : status.enabled                        ? "on"
                     : status.reason                         ? "failed"
                                                             : "off";
  const int percent = std::isfinite(status.strength) ? static_cast<int>(std::lround(status.strength * 100)) : 0;
  const std::string text = status.enabled && status.supported ? std::to_string(percent) + "%" : onOff(false);
  return "{\"text\": " + jsonString(text) + ", \"alt\": \"" + kind + "\", \"tooltip\": " +
         jsonString(humanStatus(status)) + ", \"class\": \"" + kind + "\", \"percentage\": " + std::to_string(percent) +
         "}";
}

constexpr std::string_view kStatusFormats[] = {"json", "waybar"};

std::optional<std::string> showStatus(std::string_view answer, std::string_view format) {
  const auto status = protocol::parseStatus(answer);
  if (!status) return std::nullopt;
  if (format == "waybar") return waybarStatus(*status);
  return format.empty() ? humanStatus(*status) : jsonStatus(*status);
}

// The options a launch answers itself first, then the running copy's commands.
const Command kTable[] = {
    {.option = "--help",
     .shortOption = "-h",
     .local = LocalOption::help,
     .help = DW_TRANSLATE_NOOP("CommandLine", "show this help and exit")},
    {.option = "--version",
     .shortOption = "-V",
     .local = LocalOption::version,
     .help = DW_TRANSLATE_NOOP("CommandLine", "show the version and exit")},
    {.option = "--autostart",
     .local = LocalOption::autostart,
     .help = DW_TRANSLATE_NOOP("CommandLine", "used by the start-at-login entry: opens no window")},
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
     .help = DW_TRANSLATE_NOOP("CommandLine", "show the state; with --follow, at each change"),
     .handle = status,
     .startsProgram = false,
     .forScripts = "--json",
     .formats = kStatusFormats,
     .follow = "--follow",
     .show = showStatus},
};

constexpr std::size_t kLocalOptions = 3;

template <typename Matches>
const Command* find(Matches matches) {
  for (const Command& command : kTable)
    if (matches(command)) return &command;
  return nullptr;
}

}  // namespace

std::span<const Command> commands() { return std::span(kTable).subspan(kLocalOptions); }

std::span<const Command> localOptions() { return std::span(kTable).first(kLocalOptions); }

const Command* commandWithOption(std::string_view option) {
  return find([option](const Command& c) { return c.option == option || (!c.shortOption.empty() && c.shortOption == option); });
}

const Command* commandWithWord(std::string_view word) {
  return find([word](const Command& c) { return !c.word.empty() && c.word == word; });
}

const Command* commandForScriptsOption(std::string_view option) {
  return find([option](const Command& c) { return !c.forScripts.empty() && c.forScripts == option; });
}

const Command* commandFollowedWith(std::string_view option) {
  return find([option](const Command& c) { return !c.follow.empty() && c.follow == option; });
}

std::string synopsis(const Command& command) {
  std::string text(command.option);
  if (command.value) text += " " + std::string(command.value->name);
  if (!command.forScripts.empty()) text += " [" + std::string(command.forScripts) + "]";
  if (!command.follow.empty()) text += " [" + std::string(command.follow) + "]";
  if (!command.formats.empty()) {
    text += " [" + std::string(kFormatOption) + " ";
    for (std::size_t i = 0; i < command.formats.size(); ++i) text += (i ? "|" : "") + std::string(command.formats[i]);
    text += "]";
  }
  return text;
}

}  // namespace duskwarden
