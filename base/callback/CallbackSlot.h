#pragma once
// The lifetime rule for a status callback called from a thread of its own,
// written once for every backend and for the application's binding:
//  - the callback is copied under the lock and called with the lock
//    released, so it may replace itself, or destroy whatever owns the thread;
//  - after stop() no call begins (one already running finishes).
// Header-only and in a library of its own: the provider's backends and the
// program's binding on the other side of the C table each compile it in, and
// the program sees nothing else of the provider. How a backend then ends its
// thread is providers/backendkit/WorkerThread.h.

#include <atomic>
#include <functional>
#include <mutex>
#include <utility>

namespace duskwarden {

class CallbackSlot {
 public:
  void set(std::function<void()> callback) {
    std::lock_guard lock(mutex_);
    callback_ = std::move(callback);
  }

  // A copy of the callback, to hand on (to a new event thread, say).
  std::function<void()> get() const {
    std::lock_guard lock(mutex_);
    return callback_;
  }

  // Calls the callback unless stopped or unset; answers whether it did.
  bool call() const {
    std::function<void()> copy;
    {
      std::lock_guard lock(mutex_);
      if (stopped_) return false;
      copy = callback_;
    }
    if (!copy) return false;
    copy();  // unlocked: see above
    return true;
  }

  // For good: no call begins after this, and the callback is dropped.
  void stop() {
    std::function<void()> dropped;  // destroyed outside the lock: it may own anything
    std::lock_guard lock(mutex_);
    stopped_ = true;
    dropped = std::move(callback_);
    callback_ = nullptr;
  }

  // Lock-free: an event thread asks this on every wakeup.
  bool stopped() const { return stopped_.load(std::memory_order_acquire); }

 private:
  mutable std::mutex mutex_;
  std::function<void()> callback_;
  std::atomic<bool> stopped_{false};  // set under the lock; call() reads it there too
};

}  // namespace duskwarden
