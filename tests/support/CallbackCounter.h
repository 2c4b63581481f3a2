#pragma once
// Counts status callbacks arriving from a provider's own thread.

#include <atomic>
#include <functional>
#include <string>

#include "Wait.h"

namespace duskwarden::testing {

class CallbackCounter {
 public:
  std::function<void()> callback() {
    return [this] { call(this); };
  }
  // The same, for a C table that takes a function and its data.
  static void call(void* self) { ++static_cast<CallbackCounter*>(self)->count_; }

  int count() const { return count_.load(); }

  // Until more than `seen` callbacks have arrived.
  [[nodiscard]] ::testing::AssertionResult waitBeyond(int seen,
                                                      std::chrono::milliseconds limit = std::chrono::seconds(5)) const {
    return waitUntil("callback " + std::to_string(seen + 1), [&] { return count() > seen; }, limit);
  }

 private:
  std::atomic<int> count_{0};
};

}  // namespace duskwarden::testing
