#pragma once
// The popover's content without any toolkit: what each of its nine elements
// shows, as a pure function of the manager's values and the bundle version.
// ContentView (Qt) only applies what describeContentView() returns, so this is
// where the state table lives and where it is tested.
//
// Elements, top to bottom: header symbol, title, status badge, Keep Always On
// card, divider, command buttons, divider, strength section, version line.
// None is ever added or removed; only symbols, texts, colours and enabled
// states change. Under the badge, a line says why night light is off or a
// request failed, when there is a reason; without one it takes no room.

#include <optional>
#include <string>

namespace duskwarden {
class NightShiftManager;
}

namespace duskwarden::ui {

// Named colours. primary and secondary follow the light or dark palette; the
// others are fixed hues that the widget layer picks per appearance.
enum class ColorRole { primary, secondary, orange, green, red, blue, white, black };

struct ColorSpec {
  ColorRole role = ColorRole::primary;
  double opacity = 1.0;
  friend bool operator==(const ColorSpec&, const ColorSpec&) = default;
};

enum class Appearance { light, dark };

struct ContentViewInputs {
  bool isNightShiftEnabled = false;              // E
  bool autoEnable = false;                       // K
  float colorTemperatureStrength = 0.5F;         // S
  std::optional<std::string> bundleVersion;      // the build number, when known
  std::string reasonLine;                        // reasonLine(): empty when there is none
  Appearance appearance = Appearance::dark;
};

struct SymbolSpec {
  std::string name;
  ColorSpec color;
};

struct TextSpec {
  std::string text;
  ColorSpec color;
};

struct ButtonSpec {
  std::string title;
  bool enabled = true;
};

struct KeepAlwaysOnCardSpec {
  SymbolSpec shield;
  TextSpec title;    // "Always On Mode"
  TextSpec caption;  // "Automatically keeps Night Shift active."
  ColorSpec background;
  bool switchOn = false;
  std::string switchAccessibleName;  // the hidden label; the caption describes it
};

struct StrengthSpec {
  TextSpec lessCaption;
  TextSpec moreCaption;
  std::string accessibleName;  // the row as one control: what it sets, between its captions
  double value = 0;  // S widened; the slider reads it through its own binding
  double lower = 0;
  double upper = 1;
};

struct ContentViewDescription {
  SymbolSpec headerSymbol;
  TextSpec title;
  TextSpec statusBadge;
  ColorSpec statusBadgeBackground;
  TextSpec reasonLine;  // under the badge; no text: not shown
  // What a screen reader says for the popover as a whole: the badge, then the
  // reason line when there is one.
  std::string spokenState;
  KeepAlwaysOnCardSpec keepAlwaysOnCard;
  ButtonSpec enableButton;   // bordered prominent, blue
  ButtonSpec disableButton;  // bordered, default tint
  StrengthSpec strength;
  TextSpec versionLine;
};

ContentViewDescription describeContentView(const ContentViewInputs& inputs);

// Why night light is off, or why the last request failed, as one short line
// for people, from the provider's reason code (DW_NIGHTLIGHT_REASON_*) or, with
// `supported` false, the lack of any night light here; empty when there is
// nothing to say. The popover, the window without a tray and the tray's
// tooltip all say this.
std::string reasonLine(std::optional<int> reasonCode, bool supported);
// The same for what `manager` publishes now.
std::string reasonLine(const NightShiftManager& manager);

// Layout figures in logical pixels, shared by the widget and its tests.
namespace contentview {
inline constexpr int kWidth = 360;
inline constexpr int kPadding = 25;
inline constexpr int kSpacing = 15;            // between the column's elements
inline constexpr double kHeaderPointSize = 50;
inline constexpr int kHeaderBottomPadding = 5;
inline constexpr int kBadgeVerticalPadding = 5;
inline constexpr int kBadgeHorizontalPadding = 12;
inline constexpr int kBadgeBottomPadding = 10;
inline constexpr int kReasonLineSpacing = 6;  // between the badge and the line under it
inline constexpr int kCardPadding = 12;
inline constexpr int kCardCornerRadius = 12;
inline constexpr int kCardBottomPadding = 8;
inline constexpr int kShieldFrameWidth = 35;
inline constexpr int kDividerVerticalPadding = 5;
inline constexpr int kButtonSpacing = 10;
inline constexpr int kStrengthSpacing = 4;
inline constexpr int kSliderBottomPadding = 10;
inline constexpr int kStrengthBottomPadding = 10;

inline constexpr int kElementCount = 9;
// Extra space an element asks for above and below itself (outside any background).
int topPadding(int element);
int bottomPadding(int element);
// The distance between element i and element i + 1 in the column.
int gapAfter(int element);
}  // namespace contentview

}  // namespace duskwarden::ui
