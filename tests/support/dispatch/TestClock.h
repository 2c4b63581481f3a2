#pragma once
// Virtual time for tests: manual queues that share one clock.
//
// Nothing runs until the test asks. advanceBy(seconds) runs, in order of due
// time and then of submission across every queue made by this clock, all work
// that falls due up to the new time, including work that this work submits
// when it falls due in the window. runUntilIdle() runs what is due now.

#include "platform/dispatch/DispatchQueue.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>

namespace duskwarden {

class TestClock;

class ManualQueue final : public DispatchQueue {
 public:
  void async(WorkItem work) override;
  void asyncAfter(double seconds, WorkItem work) override;
  const std::string& label() const override { return label_; }
  double now() const override;
  // Number of items still pending on this queue (due or not).
  std::size_t pendingCount() const;

 private:
  friend class TestClock;
  ManualQueue(std::shared_ptr<TestClock> clock, std::string label, int id);
  std::weak_ptr<TestClock> clock_;
  std::string label_;
  int id_;
};

class TestClock : public std::enable_shared_from_this<TestClock> {
 public:
  static std::shared_ptr<TestClock> create();

  std::shared_ptr<ManualQueue> makeQueue(std::string label);

  // Virtual seconds since the clock was made.
  double now() const;

  // Moves time forward by `seconds`, running everything that falls due.
  // Returns how many work items ran.
  std::size_t advanceBy(double seconds);

  // Runs everything due at the current time (async work and work whose delay
  // has passed). Returns how many work items ran.
  std::size_t runUntilIdle();

  // Work submitted to `queue` from now on runs no earlier than `seconds` from
  // now, in order, as behind a thread stuck in a call.
  void stall(const ManualQueue& queue, double seconds);

  // Time of the earliest pending item, or a negative number when none is pending.
  double nextDueTime() const;
  std::size_t pendingCount() const;

 private:
  friend class ManualQueue;
  TestClock() = default;
  void submit(int queueId, double delaySeconds, WorkItem work);
  std::size_t pendingOn(int queueId) const;
  bool runOneDueBy(std::int64_t limitNs);

  mutable std::mutex mutex_;
  std::int64_t nowNs_ = 0;
  std::uint64_t sequence_ = 0;
  int nextQueueId_ = 0;
  // (due, sequence) -> (queue id, work)
  std::map<std::pair<std::int64_t, std::uint64_t>, std::pair<int, WorkItem>> pending_;
  std::map<int, std::int64_t> stalledUntil_;  // queue id -> end of its stall
};

}  // namespace duskwarden
