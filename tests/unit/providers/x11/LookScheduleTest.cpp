// The X11 backend's look timing on a virtual clock: no timer while off, one
// look per burst of events, the interval knob's accepted and refused values.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "x11/LookSchedule.h"

namespace duskwarden::provider::x11 {
namespace {

using namespace std::chrono_literals;
using Clock = LookSchedule::Clock;

TEST(LookSchedule, NothingIsDueWhileOffWhateverHappens) {
  const Clock::time_point t0{};
  LookSchedule schedule(10s, 250ms);
  schedule.lookSoon(t0);
  EXPECT_FALSE(schedule.next()) << "an event while off needs no look";
  schedule.setArmed(true, t0);
  schedule.lookSoon(t0 + 1s);
  schedule.setArmed(false, t0 + 1100ms);
  EXPECT_FALSE(schedule.next()) << "switching off drops a look already due";
  EXPECT_FALSE(schedule.due(t0 + 1h));
}

TEST(LookSchedule, ArmedLooksEveryIntervalAndOncePerBurstOfEvents) {
  const Clock::time_point t0{};
  LookSchedule schedule(10s, 250ms);
  schedule.setArmed(true, t0);
  EXPECT_EQ(schedule.next(), t0 + 10s);
  schedule.setArmed(true, t0 + 4s);  // a strength change while on keeps the rhythm
  EXPECT_EQ(schedule.next(), t0 + 10s);

  // A burst: the first event sets the look, the rest join it.
  for (std::chrono::milliseconds at : {3000ms, 3050ms, 3200ms}) schedule.lookSoon(t0 + at);
  EXPECT_EQ(schedule.next(), t0 + 3s + 250ms);
  EXPECT_FALSE(schedule.due(t0 + 3s + 249ms));
  EXPECT_TRUE(schedule.due(t0 + 3s + 250ms));
  EXPECT_TRUE(schedule.looked(t0 + 3s + 250ms)) << "it answers the burst";
  EXPECT_EQ(schedule.next(), t0 + 13s + 250ms) << "one look per burst; the interval counts from it";

  // An event just before the periodic look: that look comes too early to
  // answer it, so the one after the settle still follows.
  schedule.lookSoon(t0 + 13s + 100ms);
  EXPECT_EQ(schedule.next(), t0 + 13s + 250ms);
  EXPECT_FALSE(schedule.looked(t0 + 13s + 250ms));
  EXPECT_EQ(schedule.next(), t0 + 13s + 350ms);
}

TEST(LookSchedule, ZeroIntervalLooksOnlyAfterEvents) {
  const Clock::time_point t0{};
  LookSchedule schedule(0s, 250ms);
  schedule.setArmed(true, t0);
  EXPECT_FALSE(schedule.next());
  schedule.lookSoon(t0 + 5s);
  EXPECT_EQ(schedule.next(), t0 + 5s + 250ms);
  EXPECT_TRUE(schedule.looked(t0 + 5s + 250ms));
  EXPECT_FALSE(schedule.next());
}

TEST(VerifyInterval, AcceptsSecondsAndZeroAndRefusesTheRestWithAReason) {
  const struct {
    const char* text;
    std::chrono::milliseconds interval;
    bool refused;
  } cases[] = {
      {nullptr, 10s, false}, {"", 10s, false},     {"0", 0s, false},       {"0.5", 500ms, false},
      {"2", 2s, false},      {"0.1", 100ms, false}, {"86400", 86400s, false}, {"abc", 10s, true},
      {"5s", 10s, true},     {"-1", 10s, true},     {"0.05", 10s, true},    {"1e9", 10s, true},
      {"nan", 10s, true},    {"inf", 10s, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(unset)");
    std::string problem;
    EXPECT_EQ(parseVerifyInterval(c.text, &problem), c.interval);
    EXPECT_EQ(!problem.empty(), c.refused) << problem;
    if (c.refused) {
      EXPECT_NE(problem.find(std::string("DUSKWARDEN_X11_VERIFY_SECONDS=") + c.text), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace duskwarden::provider::x11
