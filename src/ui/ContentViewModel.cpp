#include "ui/ContentViewModel.h"

#include "duskwarden/nightlight.h"
#include "nightshift/NightShiftManager.h"
#include "platform/text/Text.h"

namespace duskwarden::ui {

namespace {

constexpr ColorSpec color(ColorRole role, double opacity = 1.0) { return ColorSpec{role, opacity}; }

KeepAlwaysOnCardSpec describeCard(bool autoEnable) {
  KeepAlwaysOnCardSpec card;
  card.switchOn = autoEnable;
  card.switchAccessibleName = text::translate("Popover", "Warden Mode");
  card.title.text = text::translate("Popover", "Always On Mode");
  card.caption.text = text::translate("Popover", "Automatically keeps Night Shift active.");
  if (autoEnable) {
    card.shield = {"checkmark.shield.fill", color(ColorRole::white)};
    card.title.color = color(ColorRole::white);
    card.caption.color = color(ColorRole::white, 0.8);
    card.background = color(ColorRole::blue, 0.9);
  } else {
    card.shield = {"shield.fill", color(ColorRole::primary)};
    card.title.color = color(ColorRole::primary);
    card.caption.color = color(ColorRole::secondary);
    card.background = color(ColorRole::primary, 0.1);
  }
  return card;
}

}  // namespace

ContentViewDescription describeContentView(const ContentViewInputs& in) {
  const bool e = in.isNightShiftEnabled;
  const bool k = in.autoEnable;
  ContentViewDescription d;

  d.headerSymbol = e ? SymbolSpec{"moonphase.first.quarter", color(ColorRole::orange)}
                     : SymbolSpec{"moonphase.full.moon.inverse", color(ColorRole::secondary)};
  d.title = {"Duskwarden", color(ColorRole::primary)};
  d.statusBadge = {e ? text::translate("Popover", "Status: Active") : text::translate("Popover", "Status: Inactive"),
                   color(e ? ColorRole::green : ColorRole::red)};
  d.statusBadgeBackground = color(ColorRole::black, 0.2);
  d.reasonLine = {in.reasonLine, color(ColorRole::primary)};
  d.spokenState = in.reasonLine.empty() ? d.statusBadge.text : d.statusBadge.text + ". " + in.reasonLine;
  d.keepAlwaysOnCard = describeCard(k);

  d.enableButton = {text::translate("Popover", "Enable Night Shift"), !e};
  // Turning off is refused while Keep Always On is set, so the button says so.
  d.disableButton = {text::translate("Popover", "Disable Night Shift"), e && !k};

  d.strength.lessCaption = {text::translate("Popover", "Less Warm"), color(ColorRole::secondary)};
  d.strength.moreCaption = {text::translate("Popover", "More Warm"), color(ColorRole::secondary)};
  d.strength.accessibleName = text::translate("Popover", "Warmth, Less Warm to More Warm");
  d.strength.value = static_cast<double>(in.colorTemperatureStrength);
  d.strength.lower = 0.0;
  d.strength.upper = 1.0;

  // A missing or non-text version shows the bare "V" rather than nothing odd.
  // Built with append, not `"V" + string`: GCC 12's -O3 -Wrestrict false positive.
  d.versionLine.text = std::string(1, 'V').append(in.bundleVersion.value_or(std::string()));
  // White text vanishes on a light background; there the dimmed label colour
  // keeps the line readable.
  d.versionLine.color = in.appearance == Appearance::dark ? color(ColorRole::white, 0.8)
                                                          : color(ColorRole::secondary);
  return d;
}

std::string reasonLine(std::optional<int> reasonCode, bool supported) {
  if (!supported) return text::translate("Popover", "Night light is not supported on this desktop");
  switch (reasonCode.value_or(DW_NIGHTLIGHT_REASON_NONE)) {
    case DW_NIGHTLIGHT_REASON_NONE: return {};
    case DW_NIGHTLIGHT_REASON_INHIBITED: return text::translate("Popover", "Another program is holding night light off");
    case DW_NIGHTLIGHT_REASON_HELD: return text::translate("Popover", "Another program is controlling the screen's colours");
    case DW_NIGHTLIGHT_REASON_LOCKED:
      return text::translate("Popover", "Night Light is locked by your administrator's settings");
    case DW_NIGHTLIGHT_REASON_BUSY:
      return text::translate("Popover", "Another program is changing the night light settings; try again");
    case DW_NIGHTLIGHT_REASON_TIMEOUT: return text::translate("Popover", "The desktop did not answer in time; try again");
    default: return text::translate("Popover", "The desktop could not change night light; the log says why");
  }
}

std::string reasonLine(const NightShiftManager& manager) {
  const auto& reason = manager.reason.get();
  const auto& backend = manager.backend.get();
  return reasonLine(reason ? std::optional(reason->code) : std::nullopt, !backend || backend->supported);
}

namespace contentview {

namespace {
enum Element { header, title, badge, card, divider1, buttons, divider2, strength, version };
}

int topPadding(int element) {
  switch (element) {
    case divider1:
    case divider2:
      return kDividerVerticalPadding;
    default:
      return 0;
  }
}

int bottomPadding(int element) {
  switch (element) {
    case header:
      return kHeaderBottomPadding;
    case badge:
      return kBadgeBottomPadding;
    case card:
      return kCardBottomPadding;
    case divider1:
    case divider2:
      return kDividerVerticalPadding;
    case strength:
      return kStrengthBottomPadding;
    default:
      return 0;
  }
}

int gapAfter(int element) {
  if (element < 0 || element + 1 >= kElementCount) return 0;
  return bottomPadding(element) + kSpacing + topPadding(element + 1);
}

}  // namespace contentview

}  // namespace duskwarden::ui
