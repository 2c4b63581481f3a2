#pragma once
// The tests' one way to wait: check a condition until it holds or a deadline
// passes, never a fixed sleep. A wait that fails says what it waited for and
// how long; its result must be checked. Qt tests spin their event loop
// instead of sleeping (spinUntil in QtSpin.h, built on this loop).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string_view>
#include <thread>

namespace duskwarden::testing {

// Checks `done` until it holds, calling `step` in between to let whatever
// changes it run a little; fails once `limit` has passed.
template <class Done, class Step>
[[nodiscard]] ::testing::AssertionResult waitUntil(std::string_view what, Done&& done, std::chrono::milliseconds limit,
                                                   Step&& step) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline)
      return ::testing::AssertionFailure() << "waited " << limit.count() << " ms for " << what << ", in vain";
    step();
  }
  return ::testing::AssertionSuccess();
}

// For a condition that another thread changes: `done` must read it safely.
template <class Done>
[[nodiscard]] ::testing::AssertionResult waitUntil(std::string_view what, Done&& done,
                                                   std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  return waitUntil(what, done, limit, [] { std::this_thread::sleep_for(std::chrono::milliseconds(5)); });
}

// Runs `call` on a thread of its own and waits for it; a call still running
// after `limit` (a FIFO opened for reading, a lock waited on forever) fails
// the test and ends the process, since the blocked thread cannot be taken back.
template <class F>
void withinBound(const char* what, F call, std::chrono::milliseconds limit = std::chrono::seconds(3)) {
  std::packaged_task<void()> task(call);
  auto done = task.get_future();
  std::thread(std::move(task)).detach();
  if (done.wait_for(limit) != std::future_status::ready) {
    std::fprintf(stderr, "%s did not return within %lld ms\n", what, static_cast<long long>(limit.count()));
    std::_Exit(1);
  }
}

}  // namespace duskwarden::testing
