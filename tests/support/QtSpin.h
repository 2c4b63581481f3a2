#pragma once
// Qt tests: one application object per process, and waits that spin its
// event loop.

#include <QCoreApplication>
#include <QTimer>

#include "Wait.h"

namespace duskwarden::testing {

// Never destroyed: tearing widgets down during static destruction crashes.
template <class App>
void ensureQtApp() {
  static int argc = 1;
  static char name[] = "test";
  static char* argv[] = {name, nullptr};
  if (!QCoreApplication::instance()) new App(argc, argv);
}

// Runs the event loop until `done` holds. The loop blocks between events;
// a short timer wakes it to check conditions that other threads change.
template <class Done>
[[nodiscard]] ::testing::AssertionResult spinUntil(std::string_view what, Done&& done,
                                                   std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  QTimer wake;
  wake.start(10);
  return waitUntil(what, done, limit, [] { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); });
}

// Runs the event loop for `time`, for effects that leave nothing to wait for.
// It ends as a wait that succeeds: a timeout builds its message in a stream,
// and a test that has used up its descriptors (where UBSan cannot check
// virtual calls) must not.
inline void spinFor(std::chrono::milliseconds time) {
  const auto end = std::chrono::steady_clock::now() + time;
  (void)spinUntil("time to pass", [&] { return std::chrono::steady_clock::now() >= end; }, time * 2);
}

}  // namespace duskwarden::testing
