#include "platform/dispatch/QtMainQueue.h"

#include "QtSpin.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <thread>
#include <vector>

using duskwarden::QtMainQueue;

namespace {
using duskwarden::testing::spinFor;
using duskwarden::testing::spinUntil;

QCoreApplication& app() {
  static int argc = 1;
  static char name[] = "test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication instance(argc, argv);
  return instance;
}

}  // namespace

TEST(QtMainQueue, AsyncRunsLaterOnTheGuiThreadInOrder) {
  app();
  QtMainQueue q;
  std::vector<int> seen;
  q.async([&] { seen.push_back(1); });
  q.async([&] { seen.push_back(2); });
  EXPECT_TRUE(seen.empty()) << "async must not run inline";
  ASSERT_TRUE(spinUntil("both items", [&] { return seen.size() == 2; }));
  EXPECT_EQ(seen, (std::vector<int>{1, 2}));
}

TEST(QtMainQueue, WorkFromAnotherThreadRunsOnTheGuiThreadNotBeforeItsDeadline) {
  app();
  QtMainQueue q;
  QElapsedTimer clock;
  clock.start();
  qint64 ranAfterMs = -1;
  QThread* ranOn = nullptr;
  std::thread submitter([&] {
    q.asyncAfter(0.15, [&] {
      ranAfterMs = clock.elapsed();
      ranOn = QThread::currentThread();
    });
  });
  submitter.join();
  ASSERT_TRUE(spinUntil("the item from the other thread", [&] { return ranAfterMs >= 0; }));
  EXPECT_GE(ranAfterMs, 150);
  EXPECT_EQ(ranOn, QCoreApplication::instance()->thread());
}

TEST(QtMainQueue, PendingWorkIsDroppedWithTheQueue) {
  app();
  bool ran = false;
  {
    QtMainQueue q;
    q.async([&] { ran = true; });
    q.asyncAfter(0.01, [&] { ran = true; });
  }
  spinFor(std::chrono::milliseconds(100));
  EXPECT_FALSE(ran);
}
