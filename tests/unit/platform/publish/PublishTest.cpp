#include "dispatch/TestClock.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/publish/Publish.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using duskwarden::AnyCancellable;
using duskwarden::ObservableObject;
using duskwarden::Published;
using duskwarden::Subject;
using duskwarden::TestClock;

namespace {

struct Model : ObservableObject {
  std::vector<std::string> trace;  // shared record of what happened, in order
  Published<bool> flag{*this, false};
  Published<std::string> name{*this, "start"};
  Published<int> counted{*this, 0, [this](const int& v) { trace.push_back("didSet " + std::to_string(v)); }};
};

TEST(Published, WillChangeFiresBeforeTheValueIsStoredAndSent) {
  Model m;
  auto will = m.objectWillChange.sink([&] { m.trace.push_back("will, stored " + m.name.get()); });
  auto value = m.name.sink([&](const std::string& v) { m.trace.push_back("value " + v + ", stored " + m.name.get()); });
  m.name = "next";
  EXPECT_EQ(m.trace, (std::vector<std::string>{"value start, stored start", "will, stored start",
                                               "value next, stored next"}));
}

TEST(Published, NewSubscriberGetsCurrentValueAtOnceThenEveryLaterOne) {
  Model m;
  m.flag = true;
  std::vector<bool> seen;
  auto sub = m.flag.sink([&](const bool& v) { seen.push_back(v); });
  EXPECT_EQ(seen, std::vector<bool>{true});
  m.flag = false;
  m.flag = true;
  EXPECT_EQ(seen, (std::vector<bool>{true, false, true}));
}

TEST(Published, UnchangedWritesStillNotify) {
  Model m;
  int wills = 0;
  std::vector<bool> seen;
  auto w = m.objectWillChange.sink([&] { ++wills; });
  auto s = m.flag.sink([&](const bool& v) { seen.push_back(v); });
  m.flag = false;
  m.flag = false;
  EXPECT_EQ(wills, 2);
  EXPECT_EQ(seen, (std::vector<bool>{false, false, false}));
}

TEST(Published, DidSetRunsAfterEverySubscriberWithTheNewValue) {
  Model m;
  auto w = m.objectWillChange.sink([&] { m.trace.push_back("will"); });
  auto a = m.counted.sink([&](const int& v) { m.trace.push_back("a " + std::to_string(v)); });
  auto b = m.counted.sink([&](const int& v) { m.trace.push_back("b " + std::to_string(v)); });
  m.trace.clear();
  m.counted = 3;
  m.counted = 3;
  EXPECT_EQ(m.trace, (std::vector<std::string>{"will", "a 3", "b 3", "didSet 3", "will", "a 3", "b 3", "didSet 3"}));
}

TEST(Published, HandlerThatWritesDuringItsFirstValueKeepsItsArgument) {
  Model m;
  std::vector<std::string> seen;
  auto sub = m.name.sink([&](const std::string& v) {
    const bool first = seen.empty();
    seen.push_back(v);
    if (first) {
      m.name = "changed inside";
      seen.push_back("after write: " + v);  // the argument must still be the value delivered
    }
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"start", "after write: start"}));
  EXPECT_EQ(m.name.get(), "changed inside");
}

TEST(AnyCancellable, ReleasingOrCancellingStopsDeliveryAndMovesTransferOwnership) {
  Model m;
  int a = 0, b = 0, c = 0;
  {
    auto scoped = m.objectWillChange.sink([&] { ++a; });
    m.flag = true;
  }
  AnyCancellable explicitOne = m.objectWillChange.sink([&] { ++b; });
  AnyCancellable moved = m.objectWillChange.sink([&] { ++c; });
  AnyCancellable holder = std::move(moved);
  EXPECT_FALSE(moved);
  EXPECT_TRUE(holder);
  m.flag = true;
  explicitOne.cancel();
  explicitOne.cancel();  // twice is harmless
  m.flag = true;
  holder = AnyCancellable();  // move-assigning over a live handle cancels it
  m.flag = true;
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 1);
  EXPECT_EQ(c, 2);
  EXPECT_EQ(m.objectWillChange.subscriberCountForTesting(), 0u);
}

TEST(AnyCancellable, OutlivingThePublisherIsSafe) {
  AnyCancellable sub;
  {
    Model m;
    sub = m.flag.sink([](const bool&) {});
  }
  sub.cancel();  // the publisher is gone; must not touch freed memory
  EXPECT_FALSE(sub);
}

TEST(Subject, HandlerCancellingALaterOneSkipsItInTheSameRound) {
  Subject<int> subject;
  std::vector<std::string> seen;
  AnyCancellable second;
  auto first = subject.sink([&](const int& v) {
    seen.push_back("first " + std::to_string(v));
    second.cancel();
  });
  second = subject.sink([&](const int& v) { seen.push_back("second " + std::to_string(v)); });
  subject.send(1);
  subject.send(2);
  EXPECT_EQ(seen, (std::vector<std::string>{"first 1", "first 2"}));
}

