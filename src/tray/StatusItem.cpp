#include "tray/StatusItem.h"

namespace duskwarden {

void EventSource::deliver(const Event& event, const std::function<void()>& handler) {
  const auto outer = current_;
  current_ = event;
  struct Restore {
    EventSource& self;
    std::optional<Event> outer;
    ~Restore() { self.current_ = outer; }
  } restore{*this, outer};
  if (handler) handler();
}

bool StatusItemButton::send(const Event& event, EventSource& events) const {
  if ((mask_ & eventMask(event.type)) == 0 || !action_) return false;
  events.deliver(event, action_);
  return true;
}

}  // namespace duskwarden
