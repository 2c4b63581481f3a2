#pragma once
// Counts status callbacks arriving from a provider's own thread, and waits for
// them with a deadline instead of sleeping.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace duskwarden::testing {

class CallbackCounter {
 public:
  std::function<void()> callback() {
    return [this] {
      std::lock_guard lock(mutex_);
      ++count_;
      cv_.notify_all();
    };
  }

  int count() {
    std::lock_guard lock(mutex_);
    return count_;
  }

  // True once more than `seen` callbacks have arrived.
  bool waitBeyond(int seen, std::chrono::seconds timeout = std::chrono::seconds(5)) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] { return count_ > seen; });
  }

  // Re-checks `condition` after every callback until it holds or time runs out.
  bool waitFor(const std::function<bool()>& condition, std::chrono::seconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      const int seen = count();
      if (condition()) return true;
      std::unique_lock lock(mutex_);
      if (!cv_.wait_until(lock, deadline, [&] { return count_ > seen; })) return condition();
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  int count_ = 0;
};

}  // namespace duskwarden::testing
