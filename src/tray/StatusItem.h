#pragma once
// The tray icon as the delegate sees it, and the click that reaches it.
//
// Plain C++ so the delegate and its tests need no display; QtStatusItem is the
// real one. Event types and the Control flag keep the values the delegate's
// click handling was written against (right-mouse-up is 4, Control is bit 18).

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace duskwarden {

struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Rect&) const = default;
};

struct Size {
  double width = 0;
  double height = 0;
  bool operator==(const Size&) const = default;
};

enum class EventType : int { leftMouseDown = 1, leftMouseUp = 2, rightMouseDown = 3, rightMouseUp = 4 };
inline constexpr std::uint64_t eventMask(EventType type) { return std::uint64_t{1} << static_cast<int>(type); }
inline constexpr std::uint64_t kControlKeyMask = std::uint64_t{1} << 18;

struct Event {
  EventType type = EventType::leftMouseUp;
  std::uint64_t modifierFlags = 0;
};

// The event being handled, readable by whoever the click reaches.
class EventSource {
 public:
  const std::optional<Event>& currentEvent() const { return current_; }
  // Makes `event` current while `handler` runs (nesting restores the outer one).
  void deliver(const Event& event, const std::function<void()>& handler);

 private:
  std::optional<Event> current_;
};

// The clickable part of the status item: one action, reached only by the
// event types in its mask.
class StatusItemButton {
 public:
  void setAction(std::function<void()> action) { action_ = std::move(action); }
  void sendActionOn(std::uint64_t mask) { mask_ = mask; }
  std::uint64_t actionMaskForTesting() const { return mask_; }
  // Runs the action with `event` current when the mask takes it. True when it ran.
  bool send(const Event& event, EventSource& events) const;

 private:
  std::function<void()> action_;
  std::uint64_t mask_ = eventMask(EventType::leftMouseUp);
};

enum class SymbolWeight { regular, semibold, bold, heavy };

struct ImageSymbolConfiguration {
  double pointSize = 0;
  SymbolWeight weight = SymbolWeight::regular;
  bool operator==(const ImageSymbolConfiguration&) const = default;
};

// A system-symbol image by name, with its accessibility description.
struct SymbolImage {
  std::string symbolName;
  std::string accessibilityDescription;
  ImageSymbolConfiguration configuration;
};

struct MenuItem {
  std::string title;  // empty for a separator
  std::string keyEquivalent;  // portable text ("Ctrl+Q"), empty for none
  std::function<void()> action;
  bool isSeparator = false;

  static MenuItem separatorItem() { return MenuItem{{}, {}, nullptr, true}; }
};

struct Menu {
  std::vector<MenuItem> items;
};

class StatusItem {
 public:
  virtual ~StatusItem() = default;

  virtual StatusItemButton& button() = 0;
  // Shows `image`; false when it cannot be made, and the icon stays as it was.
  virtual bool setImage(const SymbolImage& image) = 0;
  // The icon's rectangle on screen, when the tray host says where it is.
  virtual std::optional<Rect> screenBounds() const = 0;
  // Shows `menu` at the icon (at the pointer when its place is unknown).
  virtual void popUpMenu(const Menu& menu) = 0;
};

}  // namespace duskwarden
