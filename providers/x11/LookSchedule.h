#pragma once
// When the X11 event thread looks at the gamma ramps: the timing alone, kept
// apart from the X calls so that it is tested against a virtual clock.
//
// A look is one read-back of every CRTC's ramps, compared with the warm ramps
// we expect there. It is only worth doing while warm ramps of ours are
// expected ("armed"); off, nothing is due and the thread waits with no
// timeout at all. Armed, a look falls due:
//  - every verify interval, because no X event tells of another client's
//    gamma write (0 turns this off);
//  - one settle time after an event that may have reset the ramps (resume,
//    VT switch, blanking, RandR change), once per burst: events that arrive
//    while a look is already due join it.

#include <chrono>
#include <optional>
#include <string>

namespace duskwarden::provider::x11 {

class LookSchedule {
 public:
  using Clock = std::chrono::steady_clock;

  LookSchedule(Clock::duration verifyInterval, Clock::duration settle)
      : interval_(verifyInterval), settle_(settle) {}

  // Arming starts the interval afresh; arming again keeps it running.
  void setArmed(bool armed, Clock::time_point now);
  bool armed() const { return armed_; }
  // Something may have reset the ramps: look once, a settle time from now.
  void lookSoon(Clock::time_point now);
  // When the next look is due; nullopt while none is.
  std::optional<Clock::time_point> next() const;
  bool due(Clock::time_point now) const;
  // A look has begun: the next periodic one counts from here. True when it
  // answers events (their settle time has passed).
  bool looked(Clock::time_point now);

 private:
  Clock::duration interval_, settle_;
  bool armed_ = false;
  Clock::time_point verifyDue_{};
  std::optional<Clock::time_point> soonDue_;
};

// The verify interval from DUSKWARDEN_X11_VERIFY_SECONDS's text: seconds,
// fractions allowed; 0 turns the periodic look off. Unset or empty gives the
// default. Anything else (not a number, negative, under 0.1 s, over a day)
// gives the default too, and `*problem` says why.
inline constexpr const char* kVerifyVariable = "DUSKWARDEN_X11_VERIFY_SECONDS";
inline constexpr std::chrono::milliseconds kDefaultVerifyInterval{10000};
std::chrono::milliseconds parseVerifyInterval(const char* text, std::string* problem);

}  // namespace duskwarden::provider::x11
