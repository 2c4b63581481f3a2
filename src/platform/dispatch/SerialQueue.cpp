#include "platform/dispatch/SerialQueue.h"

namespace duskwarden {

namespace {
thread_local const void* tCurrentQueue = nullptr;

std::chrono::steady_clock::duration delayFromSeconds(double seconds) {
  if (!(seconds > 0.0)) return std::chrono::steady_clock::duration::zero();  // also NaN
  // Cap absurd delays so the deadline arithmetic cannot overflow.
  constexpr double kMaxSeconds = 10.0 * 365 * 24 * 3600;
  if (seconds > kMaxSeconds) seconds = kMaxSeconds;
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(seconds));
}
}  // namespace

SerialQueue::SerialQueue(std::string label)
    : label_(std::move(label)), state_(std::make_shared<State>()) {
  thread_ = std::thread(&SerialQueue::run, state_, this);
}

SerialQueue::~SerialQueue() {
  decltype(State::pending) dropped;
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
    dropped.swap(state_->pending);
  }
  state_->wake.notify_all();
  if (isCurrent()) {
    thread_.detach();  // we are inside a work item; the loop ends when it returns
  } else {
    thread_.join();
  }
  // `dropped` is destroyed here, outside the lock: work items may own objects
  // whose destructors submit to this queue, which is now a no-op.
}

void SerialQueue::async(WorkItem work) { submit(Clock::now(), std::move(work)); }

void SerialQueue::asyncAfter(double seconds, WorkItem work) {
  submit(Clock::now() + delayFromSeconds(seconds), std::move(work));
}

bool SerialQueue::isCurrent() const { return tCurrentQueue == this; }

void SerialQueue::submit(Clock::time_point due, WorkItem work) {
  if (!work) return;
  std::lock_guard lock(state_->mutex);
  if (state_->stopping) return;  // dropped
  state_->pending.emplace(std::make_pair(due, state_->sequence++), std::move(work));
  // Notify under the lock: once it is released, the work may already have run
  // and released the last owner of this queue, so `this` must not be touched.
  state_->wake.notify_one();
}

void SerialQueue::run(std::shared_ptr<State> state, const SerialQueue* owner) {
  tCurrentQueue = owner;
  std::unique_lock lock(state->mutex);
  while (!state->stopping) {
    if (state->pending.empty()) {
      state->wake.wait(lock);
      continue;
    }
    auto first = state->pending.begin();
    const auto due = first->first.first;
    if (due > Clock::now()) {
      state->wake.wait_until(lock, due);
      continue;
    }
    WorkItem work = std::move(first->second);
    state->pending.erase(first);
    lock.unlock();
    work();
    work = nullptr;  // release captures before taking the lock again
    lock.lock();
  }
  tCurrentQueue = nullptr;
}

}  // namespace duskwarden
