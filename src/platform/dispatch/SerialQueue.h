#pragma once
// A serial queue with a thread of its own.
//
// Work submitted with async runs in FIFO order; timed work runs when due,
// ordered by deadline and then by submission order. The destructor stops the
// thread after the work item that is running (if any) returns; pending work
// is destroyed without running. When the last owner lets go from inside one
// of the queue's own work items, the thread is detached and ends by itself
// once that item returns.

#include "platform/dispatch/DispatchQueue.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace duskwarden {

class SerialQueue final : public DispatchQueue {
 public:
  explicit SerialQueue(std::string label);
  ~SerialQueue() override;
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;

  void async(WorkItem work) override;
  void asyncAfter(double seconds, WorkItem work) override;
  const std::string& label() const override { return label_; }

  // True when called from work running on this queue.
  bool isCurrent() const;

 private:
  using Clock = std::chrono::steady_clock;
  // Shared with the thread so it can outlive the queue object when detached.
  struct State {
    std::mutex mutex;
    std::condition_variable wake;
    // Keyed by (deadline, sequence) so equal deadlines keep submission order.
    std::map<std::pair<Clock::time_point, std::uint64_t>, WorkItem> pending;
    std::uint64_t sequence = 0;
    bool stopping = false;
  };
  void submit(Clock::time_point due, WorkItem work);
  static void run(std::shared_ptr<State> state, const SerialQueue* owner);

  const std::string label_;
  std::shared_ptr<State> state_;
  std::thread thread_;
};

}  // namespace duskwarden
