#include "platform/dispatch/SerialQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <thread>
#include <vector>

using duskwarden::SerialQueue;

namespace {
// Blocks until every item submitted before it has run.
void drain(SerialQueue& q) {
  std::promise<void> done;
  q.async([&] { done.set_value(); });
  done.get_future().wait();
}
}  // namespace

TEST(SerialQueue, RunsAsyncWorkInOrderOneAtATime) {
  SerialQueue q("order");
  std::vector<int> seen;  // touched only on the queue's thread
  std::atomic<int> running{0};
  std::atomic<bool> overlapped{false};
  for (int i = 0; i < 200; ++i) {
    q.async([&, i] {
      if (running.fetch_add(1) != 0) overlapped = true;
      seen.push_back(i);
      running.fetch_sub(1);
    });
  }
  drain(q);
  ASSERT_EQ(seen.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(seen[i], i);
  EXPECT_FALSE(overlapped);
}

TEST(SerialQueue, TimedWorkRunsByDeadlineNotSubmissionOrder) {
  SerialQueue q("timed");
  std::vector<int> seen;
  std::promise<void> done;
  q.asyncAfter(0.06, [&] {
    seen.push_back(2);
    done.set_value();
  });
  q.asyncAfter(0.02, [&] { seen.push_back(1); });
  q.async([&] { seen.push_back(0); });
  done.get_future().wait();
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
}

TEST(SerialQueue, WorkMaySubmitToItsOwnQueue) {
  SerialQueue q("self");
  std::promise<bool> inner;
  q.async([&] {
    EXPECT_TRUE(q.isCurrent());
    q.async([&] { inner.set_value(q.isCurrent()); });
  });
  EXPECT_TRUE(inner.get_future().get());
  EXPECT_FALSE(q.isCurrent());
}

TEST(SerialQueue, ShutdownDropsPendingWorkWithoutRunningOrLeakingIt) {
  auto token = std::make_shared<int>(0);
  std::atomic<int> ran{0};
  {
    SerialQueue q("shutdown");
    for (int i = 0; i < 10; ++i) q.asyncAfter(30.0, [token, &ran] { ++ran; });
    EXPECT_EQ(token.use_count(), 11);
  }
  EXPECT_EQ(ran.load(), 0);
  EXPECT_EQ(token.use_count(), 1);  // every captured copy was released
}

// Many threads submit while the queue is being torn down; run under TSan.
TEST(SerialQueue, ConcurrentSubmittersAndShutdownDoNotRace) {
  for (int round = 0; round < 20; ++round) {
    auto q = std::make_unique<SerialQueue>("race");
    std::atomic<int> counter{0};
    std::vector<std::thread> submitters;
    for (int t = 0; t < 4; ++t) {
      submitters.emplace_back([&q, &counter] {
        for (int i = 0; i < 100; ++i) q->async([&counter] { counter.fetch_add(1); });
      });
    }
    for (auto& t : submitters) t.join();
    drain(*q);
    EXPECT_EQ(counter.load(), 400);
    q.reset();
  }
}

TEST(SerialQueue, LastOwnerReleasedFromItsOwnWorkItemDoesNotDeadlock) {
  auto q = std::make_shared<SerialQueue>("self-release");
  std::promise<void> released;
  std::weak_ptr<SerialQueue> weak = q;
  q->async([holder = std::move(q), &released]() mutable {
    holder.reset();  // destroys the queue from its own thread
    released.set_value();
  });
  released.get_future().wait();
  EXPECT_TRUE(weak.expired());
}
