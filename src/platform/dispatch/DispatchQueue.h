#pragma once
// A queue that runs work items one at a time, now or after a delay.
//
// Every delay in the application goes through asyncAfter, measured on a
// monotonic clock, so tests can swap in a virtual clock (TestClock) and
// advance time instead of sleeping.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace duskwarden {

using WorkItem = std::function<void()>;

class DispatchQueue {
 public:
  virtual ~DispatchQueue() = default;

  // Queues work to run as soon as the queue gets to it. Safe from any thread,
  // including from work running on this queue.
  virtual void async(WorkItem work) = 0;

  // Queues work to run no earlier than `seconds` from now on the queue's
  // monotonic clock. Work due at the same moment runs in submission order.
  // A negative or NaN delay counts as zero.
  virtual void asyncAfter(double seconds, WorkItem work) = 0;

  // A name for logs and debugging.
  virtual const std::string& label() const = 0;

  // Now on the clock asyncAfter measures with, in seconds: the monotonic
  // clock (steady_clock, CLOCK_MONOTONIC), the same in every process of the
  // machine, unless a test gives its queues a virtual one.
  virtual double now() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  }
};

// Records the calling thread as the main thread, the one published
// properties are written on (Publish.h checks it in debug builds). The
// application shell marks it when it makes its main queue, which it then
// hands to whoever needs it; nullptr forgets it.
void installMainQueue(std::shared_ptr<DispatchQueue> queue);

// The thread that installed the current main queue: the main thread. None
// while no queue is installed.
std::optional<std::thread::id> mainQueueThread();

}  // namespace duskwarden