TEST(Subject, HandlerMayCancelItselfOrSubscribeAnotherDuringDelivery) {
  Subject<int> subject;
  std::vector<std::string> seen;
  AnyCancellable self, added;
  self = subject.sink([&](const int& v) {
    seen.push_back("self " + std::to_string(v));
    self.cancel();
    added = subject.sink([&](const int& w) { seen.push_back("added " + std::to_string(w)); });
  });
  subject.send(1);  // the subscriber added now waits for the next value
  subject.send(2);
  EXPECT_EQ(seen, (std::vector<std::string>{"self 1", "added 2"}));
}

class QueueDelivery : public ::testing::Test {
 protected:
  std::shared_ptr<TestClock> clock_ = TestClock::create();
  std::shared_ptr<duskwarden::ManualQueue> main_ = clock_->makeQueue("main");
};

TEST_F(QueueDelivery, IsAsynchronousEvenWhenWrittenOnThatQueue) {
  Model m;
  std::vector<bool> seen;
  auto sub = m.flag.sink(*main_, [&](const bool& v) { seen.push_back(v); });
  EXPECT_TRUE(seen.empty()) << "the current value too is delivered later";
  main_->async([&] {
    m.flag = true;
    EXPECT_EQ(seen, std::vector<bool>{false}) << "a write on the delivery queue must not deliver inline";
  });
  clock_->runUntilIdle();
  EXPECT_EQ(seen, (std::vector<bool>{false, true}));
}

TEST_F(QueueDelivery, KeepsWriteOrderAndDeliversEveryWrite) {
  Model m;
  std::vector<int> seen;
  auto sub = m.counted.sink(*main_, [&](const int& v) { seen.push_back(v); });
  for (int v : {1, 1, 2, 3}) m.counted = v;
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(clock_->runUntilIdle(), 5u);
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 1, 2, 3}));
}

TEST_F(QueueDelivery, CancelDropsValuesAlreadyQueued) {
  Model m;
  std::vector<bool> seen;
  int wills = 0;
  auto sub = m.flag.sink(*main_, [&](const bool& v) { seen.push_back(v); });
  auto will = m.objectWillChange.sink(*main_, [&] { ++wills; });
  m.flag = true;
  sub.cancel();
  will = AnyCancellable();
  clock_->runUntilIdle();
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(wills, 0);
  m.flag = false;
  EXPECT_EQ(clock_->pendingCount(), 0u) << "nothing is queued after cancel";
}

TEST_F(QueueDelivery, QueuedValueArrivesAfterThePublisherIsGone) {
  std::vector<std::string> seen;
  AnyCancellable sub;
  {
    Model m;
    sub = m.name.sink(*main_, [&](const std::string& v) { seen.push_back(v); });
    m.name = "last";
  }
  clock_->runUntilIdle();
  EXPECT_EQ(seen, (std::vector<std::string>{"start", "last"}));
}

TEST(PublishedDeathTest, DebugBuildsAbortOnAWriteOffTheMainThread) {
#ifdef NDEBUG
  GTEST_SKIP() << "the main-thread check is on in debug builds only";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  constexpr const char* kAbort = "published property written off the main thread";
  // No main queue installed: the thread that made the object is the main thread.
  Model made;
  made.flag = true;
  EXPECT_DEATH(std::thread([&] { made.flag = false; }).join(), kAbort);

  // Once a main queue is installed, its installer's thread is, whoever made the object.
  std::unique_ptr<Model> elsewhere;
  std::thread([&] { elsewhere = std::make_unique<Model>(); }).join();
  auto clock = TestClock::create();
  duskwarden::installMainQueue(clock->makeQueue("main"));
  elsewhere->flag = true;
  EXPECT_DEATH(std::thread([&] { elsewhere->flag = false; }).join(), kAbort);
  duskwarden::installMainQueue(nullptr);
#endif
}

// Real threads: writes on one thread delivered on a serial queue's thread.
TEST(QueueDeliveryThreaded, RealSerialQueueDeliversInOrderOnItsOwnThread) {
  duskwarden::SerialQueue queue("delivery");
  Model m;
  std::vector<int> seen;  // touched only on the queue's thread
  std::atomic<bool> offThread{true};
  const auto writer = std::this_thread::get_id();
  auto sub = m.counted.sink(queue, [&](const int& v) {
    if (std::this_thread::get_id() == writer) offThread = false;
    seen.push_back(v);
  });
  for (int i = 1; i <= 100; ++i) m.counted = i;
  std::promise<void> drained;
  queue.async([&] { drained.set_value(); });
  drained.get_future().wait();
  sub.cancel();
  ASSERT_EQ(seen.size(), 101u);
  for (int i = 0; i <= 100; ++i) EXPECT_EQ(seen[i], i);
  EXPECT_TRUE(offThread.load());
}

TEST(SubjectThreaded, SubscribeAndCancelWhileAnotherThreadSends) {
  Subject<int> subject;
  std::atomic<int> received{0};
  auto steady = subject.sink([&](const int&) { ++received; });
  std::atomic<bool> stop{false};
  std::thread churn([&] {
    while (!stop.load()) {
      auto temp = subject.sink([](const int&) {});
    }
  });
  for (int i = 0; i < 2000; ++i) subject.send(i);
  stop = true;
  churn.join();
  EXPECT_EQ(received.load(), 2000);
  EXPECT_EQ(subject.subscriberCountForTesting(), 1u);
}

}  // namespace
