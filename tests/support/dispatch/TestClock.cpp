#include "dispatch/TestClock.h"

#include <algorithm>
#include <cmath>

namespace duskwarden {

namespace {
std::int64_t nanosFromSeconds(double seconds) {
  if (!(seconds > 0.0)) return 0;
  constexpr double kMax = 1e18;
  const double ns = seconds * 1e9;
  return ns > kMax ? static_cast<std::int64_t>(kMax) : static_cast<std::int64_t>(std::llround(ns));
}
}  // namespace

ManualQueue::ManualQueue(std::shared_ptr<TestClock> clock, std::string label, int id)
    : clock_(clock), label_(std::move(label)), id_(id) {}

void ManualQueue::async(WorkItem work) { asyncAfter(0.0, std::move(work)); }

void ManualQueue::asyncAfter(double seconds, WorkItem work) {
  if (auto clock = clock_.lock()) clock->submit(id_, seconds, std::move(work));
}

double ManualQueue::now() const {
  auto clock = clock_.lock();
  return clock ? clock->now() : 0.0;
}

std::size_t ManualQueue::pendingCount() const {
  auto clock = clock_.lock();
  return clock ? clock->pendingOn(id_) : 0;
}

std::shared_ptr<TestClock> TestClock::create() { return std::shared_ptr<TestClock>(new TestClock()); }

std::shared_ptr<ManualQueue> TestClock::makeQueue(std::string label) {
  int id;
  {
    std::lock_guard lock(mutex_);
    id = nextQueueId_++;
  }
  return std::shared_ptr<ManualQueue>(new ManualQueue(shared_from_this(), std::move(label), id));
}

double TestClock::now() const {
  std::lock_guard lock(mutex_);
  return static_cast<double>(nowNs_) / 1e9;
}

void TestClock::submit(int queueId, double delaySeconds, WorkItem work) {
  if (!work) return;
  std::lock_guard lock(mutex_);
  std::int64_t due = nowNs_ + nanosFromSeconds(delaySeconds);
  if (auto stall = stalledUntil_.find(queueId); stall != stalledUntil_.end()) due = std::max(due, stall->second);
  pending_.emplace(std::make_pair(due, sequence_++), std::make_pair(queueId, std::move(work)));
}

void TestClock::stall(const ManualQueue& queue, double seconds) {
  std::lock_guard lock(mutex_);
  stalledUntil_[queue.id_] = nowNs_ + nanosFromSeconds(seconds);
}

std::size_t TestClock::pendingOn(int queueId) const {
  std::lock_guard lock(mutex_);
  std::size_t n = 0;
  for (const auto& [key, item] : pending_) n += item.first == queueId ? 1 : 0;
  return n;
}

std::size_t TestClock::pendingCount() const {
  std::lock_guard lock(mutex_);
  return pending_.size();
}

double TestClock::nextDueTime() const {
  std::lock_guard lock(mutex_);
  if (pending_.empty()) return -1.0;
  return static_cast<double>(pending_.begin()->first.first) / 1e9;
}

bool TestClock::runOneDueBy(std::int64_t limitNs) {
  WorkItem work;
  {
    std::lock_guard lock(mutex_);
    if (pending_.empty()) return false;
    auto first = pending_.begin();
    if (first->first.first > limitNs) return false;
    // Time moves to the item's deadline, so work it schedules is timed from there.
    if (first->first.first > nowNs_) nowNs_ = first->first.first;
    work = std::move(first->second.second);
    pending_.erase(first);
  }
  work();
  return true;
}

std::size_t TestClock::advanceBy(double seconds) {
  std::int64_t limit;
  {
    std::lock_guard lock(mutex_);
    limit = nowNs_ + nanosFromSeconds(seconds);
  }
  std::size_t ran = 0;
  while (runOneDueBy(limit)) ++ran;
  std::lock_guard lock(mutex_);
  if (nowNs_ < limit) nowNs_ = limit;
  return ran;
}

std::size_t TestClock::runUntilIdle() {
  std::int64_t limit;
  {
    std::lock_guard lock(mutex_);
    limit = nowNs_;
  }
  std::size_t ran = 0;
  while (runOneDueBy(limit)) ++ran;
  return ran;
}

}  // namespace duskwarden
