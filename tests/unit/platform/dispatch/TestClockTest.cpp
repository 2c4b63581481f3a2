#include "dispatch/TestClock.h"

#include <gtest/gtest.h>

#include <cmath>

#include <string>
#include <vector>

using duskwarden::TestClock;

TEST(TestClock, RunsDueWorkAcrossQueuesInDeadlineThenSubmissionOrder) {
  auto clock = TestClock::create();
  auto main = clock->makeQueue("main");
  auto client = clock->makeQueue("client");
  std::vector<std::string> order;
  main->asyncAfter(1.0, [&] { order.push_back("main@1.0"); });
  client->asyncAfter(0.5, [&] { order.push_back("client@0.5"); });
  main->asyncAfter(0.5, [&] { order.push_back("main@0.5"); });
  client->async([&] { order.push_back("client@0"); });

  EXPECT_EQ(clock->runUntilIdle(), 1u);
  EXPECT_EQ(order, (std::vector<std::string>{"client@0"}));
  clock->advanceBy(0.49);
  EXPECT_EQ(order.size(), 1u);
  clock->advanceBy(0.01);
  EXPECT_EQ(order, (std::vector<std::string>{"client@0", "client@0.5", "main@0.5"}));
  clock->advanceBy(10);
  EXPECT_EQ(order.back(), "main@1.0");
  EXPECT_DOUBLE_EQ(clock->now(), 10.5);
}

TEST(TestClock, WorkScheduledByDueWorkIsTimedFromItsOwnDeadline) {
  auto clock = TestClock::create();
  auto q = clock->makeQueue("q");
  std::vector<double> ranAt;
  q->asyncAfter(0.1, [&] {
    ranAt.push_back(clock->now());
    q->asyncAfter(0.5, [&] { ranAt.push_back(clock->now()); });
  });
  clock->advanceBy(0.7);
  ASSERT_EQ(ranAt.size(), 2u);
  EXPECT_NEAR(ranAt[0], 0.1, 1e-9);
  EXPECT_NEAR(ranAt[1], 0.6, 1e-9);
  EXPECT_EQ(clock->pendingCount(), 0u);
}

TEST(TestClock, NegativeAndNanDelaysCountAsNow) {
  auto clock = TestClock::create();
  auto q = clock->makeQueue("q");
  int ran = 0;
  q->asyncAfter(-3, [&] { ++ran; });
  q->asyncAfter(std::nan(""), [&] { ++ran; });
  EXPECT_EQ(clock->runUntilIdle(), 2u);
  EXPECT_EQ(ran, 2);
}
