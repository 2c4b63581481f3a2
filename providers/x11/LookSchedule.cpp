#include "x11/LookSchedule.h"

#include "base/decimal/Decimal.h"

#include <algorithm>
#include <cmath>

namespace duskwarden::provider::x11 {

void LookSchedule::setArmed(bool armed, Clock::time_point now) {
  if (armed && !armed_) verifyDue_ = now + interval_;
  if (!armed) soonDue_.reset();
  armed_ = armed;
}

void LookSchedule::lookSoon(Clock::time_point now) {
  if (armed_ && !soonDue_) soonDue_ = now + settle_;
}

std::optional<LookSchedule::Clock::time_point> LookSchedule::next() const {
  if (!armed_) return std::nullopt;
  std::optional<Clock::time_point> next = soonDue_;
  if (interval_ > Clock::duration::zero()) next = next ? std::min(*next, verifyDue_) : verifyDue_;
  return next;
}

bool LookSchedule::due(Clock::time_point now) const {
  const auto when = next();
  return when && *when <= now;
}

bool LookSchedule::looked(Clock::time_point now) {
  verifyDue_ = now + interval_;
  // A periodic look inside a settle time does not stand in for the look after it.
  if (!soonDue_ || *soonDue_ > now) return false;
  soonDue_.reset();
  return true;
}

std::chrono::milliseconds parseVerifyInterval(const char* text, std::string* problem) {
  if (text == nullptr || *text == '\0') return kDefaultVerifyInterval;
  const auto seconds = decimal::parse<double>(text);
  if (seconds && *seconds == 0.0) return std::chrono::milliseconds::zero();
  if (seconds && *seconds >= 0.1 && *seconds <= 86400.0)
    return std::chrono::milliseconds(std::lround(*seconds * 1000.0));
  if (problem)
    *problem = std::string(kVerifyVariable) + "=" + text +
               " is not 0 (off) or a number of seconds from 0.1 to 86400; using 10";
  return kDefaultVerifyInterval;
}

}  // namespace duskwarden::provider::x11
