// The popover's description as a function of E (Night Shift on), K (Keep
// Always On), S (strength) and the bundle version.

#include <gtest/gtest.h>

#include "ui/ContentViewModel.h"

namespace duskwarden::ui {
namespace {

ContentViewDescription describe(bool e, bool k, float s = 0.5F, std::optional<std::string> version = "12") {
  ContentViewInputs in;
  in.isNightShiftEnabled = e;
  in.autoEnable = k;
  in.colorTemperatureStrength = s;
  in.bundleVersion = std::move(version);
  return describeContentView(in);
}

struct Row {
  bool e;
  bool k;
  const char* header;
  ColorSpec headerColor;
  const char* badge;
  ColorSpec badgeColor;
  const char* shield;
  ColorSpec cardText;
  ColorSpec cardCaption;
  ColorSpec cardBackground;
  bool enable;
  bool disable;
};

constexpr ColorSpec kPrimary{ColorRole::primary, 1.0};
constexpr ColorSpec kSecondary{ColorRole::secondary, 1.0};
constexpr ColorSpec kWhite{ColorRole::white, 1.0};

const Row kStateTable[] = {
    {false, false, "moonphase.full.moon.inverse", kSecondary, "Status: Inactive", {ColorRole::red, 1.0},
     "shield.fill", kPrimary, kSecondary, {ColorRole::primary, 0.1}, true, false},
    {true, false, "moonphase.first.quarter", {ColorRole::orange, 1.0}, "Status: Active", {ColorRole::green, 1.0},
     "shield.fill", kPrimary, kSecondary, {ColorRole::primary, 0.1}, false, true},
    {true, true, "moonphase.first.quarter", {ColorRole::orange, 1.0}, "Status: Active", {ColorRole::green, 1.0},
     "checkmark.shield.fill", kWhite, {ColorRole::white, 0.8}, {ColorRole::blue, 0.9}, false, false},
    {false, true, "moonphase.full.moon.inverse", kSecondary, "Status: Inactive", {ColorRole::red, 1.0},
     "checkmark.shield.fill", kWhite, {ColorRole::white, 0.8}, {ColorRole::blue, 0.9}, true, false},
};

TEST(ContentViewDescription, FollowsTheStateTableInEveryRow) {
  for (const Row& row : kStateTable) {
    SCOPED_TRACE(testing::Message() << "E=" << row.e << " K=" << row.k);
    const auto d = describe(row.e, row.k);
    EXPECT_EQ(d.headerSymbol.name, row.header);
    EXPECT_EQ(d.headerSymbol.color, row.headerColor);
    EXPECT_EQ(d.statusBadge.text, row.badge);
    EXPECT_EQ(d.statusBadge.color, row.badgeColor);
    const auto& card = d.keepAlwaysOnCard;
    EXPECT_EQ(card.shield.name, row.shield);
    EXPECT_EQ(card.shield.color, row.cardText);
    EXPECT_EQ(card.title.color, row.cardText);
    EXPECT_EQ(card.caption.color, row.cardCaption);
    EXPECT_EQ(card.background, row.cardBackground);
    EXPECT_EQ(card.switchOn, row.k);  // the switch shows K in every row
    EXPECT_EQ(d.enableButton.enabled, row.enable);
    EXPECT_EQ(d.disableButton.enabled, row.disable);
  }
}

TEST(ContentViewDescription, FixedTextsDoNotDependOnState) {
  for (const Row& row : kStateTable) {
    const auto d = describe(row.e, row.k);
    EXPECT_EQ(d.title.text, "Duskwarden");
    EXPECT_EQ(d.title.color, kPrimary);
    EXPECT_EQ(d.statusBadgeBackground, (ColorSpec{ColorRole::black, 0.2}));
    EXPECT_EQ(d.keepAlwaysOnCard.title.text, "Always On Mode");
    EXPECT_EQ(d.keepAlwaysOnCard.caption.text, "Automatically keeps Night Shift active.");
    EXPECT_EQ(d.keepAlwaysOnCard.switchAccessibleName, "Warden Mode");
    EXPECT_EQ(d.enableButton.title, "Enable Night Shift");
    EXPECT_EQ(d.disableButton.title, "Disable Night Shift");
    EXPECT_EQ(d.strength.lessCaption.text, "Less Warm");
    EXPECT_EQ(d.strength.moreCaption.text, "More Warm");
    EXPECT_EQ(d.strength.lessCaption.color, kSecondary);
    EXPECT_EQ(d.strength.moreCaption.color, kSecondary);
  }
}

TEST(ContentViewDescription, SwitchingKeepAlwaysOnOffWhileOnEnablesDisable) {
  EXPECT_FALSE(describe(true, true).disableButton.enabled);
  EXPECT_TRUE(describe(true, false).disableButton.enabled);
}

TEST(ContentViewDescription, StrengthIsWidenedExactlyAndRangeIsZeroToOne) {
  const float s = 0.8F;
  const auto d = describe(false, false, s);
  EXPECT_EQ(d.strength.value, static_cast<double>(s));
  EXPECT_NE(d.strength.value, 0.8);  // the single-precision value, not a re-rounded double
  EXPECT_EQ(d.strength.lower, 0.0);
  EXPECT_EQ(d.strength.upper, 1.0);
}

TEST(ContentViewDescription, VersionLineShowsVAndTheBuildNumber) {
  EXPECT_EQ(describe(false, false, 0.5F, "12").versionLine.text, "V12");
  EXPECT_EQ(describe(false, false, 0.5F, "1.2 (345)").versionLine.text, "V1.2 (345)");
  // Missing or non-text: the bare "V".
  EXPECT_EQ(describe(false, false, 0.5F, std::nullopt).versionLine.text, "V");
  EXPECT_EQ(describe(false, false, 0.5F, "").versionLine.text, "V");
}

TEST(ContentViewDescription, VersionLineStaysReadableInLightAppearance) {
  ContentViewInputs in;
  in.appearance = Appearance::dark;
  EXPECT_EQ(describeContentView(in).versionLine.color, (ColorSpec{ColorRole::white, 0.8}));
  in.appearance = Appearance::light;
  EXPECT_EQ(describeContentView(in).versionLine.color, kSecondary);
}

}  // namespace
}  // namespace duskwarden::ui
