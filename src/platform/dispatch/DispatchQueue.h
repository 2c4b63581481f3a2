#pragma once
// A queue that runs work items one at a time, now or after a delay.
//
// Every delay in the application goes through asyncAfter, measured on a
// monotonic clock, so tests can swap in a virtual clock (TestClock) and
// advance time instead of sleeping.

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
};

// The queue that runs on the application's main thread. The application shell
// installs its Qt adapter (QtMainQueue) before anything asks for it; tests
// install a ManualQueue. Asking before one is installed is a programming error
// and aborts with a message.
DispatchQueue& mainQueue();
void installMainQueue(std::shared_ptr<DispatchQueue> queue);

// The thread that installed the current main queue: the main thread. None
// while no queue is installed.
std::optional<std::thread::id> mainQueueThread();

}  // namespace duskwarden
